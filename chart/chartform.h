#ifndef CHARTFORM_H
#define CHARTFORM_H

#include <QtCharts/QChartView>

namespace Ui {
class ChartForm;
}

// The live distance chart: distance against sample number, scrolling along
// once the X axis is full.
class ChartForm : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit ChartForm(QWidget *parent = nullptr);
    ~ChartForm();

    void appendSample(quint16 seriesIndex, quint16 value, const QString &name);

private:
    Ui::ChartForm *ui;
};

#endif // CHARTFORM_H
