#include "limitsfile.h"

#include "platform/numbers.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr qint64 MaxMilli = 65535000;
// A limits file is a few hundred bytes; anything much larger (a device, a
// log given by mistake) is refused before it is read into memory.
constexpr qint64 MaxBytes = 64 * 1024;
constexpr int MaxDepth = 16;

// Byte offset -> 1-based line and column (in characters).
void position(const QByteArray &bytes, int offset, int *line, int *column)
{
    offset = qBound(0, offset, int(bytes.size()));
    const int lineStart = bytes.lastIndexOf('\n', offset - 1) + 1;
    *line = int(bytes.left(offset).count('\n')) + 1;
    *column = int(QString::fromUtf8(bytes.mid(lineStart, offset - lineStart)).size()) + 1;
}

// The byte offset of every key of the top-level object (its opening quote),
// and the keys given more than once. Walks the text as JSON: strings with
// their escapes, nesting by brackets; a string at depth 1 followed by a
// colon is a key.
struct KeyScan {
    QHash<QString, int> at;
    QString duplicate;
    int duplicateAt = -1;
    int deepest = 0;  // the deepest nesting of objects and arrays
};

KeyScan scanKeys(const QByteArray &bytes)
{
    KeyScan scan;
    int depth = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '{' || c == '[') {
            scan.deepest = qMax(scan.deepest, ++depth);
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '"') {
            const int start = i;
            for (++i; i < bytes.size() && bytes.at(i) != '"'; ++i) {
                if (bytes.at(i) == '\\')
                    ++i;
            }
            if (depth != 1)
                continue;
            int j = i + 1;
            while (j < bytes.size() && (bytes.at(j) == ' ' || bytes.at(j) == '\t' || bytes.at(j) == '\r' || bytes.at(j) == '\n'))
                ++j;
            if (j >= bytes.size() || bytes.at(j) != ':')
                continue;
            // Decoded as JSON decodes it, escapes included.
            const QJsonDocument one = QJsonDocument::fromJson('[' + bytes.mid(start, i - start + 1) + ']');
            const QString key = one.array().at(0).toString();
            if (scan.at.contains(key) && scan.duplicate.isEmpty()) {
                scan.duplicate = key;
                scan.duplicateAt = start;
            }
            scan.at.insert(key, start);
        }
    }
    return scan;
}

// What a value of the wrong kind is, for "wants ..., not a text".
QString kindOf(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Bool: return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Double: return numberText(v.toDouble());
    default: return QStringLiteral("null");
    }
}

// The command line's readers, on the number as it was written.
std::optional<qint64> thousandths(const QJsonValue &v, qint64 low, qint64 high)
{
    return v.isDouble() ? parseThousandths(numberText(v.toDouble()), low, high) : std::nullopt;
}

std::optional<quint64> wholeNumber(const QJsonValue &v, quint64 low, quint64 high)
{
    return v.isDouble() ? parseWhole(numberText(v.toDouble()), low, high) : std::nullopt;
}

// [500, 1000] or [{"reference_mm": 500, "tolerance_mm": 5}, ...]: at least one
// point, each distance once.
std::optional<QVector<LimitPoint>> limitPoints(const QJsonValue &v)
{
    if (!v.isArray() || v.toArray().isEmpty())
        return std::nullopt;
    QVector<LimitPoint> points;
    for (const QJsonValue &item : v.toArray()) {
        LimitPoint p;
        if (item.isObject()) {
            const QJsonObject o = item.toObject();
            for (auto it = o.begin(); it != o.end(); ++it) {
                if (it.key() != QLatin1String("reference_mm") && it.key() != QLatin1String("tolerance_mm"))
                    return std::nullopt;
            }
            const std::optional<qint64> reference = thousandths(o.value(QStringLiteral("reference_mm")), 0, MaxMilli);
            if (!reference)
                return std::nullopt;
            p.referenceMilli = *reference;
            if (o.contains(QStringLiteral("tolerance_mm"))
                && !(p.toleranceMilli = thousandths(o.value(QStringLiteral("tolerance_mm")), 0, MaxMilli)))
                return std::nullopt;
        } else {
            const std::optional<qint64> reference = thousandths(item, 0, MaxMilli);
            if (!reference)
                return std::nullopt;
            p.referenceMilli = *reference;
        }
        for (const LimitPoint &other : std::as_const(points)) {
            if (other.referenceMilli == p.referenceMilli)
                return std::nullopt;
        }
        points.append(p);
    }
    return points;
}

} // namespace

QString LimitsError::text() const
{
    QString where = path;
    if (line > 0)
        where += QStringLiteral(":%1:%2").arg(line).arg(column);
    if (!key.isEmpty())
        where += QStringLiteral(": \"%1\"").arg(key);
    return where + QStringLiteral(": ") + message;
}

bool versionMatches(const QString &version, const QString &pattern)
{
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
    return re.isValid() && re.match(version).hasMatch();
}

std::optional<LimitsFile> readLimitsFile(const QString &path, LimitsError *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = LimitsError{path, QString(), 0, 0, QStringLiteral("cannot read the limits file: %1").arg(file.errorString())};
        return std::nullopt;
    }
    const QByteArray bytes = file.read(MaxBytes + 1);
    if (bytes.size() > MaxBytes) {
        *error = LimitsError{path, QString(), 0, 0,
                             QStringLiteral("larger than %1 KiB: not a limits file").arg(MaxBytes / 1024)};
        return std::nullopt;
    }
    return parseLimits(bytes, path, error);
}

