#include "svgplot.h"

#include "stats/figuretext.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Width = 640, Height = 320;
constexpr double Left = 64, Right = 56, Top = 36, Bottom = 78;
constexpr double PlotW = Width - Left - Right, PlotH = Height - Top - Bottom;

QString n(double v)
{
    return QString::number(v, 'f', 1);
}

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

// A round step for about five ticks up to `top`.
double tickStep(double top)
{
    if (top <= 0)
        return 1;
    const double raw = top / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= m * magnitude)
            return m * magnitude;
    return 10 * magnitude;
}

QString tickText(double v, double step)
{
    const bool whole = std::fabs(step - std::round(step)) < 1e-9;
    return QString::number(v, 'f', whole ? 0 : step < 0.1 ? 2 : 1);
}

QString open(const QString &title)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"%1\" height=\"%2\""
                          " viewBox=\"0 0 %1 %2\" font-family=\"sans-serif\" font-size=\"11\">"
                          "<title>%3</title><rect width=\"%1\" height=\"%2\" fill=\"#fff\"/>"
                          "<text x=\"%4\" y=\"20\" text-anchor=\"middle\" font-size=\"14\" font-weight=\"bold\">%3</text>")
        .arg(n(Width), n(Height), esc(title), n(Width / 2));
}

// The y axis from 0 to `top` with its grid, ticks and unit; returns the top used.
QString yAxis(double &top, const QString &unit)
{
    const double step = tickStep(top);
    top = std::max(step, std::ceil(top / step) * step);
    QString s;
    for (double v = 0; v <= top + step / 2; v += step) {
        const double y = Top + PlotH - v / top * PlotH;
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#ddd\"/>"
                            "<text x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>")
                 .arg(n(Left), n(y), n(Left + PlotW), n(Left - 6), n(y + 4), tickText(v, step));
    }
    s += QStringLiteral("<text x=\"14\" y=\"%1\" transform=\"rotate(-90 14 %1)\" text-anchor=\"middle\">%2</text>")
             .arg(n(Top + PlotH / 2), esc(unit));
    s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#333\"/>")
             .arg(n(Left), n(Top + PlotH), n(Left + PlotW));
    return s;
}

QString nothing()
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" fill=\"#777\">no runs</text></svg>")
        .arg(n(Width / 2), n(Top + PlotH / 2));
}

} // namespace

QString barChartSvg(const BarChart &chart)
{
    QString s = open(chart.title);
    const int categories = chart.categories.size();
    if (categories == 0 || chart.series.isEmpty())
        return s + nothing();
    double top = chart.top.value_or(0);
    for (const BarSeries &series : chart.series)
        for (double v : series.values)
            top = std::max(top, v);
    s += yAxis(top, chart.unit);

    const double slot = PlotW / categories;
    const double bar = slot * 0.8 / chart.series.size();
    const bool slanted = categories > 6;
    for (int c = 0; c < categories; ++c) {
        const double x0 = Left + c * slot + slot * 0.1;
        for (int k = 0; k < chart.series.size(); ++k) {
            const double v = chart.series[k].values.value(c);
            const double h = v / top * PlotH;
            s += QStringLiteral("<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\">"
                                "<title>%6: %7</title></rect>")
                     .arg(n(x0 + k * bar), n(Top + PlotH - h), n(std::max(bar - 1, 1.0)), n(h), chart.series[k].colour,
                          esc(chart.categories[c]), QString::number(v, 'g', 6));
        }
        const double cx = Left + c * slot + slot / 2, cy = Top + PlotH + 14;
        QString label = chart.categories[c].isEmpty() ? QStringLiteral("(none)") : chart.categories[c];
        if (label.size() > 16)
            label = label.left(15) + QChar(0x2026);
        s += slanted ? QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" transform=\"rotate(-35 %1 %2)\">%3</text>")
                           .arg(n(cx), n(cy - 4), esc(label))
                     : QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>").arg(n(cx), n(cy), esc(label));
    }

    if (chart.pareto) {
        const QVector<double> &v = chart.series.first().values;
        double total = 0;
        for (double x : v)
            total += x;
        QString points;
        double sum = 0;
        for (int c = 0; c < categories && total > 0; ++c) {
            sum += v.value(c);
            points += QStringLiteral("%1,%2 ").arg(n(Left + c * slot + slot / 2), n(Top + PlotH - sum / total * PlotH));
        }
        s += QStringLiteral("<polyline class=\"cumulative\" points=\"%1\" fill=\"none\" stroke=\"#d2691e\" stroke-width=\"2\"/>")
                 .arg(points.trimmed());
        for (int p = 0; p <= 100; p += 25)
            s += QStringLiteral("<text x=\"%1\" y=\"%2\">%3 %</text>")
                     .arg(n(Left + PlotW + 6), n(Top + PlotH - p / 100.0 * PlotH + 4)).arg(p);
    }
    // Legend, when there is more than one series.
    if (chart.series.size() > 1) {
        for (int k = 0; k < chart.series.size(); ++k)
            s += QStringLiteral("<rect x=\"%1\" y=\"28\" width=\"10\" height=\"10\" fill=\"%2\"/><text x=\"%3\" y=\"37\">%4</text>")
                     .arg(n(Left + k * 110), chart.series[k].colour, n(Left + k * 110 + 14), esc(chart.series[k].name));
    }
    return s + QStringLiteral("</svg>");
}

