#include "inforecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include "platform/fields.h"

namespace {

// A float's digits, not its binary expansion (0.85, not 0.85000002384185791).
double asSent(double value)
{
    return QString::number(value, 'g', 7).toDouble();
}

// "12" -> 12, "[12][-3]" -> [12,-3], anything else stays text.
QJsonValue valueOf(const QString &text)
{
    static const QRegularExpression integer(QStringLiteral("^-?\\d+$"));
    static const QRegularExpression list(QStringLiteral("^(\\[-?\\d+\\])+$"));
    if (integer.match(text).hasMatch())
        return text.toLongLong();
    if (list.match(text).hasMatch()) {
        QJsonArray items;
        for (const QString &item : text.mid(1, text.size() - 2).split(QStringLiteral("][")))
            items.append(item.toLongLong());
        return items;
    }
    return text;
}

// "RANGE: 8000", "SOFT:B-1.2.5": the value behind the name.
QString afterName(const QStringList &lines)
{
    return lines.isEmpty() ? QString() : lines.first().section(QLatin1Char(':'), 1).trimmed();
}

QJsonArray numbers(const QVector<double> &values, int from, int count)
{
    QJsonArray items;
    for (int i = from; i < from + count; ++i)
        items.append(asSent(values.at(i)));
    return items;
}

void csvRows(QString &out, const QString &key, const QJsonValue &value)
{
    if (value.isObject()) {
        const QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            csvRows(out, key + QLatin1Char('.') + it.key(), it.value());
    } else if (value.isArray()) {
        const QJsonArray a = value.toArray();
        for (int i = 0; i < a.size(); ++i)
            csvRows(out, key + QLatin1Char('.') + QString::number(i + 1), a.at(i));
    } else {
        const QString text = value.isString() ? value.toString()
                     : value.isNull()   ? QString()
                                        : QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
        out += csvRow({key, text});
    }
}

} // namespace

QString infoField(AnswerKind kind)
{
    switch (kind) {
    case AnswerKind::HardwareVersion: return QStringLiteral("hardware");
    case AnswerKind::FirmwareVersion: return QStringLiteral("firmware");
    case AnswerKind::Range: return QStringLiteral("range");
    case AnswerKind::IntegrationTime: return QStringLiteral("integration");
    case AnswerKind::Configuration: return QStringLiteral("configuration");
    case AnswerKind::Coefficients: return QStringLiteral("coefficients");
    case AnswerKind::Threshold: return QStringLiteral("threshold");
    default: return QString();
    }
}

void InfoRecord::add(const Answer &a)
{
    const QString field = infoField(a.kind);
    switch (a.kind) {
    case AnswerKind::HardwareVersion:
    case AnswerKind::FirmwareVersion:
        object.insert(field, a.lines.isEmpty() ? QJsonValue() : QJsonValue(afterName(a.lines)));
        break;
    case AnswerKind::Range:
    case AnswerKind::IntegrationTime:
        object.insert(field, a.lines.isEmpty() ? QJsonValue() : valueOf(afterName(a.lines)));
        break;
    case AnswerKind::Configuration: {
        QJsonObject fields;
        for (const QString &line : a.lines)
            fields.insert(line.section(QLatin1Char(':'), 0, 0), valueOf(line.section(QLatin1Char(':'), 1)));
        object.insert(field, a.lines.isEmpty() ? QJsonValue() : QJsonValue(fields));
        break;
    }
    case AnswerKind::Coefficients: {
        if (a.coefficients.size() < 10 || a.lines.isEmpty()) {
            object.insert(field, QJsonValue());
            break;
        }
        const QVector<double> &c = a.coefficients;
        object.insert(field, QJsonObject{{QStringLiteral("name"), a.lines.first()},
                                         {QStringLiteral("temperature_high"), numbers(c, 0, 3)},
                                         {QStringLiteral("temperature_low"), numbers(c, 3, 3)},
                                         {QStringLiteral("ambient"), numbers(c, 6, 2)},
                                         {QStringLiteral("linear"), numbers(c, 8, 2)}});
        break;
    }
    case AnswerKind::Threshold:
        object.insert(field, a.threshold ? QJsonValue(int(*a.threshold)) : QJsonValue());
        break;
    default:
        break;
    }
}

void InfoRecord::addMissing(const QString &field)
{
    object.insert(field, QJsonValue());
}

QByteArray InfoRecord::render(OutputFormat format) const
{
    if (format == OutputFormat::Json)
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    QString out = QStringLiteral("field,value\n");
    for (auto it = object.begin(); it != object.end(); ++it)
        csvRows(out, it.key(), it.value());
    return out.toUtf8();
}
