#include "chartform.h"
#include "ui_chartform.h"

ChartForm::ChartForm(QWidget *parent)
    : QtCharts::QChartView(parent)
    , ui(new Ui::ChartForm)
{
    ui->setupUi(this);
}

ChartForm::~ChartForm()
{
    delete ui;
}

void ChartForm::appendSample(quint16, quint16, const QString &)
{
}