QString histogramSvg(const ProductCapability &p)
{
    const QString title = QStringLiteral("Accuracy, %1 (tolerance \u00b1%2 mm)")
                              .arg(p.product.isEmpty() ? QStringLiteral("(none)") : p.product,
                                   QString::number(p.tolerance, 'f', 3));
    QString s = open(title);
    if (p.histogram.isEmpty())
        return s + nothing();
    const double width = double(p.binWidthMilli) / 1000.0;
    const double xFrom = double(p.histogram.first().fromMilli) / 1000.0;
    const double xTo = double(p.histogram.last().fromMilli) / 1000.0 + width;
    const auto xAt = [&](double mm) { return Left + (mm - xFrom) / (xTo - xFrom) * PlotW; };

    // The normal curve of the runs' mean and sigma, as counts per bin.
    const std::optional<double> sigma = p.accuracy.sigma();
    const auto expected = [&](double mm) {
        const double z = (mm - *p.accuracy.mean()) / *sigma;
        return double(p.accuracy.n) * width * std::exp(-0.5 * z * z) / (*sigma * std::sqrt(2.0 * M_PI));
    };
    double top = 0;
    for (const HistogramBin &b : p.histogram)
        top = std::max(top, double(b.count));
    if (sigma && *sigma > 0)
        top = std::max(top, expected(*p.accuracy.mean()));
    s += yAxis(top, QStringLiteral("runs"));

    const double barW = PlotW / p.histogram.size();
    for (const HistogramBin &b : p.histogram) {
        const double from = double(b.fromMilli) / 1000.0;
        const double h = double(b.count) / top * PlotH;
        s += QStringLiteral("<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#3b78c2\">"
                            "<title>%5 to %6 mm: %7</title></rect>")
                 .arg(n(xAt(from)), n(Top + PlotH - h), n(std::max(barW - 1, 1.0)), n(h),
                      QString::number(from, 'f', 3), QString::number(from + width, 'f', 3)).arg(b.count);
    }
    // The x axis: a few round millimetre ticks.
    const double step = tickStep(xTo - xFrom);
    for (double v = std::ceil(xFrom / step) * step; v <= xTo + 1e-9; v += step)
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                 .arg(n(xAt(v)), n(Top + PlotH + 14), tickText(v, step));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">accuracy (mean \u2212 reference), mm</text>")
             .arg(n(Left + PlotW / 2), n(Top + PlotH + 32));
    // The tolerance limits.
    for (double limit : {-p.tolerance, p.tolerance})
        s += QStringLiteral("<line class=\"limit\" x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#c0392b\""
                            " stroke-width=\"2\" stroke-dasharray=\"6 4\"/><text x=\"%1\" y=\"%4\" text-anchor=\"middle\""
                            " fill=\"#c0392b\">%5</text>")
                 .arg(n(xAt(limit)), n(Top), n(Top + PlotH), n(Top - 4),
                      (limit < 0 ? QStringLiteral("\u2212") : QStringLiteral("+")) + QString::number(p.tolerance, 'f', 3));
    if (sigma && *sigma > 0) {
        QString points;
        for (int i = 0; i <= 120; ++i) {
            const double mm = xFrom + (xTo - xFrom) * i / 120.0;
            points += QStringLiteral("%1,%2 ").arg(n(xAt(mm)), n(Top + PlotH - std::min(expected(mm), top) / top * PlotH));
        }
        s += QStringLiteral("<polyline class=\"normal\" points=\"%1\" fill=\"none\" stroke=\"#27ae60\" stroke-width=\"2\"/>")
                 .arg(points.trimmed());
    }
    return s + QStringLiteral("</svg>");
}

