#include "svgplot.h"

#include "stats/figuretext.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Width = 760, Height = 400;
constexpr double Left = 76, Right = 64, Top = 64, Bottom = 104;
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
                          " viewBox=\"0 0 %1 %2\" font-family=\"sans-serif\" font-size=\"14\">"
                          "<title>%3</title><rect width=\"%1\" height=\"%2\" fill=\"#fff\"/>"
                          "<text x=\"%4\" y=\"24\" text-anchor=\"middle\" font-size=\"17\" font-weight=\"bold\">%3</text>")
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
    s += QStringLiteral("<text x=\"18\" y=\"%1\" transform=\"rotate(-90 18 %1)\" text-anchor=\"middle\">%2</text>")
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

QString productName(const QString &product)
{
    return product.isEmpty() ? QStringLiteral("runs without a product") : product;
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
        for (const std::optional<double> &v : series.values)
            top = std::max(top, v.value_or(0));
    // Room above the highest bar for its value.
    top *= 1.08;
    s += yAxis(top, chart.unit);

    const double slot = PlotW / categories;
    const double bar = slot * 0.8 / chart.series.size();
    // Labels turn when they would not fit their slot side by side.
    int longest = 0;
    for (const QString &c : chart.categories)
        longest = std::max(longest, int(std::min<qsizetype>(c.size(), 16)));
    const bool slanted = longest * 8.0 > slot;
    const int decimals = chart.unit == QLatin1String("%") ? 1 : chart.unit == QLatin1String("mm") ? 3 : 0;
    for (int c = 0; c < categories; ++c) {
        const double x0 = Left + c * slot + slot * 0.1;
        for (int k = 0; k < chart.series.size(); ++k) {
            const std::optional<double> v = chart.series[k].values.value(c);
            const double h = v.value_or(0) / top * PlotH;
            const double x = x0 + k * bar, w = std::max(bar - 1, 1.0);
            const QString value = v ? QString::number(*v, 'f', decimals) : QStringLiteral("n/a");
            if (v)
                s += QStringLiteral("<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\">"
                                    "<title>%6: %7</title></rect>")
                         .arg(n(x), n(Top + PlotH - h), n(w), n(h), chart.series[k].colour, esc(chart.categories[c]), value);
            s += QStringLiteral("<text class=\"value\" x=\"%1\" y=\"%2\" text-anchor=\"middle\" font-size=\"%3\"%4>%5</text>")
                     .arg(n(x + w / 2), n(Top + PlotH - h - 4), bar < 40 ? QStringLiteral("11") : QStringLiteral("13"),
                          v ? QString() : QStringLiteral(" fill=\"#777\""), value);
        }
        const double cx = Left + c * slot + slot / 2, cy = Top + PlotH + 18;
        QString label = chart.categories[c].isEmpty() ? QStringLiteral("(no value)") : chart.categories[c];
        if (label.size() > 16)
            label = label.left(15) + QChar(0x2026);
        s += slanted ? QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" transform=\"rotate(-35 %1 %2)\">%3</text>")
                           .arg(n(cx), n(cy - 4), esc(label))
                     : QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>").arg(n(cx), n(cy), esc(label));
    }
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
             .arg(n(Left + PlotW / 2), n(Height - 10), esc(chart.axis));

    if (chart.pareto) {
        const QVector<std::optional<double>> &v = chart.series.first().values;
        double total = 0;
        for (const std::optional<double> &x : v)
            total += x.value_or(0);
        QString points;
        double sum = 0;
        for (int c = 0; c < categories && total > 0; ++c) {
            sum += v.value(c).value_or(0);
            points += QStringLiteral("%1,%2 ").arg(n(Left + c * slot + slot / 2), n(Top + PlotH - sum / total * PlotH));
        }
        s += QStringLiteral("<polyline class=\"cumulative\" points=\"%1\" fill=\"none\" stroke=\"#d2691e\" stroke-width=\"2\"/>")
                 .arg(points.trimmed());
        for (int p = 0; p <= 100; p += 25)
            s += QStringLiteral("<text x=\"%1\" y=\"%2\">%3 %</text>")
                     .arg(n(Left + PlotW + 6), n(Top + PlotH - p / 100.0 * PlotH + 4)).arg(p);
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" transform=\"rotate(90 %1 %2)\" text-anchor=\"middle\">cumulative share</text>")
                 .arg(n(Width - 12), n(Top + PlotH / 2));
    }
    // Legend, when there is more than one series: under the title, above the plot.
    if (chart.series.size() > 1) {
        for (int k = 0; k < chart.series.size(); ++k)
            s += QStringLiteral("<rect x=\"%1\" y=\"36\" width=\"12\" height=\"12\" fill=\"%2\"/><text x=\"%3\" y=\"47\">%4</text>")
                     .arg(n(Left + k * 140), chart.series[k].colour, n(Left + k * 140 + 16), esc(chart.series[k].name));
    }
    return s + QStringLiteral("</svg>");
}

QString histogramSvg(const ProductCapability &p)
{
    const QString title = QStringLiteral("Accuracy, %1 (tolerance \u00b1%2 mm)")
                              .arg(productName(p.product),
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
                 .arg(n(xAt(v)), n(Top + PlotH + 18), tickText(v, step));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">accuracy (mean \u2212 reference), mm</text>")
             .arg(n(Left + PlotW / 2), n(Top + PlotH + 40));
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
                 .arg(n(xAt(v)), n(Top + PlotH + 18), tickText(v, xStep));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">reference distance, mm</text>"
                        "<text x=\"14\" y=\"%3\" transform=\"rotate(-90 14 %3)\" text-anchor=\"middle\">"
                        "bias (mean \u2212 reference), mm</text>")
             .arg(n(Left + PlotW / 2), n(Top + PlotH + 40), n(Top + PlotH / 2));
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
                   QStringLiteral("modules"), QStringLiteral("Cgk (each module's latest study)"), {},
                   {{QStringLiteral("modules"), QStringLiteral("#3b78c2"), {}}}, false, std::nullopt};
    const QVector<double> edges = {0, 0.5, 1.0, 1.33, 1.67, 2.0};
    chart.categories << QStringLiteral("< 0");
    for (int i = 0; i + 1 < edges.size(); ++i)
        chart.categories << QStringLiteral("%1\u2013%2").arg(edges[i]).arg(edges[i + 1]);
    chart.categories << QStringLiteral("\u2265 2");
    QVector<double> counts(chart.categories.size(), 0);
    for (double cgk : study.cgkValues) {
        int bin = 0;
        while (bin < edges.size() && cgk >= edges[bin])
            ++bin;
        counts[bin] += 1;
    }
    for (double c : counts)
        chart.series[0].values << c;
    return barChartSvg(chart);
}
