#include "numbers.h"

#include <QRegularExpression>

std::optional<quint64> parseWhole(const QString &text, quint64 low, quint64 high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const quint64 value = text.toULongLong();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<qint64> parseThousandths(const QString &text, qint64 low, qint64 high)
{
    static const QRegularExpression decimal(QStringLiteral("^([0-9]{1,12})(?:\\.([0-9]{1,3}))?$"));
    const QRegularExpressionMatch m = decimal.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString fraction = m.captured(2).leftJustified(3, QLatin1Char('0'));
    const qint64 value = m.captured(1).toLongLong() * 1000 + fraction.toLongLong();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}