namespace {

QString productName(const QString &product)
{
    return product.isEmpty() ? QStringLiteral("runs without a product") : product;
}

// One product's units: the bias of each point against its distance.
QString biasPlotSvg(const QVector<UnitPoint> &points)
{
    const UnitPoint &first = points.first();
    // One band when every unit shares one tolerance.
    bool band = first.toleranceMm.has_value();
    const double tolerance = first.toleranceMm.value_or(0);
    double xFrom = 1e300, xTo = -1e300, yTop = 0;
    for (const UnitPoint &p : points) {
        xFrom = std::min(xFrom, double(p.referenceMilli) / 1000.0);
        xTo = std::max(xTo, double(p.referenceMilli) / 1000.0);
        yTop = std::max(yTop, std::fabs(double(p.biasMilli) / 1000.0));
        band = band && p.toleranceMm == first.toleranceMm;
    }
    if (band)
        yTop = std::max(yTop, tolerance);
    const double xStep = tickStep(std::max(xTo - xFrom, 1.0));
    xFrom = std::floor(xFrom / xStep) * xStep - xStep / 2;
    xTo = std::ceil(xTo / xStep) * xStep + xStep / 2;
    const double yStep = tickStep(std::max(yTop, 0.001) * 1.1);
    yTop = std::max(yStep, std::ceil(yTop * 1.1 / yStep) * yStep);
    const auto xAt = [&](double mm) { return Left + (mm - xFrom) / (xTo - xFrom) * PlotW; };
    const auto yAt = [&](double mm) { return Top + PlotH / 2 - mm / yTop * PlotH / 2; };

    QString s = open(QStringLiteral("Bias against distance, %1%2")
                         .arg(productName(first.product),
                              band ? QStringLiteral(" (tolerance \u00b1%1 mm)").arg(mmText(tolerance)) : QString()));
    if (band)
        s += QStringLiteral("<rect class=\"band\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#e8f5e9\"/>")
                 .arg(n(Left), n(yAt(tolerance)), n(PlotW), n(yAt(-tolerance) - yAt(tolerance)));
    for (double v = -yTop; v <= yTop + yStep / 2; v += yStep)
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"%4\"/>"
                            "<text x=\"%5\" y=\"%6\" text-anchor=\"end\">%7</text>")
                 .arg(n(Left), n(yAt(v)), n(Left + PlotW), std::fabs(v) < 1e-9 ? QStringLiteral("#333") : QStringLiteral("#ddd"),
                      n(Left - 6), n(yAt(v) + 4), tickText(v, yStep));
    for (double v = std::ceil(xFrom / xStep) * xStep; v <= xTo + 1e-9; v += xStep)
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                 .arg(n(xAt(v)), n(Top + PlotH + 14), tickText(v, xStep));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">reference distance, mm</text>"
                        "<text x=\"14\" y=\"%3\" transform=\"rotate(-90 14 %3)\" text-anchor=\"middle\">"
                        "bias (mean \u2212 reference), mm</text>")
             .arg(n(Left + PlotW / 2), n(Top + PlotH + 32), n(Top + PlotH / 2));
    // Each unit's points, joined in distance order.
    static const char *const colours[] = {"#3b78c2", "#c0392b", "#27ae60", "#8e44ad", "#d2691e", "#16a085"};
    int unit = 0;
    for (int i = 0; i < points.size();) {
        int end = i;
        while (end < points.size() && points[end].serial == points[i].serial)
            ++end;
        QVector<UnitPoint> own(points.begin() + i, points.begin() + end);
        std::stable_sort(own.begin(), own.end(),
                         [](const UnitPoint &a, const UnitPoint &b) { return a.referenceMilli < b.referenceMilli; });
        const QString colour = QString::fromLatin1(colours[unit++ % 6]);
        QString line;
        for (const UnitPoint &p : own) {
            const double x = xAt(double(p.referenceMilli) / 1000.0), y = yAt(double(p.biasMilli) / 1000.0);
            line += QStringLiteral("%1,%2 ").arg(n(x), n(y));
            s += QStringLiteral("<circle class=\"point\" cx=\"%1\" cy=\"%2\" r=\"3\" fill=\"%3\"><title>%4: %5 mm, bias %6 mm"
                                "</title></circle>")
                     .arg(n(x), n(y), colour, esc(p.serial.isEmpty() ? QStringLiteral("no serial number") : p.serial),
                          mmText(double(p.referenceMilli) / 1000.0), mmText(double(p.biasMilli) / 1000.0));
        }
        s += QStringLiteral("<polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-opacity=\"0.5\"/>")
                 .arg(line.trimmed(), colour);
        i = end;
    }
    return s + QStringLiteral("</svg>");
}

} // namespace

QStringList biasPlotsSvg(const QVector<UnitPoint> &points)
{
    QStringList plots;
    for (int i = 0; i < points.size();) {
        int end = i;
        while (end < points.size() && points[end].product == points[i].product)
            ++end;
        plots << biasPlotSvg(QVector<UnitPoint>(points.begin() + i, points.begin() + end));
        i = end;
    }
    return plots;
}

QString cgkDistributionSvg(const StudyFigures &study)
{
    // Bins of 0.25 from below 0 to 2 and beyond, with 1.33 among the edges' neighbours.
    BarChart chart{QStringLiteral("Cgk of the studied modules, %1").arg(productName(study.product)),
                   QStringLiteral("modules"), {}, {{QStringLiteral("modules"), QStringLiteral("#3b78c2"), {}}}, false,
                   std::nullopt};
    const QVector<double> edges = {0, 0.5, 1.0, 1.33, 1.67, 2.0};
    chart.categories << QStringLiteral("< 0");
    for (int i = 0; i + 1 < edges.size(); ++i)
        chart.categories << QStringLiteral("%1\u2013%2").arg(edges[i]).arg(edges[i + 1]);
    chart.categories << QStringLiteral("\u2265 2");
    chart.series[0].values = QVector<double>(chart.categories.size(), 0);
    for (double cgk : study.cgkValues) {
        int bin = 0;
        while (bin < edges.size() && cgk >= edges[bin])
            ++bin;
        chart.series[0].values[bin] += 1;
    }
    return barChartSvg(chart);
}
