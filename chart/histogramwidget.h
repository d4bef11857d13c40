#ifndef HISTOGRAMWIDGET_H
#define HISTOGRAMWIDGET_H

// A small bar histogram: bins of equal width over a distance range, drawn
// with a few rectangles and the range's two ends as labels. It paints only
// when its bins change and it is visible; the bins are worked out by the
// owner at the display rate.

#include <QVector>
#include <QWidget>

class HistogramWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HistogramWidget(QWidget *parent = nullptr);

    // counts[i] samples in [low + i*width, low + (i+1)*width); empty: no data.
    void setBins(const QVector<quint32> &counts, int low, int width);
    const QVector<quint32> &bins() const { return counts; }
    int low() const { return first; }
    int binWidth() const { return width; }

    QSize sizeHint() const override { return {240, 110}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVector<quint32> counts;
    int first = 0;
    int width = 1;
};

#endif // HISTOGRAMWIDGET_H
