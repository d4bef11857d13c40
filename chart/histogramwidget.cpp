#include "histogramwidget.h"

#include <QPainter>
#include <algorithm>

HistogramWidget::HistogramWidget(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void HistogramWidget::setBins(const QVector<quint32> &newCounts, int low, int binWidth)
{
    if (newCounts == counts && low == first && binWidth == width)
        return;
    counts = newCounts;
    first = low;
    width = qMax(1, binWidth);
    update();
}

void HistogramWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect plot = rect().adjusted(2, 2, -2, -metrics.height() - 2);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    if (counts.isEmpty() || plot.width() <= 0 || plot.height() <= 0)
        return;

    const quint32 highest = *std::max_element(counts.cbegin(), counts.cend());
    const double barWidth = double(plot.width()) / counts.size();
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Highlight));
    for (int i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0)
            continue;
        const int height = qMax(1, int(double(plot.height()) * counts[i] / highest));
        const int left = plot.left() + int(i * barWidth);
        const int right = plot.left() + int((i + 1) * barWidth);
        painter.drawRect(left, plot.bottom() - height + 1, qMax(1, right - left - 1), height);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect labels(plot.left(), plot.bottom() + 2, plot.width(), metrics.height());
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, QString::number(first));
    painter.drawText(labels, Qt::AlignRight | Qt::AlignTop,
                     QString::number(first + counts.size() * width - 1));
}
