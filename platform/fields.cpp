#include "fields.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

Field numberField(const char *key, const char *label, std::optional<QString> value, const char *unit)
{
    return {QLatin1String(key), QLatin1String(label), std::move(value), false, false, QLatin1String(unit)};
}

Field textField(const char *key, const char *label, const QString &value)
{
    return {QLatin1String(key), QLatin1String(label), value, true, false, QString()};
}

QString jsonString(const QString &text)
{
    // A one-element array gives the quoted, escaped string.
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

QString jsonStrings(const QStringList &texts)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
}

QString jsonValue(const Field &f)
{
    return !f.value ? QStringLiteral("null") : f.isText ? jsonString(*f.value) : *f.value;
}

QString jsonObject(const QVector<Field> &fields, const QStringList &extra)
{
    QStringList members;
    for (const Field &f : fields)
        members << jsonString(f.key) + QLatin1Char(':') + jsonValue(f);
    members += extra;
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString csvCell(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return special.contains(c); }))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString csvRow(const QStringList &cells)
{
    QStringList quoted;
    for (const QString &c : cells)
        quoted << csvCell(c);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}
