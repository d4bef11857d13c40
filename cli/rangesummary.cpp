#include "rangesummary.h"

#include "stats/statistics.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString None = QStringLiteral("-");

QString jsonList(const QStringList &items)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact));
}

QString jsonText(const QString &text)
{
    const QString a = jsonList({text});
    return a.mid(1, a.size() - 2);
}

// "PASS", "FAIL: a; b" or "ERROR: why".
QString verdictText(bool pass, const QStringList &failed, const QString &error, const QString &passWord,
                    const QString &failWord)
{
    if (!error.isEmpty())
        return QStringLiteral("ERROR: ") + error;
    return pass ? passWord : failWord + QStringLiteral(": ") + failed.join(QStringLiteral("; "));
}

template <typename T, typename F>
QString orNone(const std::optional<T> &v, F text)
{
    return v ? text(*v) : None;
}

QStringList pointCells(const PointRow &p)
{
    const auto milli = [](qint64 v) { return milliText(v); };
    const auto whole = [](int v) { return QString::number(v); };
    return {milliText(p.referenceMilli), QString::number(p.frames), orNone(p.meanMilli, milli),
            orNone(p.biasMilli, milli), orNone(p.sigmaMilli, milli), orNone(p.minMm, whole), orNone(p.maxMm, whole),
            QString::number(p.outside), p.pass ? (*p.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")) : None};
}

const QStringList pointKeys = {"reference_mm", "frames", "mean_mm", "bias_mm", "sigma_mm",
                               "min_mm", "max_mm", "outside", "result"};

QStringList lineCells(const Linearity &l)
{
    return {orNone(l.slope, slopeText), orNone(l.interceptMm, mmText), orNone(l.r2, r2Text), mmText(l.maxAbsBiasMm)};
}

const QStringList lineKeys = {"slope", "intercept_mm", "r2", "max_abs_bias_mm"};

// A JSON member list from keys and printed cells: numbers as printed, texts quoted, "-" as null.
QString jsonMembers(const QStringList &keys, const QStringList &cells, const QStringList &texts = {})
{
    QStringList members;
    for (int i = 0; i < keys.size(); ++i) {
        const QString &c = cells.at(i);
        members << QStringLiteral("\"%1\":%2").arg(keys.at(i), c == None            ? QStringLiteral("null")
                                                                : texts.contains(keys.at(i)) ? jsonText(c)
                                                                                             : c);
    }
    return members.join(QLatin1Char(','));
}

} // namespace

QByteArray renderPointsSummary(const PointsSummary &s, OutputFormat format)
{
    QString out;
    const QStringList line = lineCells(s.line);
    const QString verdict = verdictText(s.pass, s.failed, s.error, QStringLiteral("PASS"), QStringLiteral("FAIL"));
    switch (format) {
    case OutputFormat::Text: {
        const QStringList heads = {"reference mm", "frames", "mean mm", "bias mm", "sigma mm",
                                   "min mm", "max mm", "outside", "result"};
        QVector<QStringList> rows{heads};
        for (const PointRow &p : s.points)
            rows << pointCells(p);
        QVector<int> widths(heads.size(), 0);
        for (const QStringList &r : rows) {
            for (int c = 0; c < r.size(); ++c)
                widths[c] = qMax(widths[c], int(r.at(c).size()));
        }
        for (const QStringList &r : rows) {
            QStringList cells;
            for (int c = 0; c < r.size(); ++c)
                cells << r.at(c).rightJustified(widths[c]);
            out += cells.join(QStringLiteral("  ")) + QLatin1Char('\n');
        }
        out += QStringLiteral("linearity: slope %1 mm/mm, intercept %2 mm, r2 %3, max |bias| %4 mm\n")
                   .arg(line.at(0), line.at(1), line.at(2), line.at(3));
        out += verdict + QLatin1Char('\n');
        break;
    }
    case OutputFormat::Csv:
        out += QStringLiteral("# ") + pointKeys.join(QLatin1Char(',')) + QLatin1Char('\n');
        for (const PointRow &p : s.points)
            out += QStringLiteral("# ") + pointCells(p).join(QLatin1Char(',')) + QLatin1Char('\n');
        out += QStringLiteral("# linearity: slope=%1,intercept_mm=%2,r2=%3,max_abs_bias_mm=%4\n")
                   .arg(line.at(0), line.at(1), line.at(2), line.at(3));
        out += QStringLiteral("# verdict: ") + verdict + QLatin1Char('\n');
        break;
    case OutputFormat::Json: {
        QStringList points;
        for (const PointRow &p : s.points)
            points << QLatin1Char('{') + jsonMembers(pointKeys, pointCells(p), {"result"}) + QLatin1Char('}');
        out = QStringLiteral("{\"summary\":{\"points\":[%1],\"linearity\":{%2},\"result\":\"%3\"")
                  .arg(points.join(QLatin1Char(',')), jsonMembers(lineKeys, line),
                       !s.error.isEmpty() ? "ERROR" : s.pass ? "PASS" : "FAIL");
        out += !s.error.isEmpty() ? QStringLiteral(",\"error\":") + jsonText(s.error)
                                  : QStringLiteral(",\"failed\":") + jsonList(s.failed);
        out += QStringLiteral("}}\n");
        break;
    }
    }
    return out.toUtf8();
}

QByteArray renderStudySummary(const StudySummary &s, OutputFormat format)
{
    const DistanceStatistics &d = *s.distances;
    const bool any = !d.isEmpty();
    const auto mm = [any](qint64 milli) { return any ? milliText(milli) : None; };
    const auto index = [](double v) { return indexText(v); };
    const QStringList keys = {"frames", "reference_mm", "tolerance_mm", "mean_mm", "bias_mm", "sigma_mm", "cg", "cgk"};
    const QStringList labels = {"frames", "reference", "tolerance", "mean", "bias", "sigma", "Cg", "Cgk"};
    const QStringList units = {"", " mm", " mm", " mm", " mm", " mm", "", ""};
    const QStringList cells = {QString::number(s.frames), milliText(s.referenceMilli), milliText(s.toleranceMilli),
                               mm(d.meanMilli()), mm(d.differenceMilli(s.referenceMilli)), mm(d.sigmaMilli()),
                               orNone(s.study.cg, index), orNone(s.study.cgk, index)};
    QStringList notes;
    if (!s.study.reason.isEmpty())
        notes << QStringLiteral("no Cg/Cgk: ") + s.study.reason;
    if (s.study.resolutionTooCoarse)
        notes << QStringLiteral("the module's resolution (1 mm) is more than 5 % of the tolerance range %1 mm: "
                                "the study cannot resolve this tolerance")
                     .arg(milliText(2 * s.toleranceMilli));
    const QString result = !s.error.isEmpty() ? QStringLiteral("ERROR")
                           : s.study.capable  ? QStringLiteral("CAPABLE")
                                              : QStringLiteral("NOT CAPABLE");
    const QString verdict = verdictText(s.study.capable, s.failed, s.error, QStringLiteral("CAPABLE"),
                                        QStringLiteral("NOT CAPABLE"));
    QString out;
    switch (format) {
    case OutputFormat::Text:
        for (int i = 0; i < keys.size(); ++i)
            out += labels.at(i) + QStringLiteral(": ") + cells.at(i) + (cells.at(i) == None ? QString() : units.at(i))
                   + QLatin1Char('\n');
        for (const QString &n : notes)
            out += QStringLiteral("note: ") + n + QLatin1Char('\n');
        out += verdict + QLatin1Char('\n');
        break;
    case OutputFormat::Csv:
        for (int i = 0; i < keys.size(); ++i)
            out += QStringLiteral("# %1: %2\n").arg(keys.at(i), cells.at(i));
        for (const QString &n : notes)
            out += QStringLiteral("# note: ") + n + QLatin1Char('\n');
        out += QStringLiteral("# verdict: ") + verdict + QLatin1Char('\n');
        break;
    case OutputFormat::Json:
        out = QStringLiteral("{\"summary\":{") + jsonMembers(keys, cells) + QStringLiteral(",\"result\":\"%1\"").arg(result)
              + QStringLiteral(",\"notes\":") + jsonList(notes)
              + (!s.error.isEmpty() ? QStringLiteral(",\"error\":") + jsonText(s.error)
                                    : QStringLiteral(",\"failed\":") + jsonList(s.failed))
              + QStringLiteral("}}\n");
        break;
    }
    return out.toUtf8();
}
