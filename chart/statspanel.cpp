#include "statspanel.h"
#include "ui_chartform.h"

namespace {
const int windowSizes[] = {100, 1000, 10000, 0};

QString halvesWithTwoDecimals(quint32 halves)
{
    return QString::number(halves / 2) + (halves % 2 ? QStringLiteral(".50") : QStringLiteral(".00"));
}
} // namespace

StatsPanel::StatsPanel(Ui::ChartForm &form, const SampleHistory &distances, QObject *parent)
    : QObject(parent)
    , ui(form)
    , history(distances)
    , recent(RecentSamples)
{
    clock.start();
    stoppedTimer.setSingleShot(true);
    connect(&stoppedTimer, &QTimer::timeout, this, &StatsPanel::refresh);
    ui.statsWindow->clear();
    for (int size : windowSizes)
        ui.statsWindow->addItem(size > 0 ? QString::number(size) : QStringLiteral("全部"), size);
    ui.statsWindow->setCurrentIndex(0);
    connect(ui.statsWindow, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &StatsPanel::windowChosen);
    connect(ui.statsReset, &QPushButton::clicked, this, &StatsPanel::reset);
    // A read-out whose size may change lays the panel out again on every new
    // text; each is given the size of its widest value once.
    for (QLabel *label : {ui.statsCount, ui.statsMean, ui.statsSigma, ui.statsMin, ui.statsMax, ui.statsMedian,
                          ui.statsRate, ui.statsFailed, ui.statsAmplitude}) {
        const int widest = label->fontMetrics().horizontalAdvance(QStringLiteral("18446744073709551615"));
        label->setFixedSize(widest + 2 * label->margin() + 2 * label->frameWidth(), label->sizeHint().height());
        // Opaque, in the panel's own background: a new text repaints the
        // label alone, not the panel and its frame beneath it.
        label->setAutoFillBackground(true);
    }
    show();
}

void StatsPanel::recordSample(quint16 amplitude)
{
    const qint64 now = clock.elapsed();
    recent[size_t(recorded % RecentSamples)] = {amplitude, now};
    if (recorded == resetAt)
        firstTimeSinceReset = now;
    amplitudeSinceReset += amplitude;
    ++recorded;
}

void StatsPanel::windowChosen(int index)
{
    window = ui.statsWindow->itemData(index).toInt();
    followed = -1;
    refresh();
}

void StatsPanel::reset()
{
    resetAt = recorded;
    amplitudeSinceReset = 0;
    failedAtReset = failedTotal;
    followed = -1;
    refresh();
}

void StatsPanel::refresh()
{
    // Nothing is worked out for a panel nobody sees; it catches up when shown.
    if (!ui.statsPanel->isVisible())
        return;
    follow();
    show();
}

void StatsPanel::rebuild(qint64 start)
{
    stats.clear();
    windowAmplitude = 0;
    windowFirst = followed = start;
}

void StatsPanel::follow()
{
    const qint64 size = history.size();
    const qint64 start = window > 0 ? qMax(resetAt, size - window) : resetAt;
    // Built afresh when the samples since the last refresh outrun the window
    // (or the amplitudes kept), else moved along sample by sample.
    if (followed < 0 || followed < start || (window > 0 && size - windowFirst > RecentSamples))
        rebuild(start);
    for (qint64 i = followed; i < size; ++i) {
        stats.add(history.at(int(i)));
        if (window > 0)
            windowAmplitude += amplitudeAt(i);
    }
    followed = size;
    for (; windowFirst < start; ++windowFirst) {
        stats.drop(history.at(int(windowFirst)));
        windowAmplitude -= amplitudeAt(windowFirst);
    }
}

void StatsPanel::show()
{
    const quint64 n = stats.count();
    const auto figure = [n](const QString &text) { return n > 0 ? text : QStringLiteral("-"); };
    ui.statsCount->setText(QString::number(n));
    ui.statsMean->setText(figure(scaledText(stats.meanScaled(2), 2)));
    ui.statsSigma->setText(figure(scaledText(stats.sigmaScaled(2), 2)));
    ui.statsMin->setText(figure(QString::number(stats.minimum())));
    ui.statsMax->setText(figure(QString::number(stats.maximum())));
    ui.statsMedian->setText(figure(halvesWithTwoDecimals(stats.medianHalves())));
    ui.statsFailed->setText(QString::number(failedTotal - failedAtReset));

    const quint64 amplitude = window > 0 ? windowAmplitude : amplitudeSinceReset;
    ui.statsAmplitude->setText(figure(QString::number((amplitude + n / 2) / qMax<quint64>(n, 1))));

    QString rate = QStringLiteral("-");
    if (n >= 2) {
        const qint64 newest = timeAt(followed - 1);
        const qint64 oldest = window > 0 ? timeAt(windowFirst) : firstTimeSinceReset;
        // Frames that stopped coming have no rate, whatever the last ones had.
        const qint64 quietMs = clock.elapsed() - newest;
        if (quietMs >= StoppedAfterMs)
            rate = QString::number(0.0, 'f', 1);
        else if (newest > oldest)
            rate = QString::number(double(n - 1) * 1000.0 / double(newest - oldest), 'f', 1);
        if (quietMs < StoppedAfterMs)
            stoppedTimer.start(int(StoppedAfterMs - quietMs));
    }
    ui.statsRate->setText(rate);
    showHistogram();
}

// Bins of whole millimetres over the window's range, at most MaxBins of them.
void StatsPanel::showHistogram()
{
    if (stats.isEmpty()) {
        ui.statsHistogram->setBins({}, 0, 1);
        return;
    }
    const int low = stats.minimum();
    const int span = stats.maximum() - low + 1;
    const int width = (span + MaxBins - 1) / MaxBins;
    QVector<quint32> bins((span + width - 1) / width, 0);
    for (int v = low; v >= 0; v = stats.nextPresent(v + 1))
        bins[(v - low) / width] += stats.countOf(quint16(v));
    ui.statsHistogram->setBins(bins, low, width);
}