std::optional<LimitsFile> parseLimits(const QByteArray &bytes, const QString &path, LimitsError *error)
{
    const auto fail = [&](const QString &key, int offset, const QString &message) {
        error->path = path;
        error->key = key;
        error->message = message;
        position(bytes, offset, &error->line, &error->column);
        return std::nullopt;
    };

    const KeyScan keys = scanKeys(bytes);
    if (keys.deepest > MaxDepth) {
        *error = LimitsError{path, QString(), 0, 0, QStringLiteral("nested deeper than %1 levels").arg(MaxDepth)};
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QString(), parseError.offset, QStringLiteral("not valid JSON: %1").arg(parseError.errorString()));
    if (!doc.isObject())
        return fail(QString(), 0, QStringLiteral("wants one JSON object { \"key\": value, ... }"));

    if (!keys.duplicate.isEmpty())
        return fail(keys.duplicate, keys.duplicateAt, QStringLiteral("given more than once"));

    LimitsFile l;
    l.path = path;
    l.sha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const QJsonValue v = it.value();
        const int at = keys.at.value(key, 0);
        const auto wrong = [&](const QString &wants) {
            return fail(key, at, QStringLiteral("wants %1, not %2").arg(wants, kindOf(v)));
        };
        const auto millimetres = [&](std::optional<qint64> *target) {
            *target = thousandths(v, 0, MaxMilli);
            return target->has_value();
        };
        const auto text = [&](QString *target) {
            *target = v.toString();
            return v.isString();
        };
        // A pattern that is no regular expression says why.
        const auto pattern = [&](std::optional<QString> *target, const char *what) {
            const QRegularExpression re(v.toString());
            if (!v.isString())
                wrong(QStringLiteral("a regular expression for the %1 version").arg(QLatin1String(what)));
            else if (!re.isValid())
                fail(key, at, QStringLiteral("not a regular expression: %1 at character %2")
                                  .arg(re.errorString()).arg(re.patternErrorOffset() + 1));
            else
                *target = v.toString();
            return v.isString() && re.isValid();
        };

        if (key == QLatin1String("product")) {
            if (!text(&l.product))
                return wrong(QStringLiteral("a text"));
        } else if (key == QLatin1String("version")) {
            if (!text(&l.version))
                return wrong(QStringLiteral("a text"));
        } else if (key == QLatin1String("reference_mm") || key == QLatin1String("tolerance_mm")
                   || key == QLatin1String("marginal_mm") || key == QLatin1String("max_sigma_mm")) {
            std::optional<qint64> *target = key == QLatin1String("reference_mm")   ? &l.referenceMilli
                                            : key == QLatin1String("tolerance_mm") ? &l.toleranceMilli
                                            : key == QLatin1String("marginal_mm")  ? &l.marginalMilli
                                                                                   : &l.maxSigmaMilli;
            if (!millimetres(target))
                return wrong(QStringLiteral("millimetres from 0 to 65535 (up to three decimals)"));
        } else if (key == QLatin1String("min_amplitude")) {
            if (!millimetres(&l.minAmplitudeMilli))
                return wrong(QStringLiteral("an amplitude from 0 to 65535 (up to three decimals)"));
        } else if (key == QLatin1String("max_outside")) {
            if (!(l.maxOutside = wholeNumber(v, 0, 0xFFFFFFFFULL)))
                return wrong(QStringLiteral("a whole number of frames from 0"));
        } else if (key == QLatin1String("count")) {
            if (!(l.count = wholeNumber(v, 1, 0xFFFFFFFFULL)))
                return wrong(QStringLiteral("a whole number of frames from 1"));
        } else if (key == QLatin1String("duration_s")) {
            const std::optional<qint64> ms = thousandths(v, 1, 86400000LL * 365);
            if (!ms)
                return wrong(QStringLiteral("seconds above 0 (up to three decimals)"));
            l.durationMs = ms;
        } else if (key == QLatin1String("rate")) {
            const std::optional<quint64> hz = wholeNumber(v, 10, 100);
            if (!hz || (*hz != 10 && *hz != 20 && *hz != 50 && *hz != 100))
                return wrong(QStringLiteral("10, 20, 50 or 100"));
            l.rateHz = int(*hz);
        } else if (key == QLatin1String("points")) {
            if (!(l.points = limitPoints(v)))
                return wrong(QStringLiteral("a list of distinct distances in mm, [500, 1000], or of "
                                            "{\"reference_mm\": 500, \"tolerance_mm\": 5} objects"));
        } else if (key == QLatin1String("hardware") || key == QLatin1String("firmware")) {
            const bool hardware = key == QLatin1String("hardware");
            if (!pattern(hardware ? &l.hardwarePattern : &l.firmwarePattern, hardware ? "hardware" : "firmware"))
                return std::nullopt;
        } else {
            return fail(key, at, QStringLiteral("unknown key (known: product, version, reference_mm, tolerance_mm, "
                                                "marginal_mm, max_sigma_mm, min_amplitude, max_outside, count, "
                                                "duration_s, rate, points, hardware, firmware)"));
        }
    }
    return l;
}
