#include "records.h"

#include "platform/fields.h"
#include "stats/statistics.h"

#include <QTimeZone>

namespace {

// Decimal digits without QString: records are written for every frame.
inline void appendNumber(QByteArray &out, qint64 value)
{
    char digits[24];
    int i = sizeof digits;
    const bool negative = value < 0;
    quint64 v = negative ? quint64(-value) : quint64(value);
    do {
        digits[--i] = char('0' + v % 10);
        v /= 10;
    } while (v);
    if (negative)
        digits[--i] = '-';
    out.append(digits + i, int(sizeof digits) - i);
}

// The values the 0x82 frame carries signed (words 5, 6, 12-15) print signed.
inline qint64 wordValue(const Measurement &m, int w)
{
    const quint16 raw = m.words[size_t(w - 1)];
    const bool isSigned = w == 5 || w == 6 || w >= 12;
    return isSigned ? qint64(qint16(raw)) : qint64(raw);
}

// The record's columns after the time, in order: the CSV header and the JSON
// keys both come from here.
const char *const Columns[] = {"code", "distance_mm", "amplitude", "ambient", "temperature_c", "driver_current"};

void appendCommonFields(QByteArray &out, const Measurement &m, char separator)
{
    appendNumber(out, m.extended ? 130 : 129);
    for (qint64 v : {qint64(m.distance), qint64(m.amplitude), qint64(m.ambient), qint64(m.temperature),
                     qint64(m.driverCurrent)}) {
        out.append(separator);
        appendNumber(out, v);
    }
}

class TextWriter : public RecordWriter
{
    void secondChanged(const QDateTime &time) override
    {
        stamp = measurementTimeStamp(time).toLatin1();  // "hh:mm:ss.zzz,"
        millisAt = 9;
    }
    void record(QByteArray &out, const Measurement &m) override
    {
        if (withId)
            out.append(idText + ',');
        if (withReference)
            out.append(referenceText + " mm,");
        out.append(measurementLine(m, QString::fromLatin1(stamp)).toUtf8());
        out.append('\n');
    }
};

class CsvWriter : public RecordWriter
{
    void begin(QByteArray &out) override
    {
        QStringList header;
        if (withId)
            header << QStringLiteral("id");
        if (withReference)
            header << QStringLiteral("reference_mm");
        header << QStringLiteral("time");
        for (const char *c : Columns)
            header << QLatin1String(c);
        for (int w = 1; w <= 15; ++w)
            header << QStringLiteral("w%1").arg(w);
        out.append(csvRow(header).toUtf8());
    }
    void secondChanged(const QDateTime &time) override
    {
        stamp = isoTime(time);
        millisAt = 20;
    }
    void record(QByteArray &out, const Measurement &m) override
    {
        if (withId)
            out.append(idText + ',');
        if (withReference)
            out.append(referenceText + ',');
        out.append(stamp);
        out.append(',');
        appendCommonFields(out, m, ',');
        for (int w = 1; w <= 15; ++w) {
            out.append(',');
            if (m.extended)
                appendNumber(out, wordValue(m, w));
        }
        out.append('\n');
    }
};

// Keys written through the one JSON escaping once, when the writer is made;
// a record is then the keys and the numbers, with no escaping per frame. The
// time is quoted once a second, like the other writers' stamps.
class JsonWriter : public RecordWriter
{
public:
    JsonWriter()
    {
        idKey = jsonKey("id");
        referenceKey = jsonKey("reference_mm");
        timeKey = jsonKey("time");
        for (const char *c : Columns)
            keys << ',' + jsonKey(c);
        wordsKey = ',' + jsonKey("words") + '[';
    }

private:
    static QByteArray jsonKey(const char *name) { return jsonString(QLatin1String(name)).toUtf8() + ':'; }

    void secondChanged(const QDateTime &time) override
    {
        stamp = jsonString(QString::fromLatin1(isoTime(time))).toUtf8();
        millisAt = 21;  // behind the opening quote
    }
    void record(QByteArray &out, const Measurement &m) override
    {
        out.append('{');
        if (withId)
            out.append(idKey + idText + ',');
        if (withReference)
            out.append(referenceKey + referenceText + ',');
        out.append(timeKey);
        out.append(stamp);
        const qint64 values[] = {m.extended ? 130 : 129, m.distance, m.amplitude, m.ambient, m.temperature, m.driverCurrent};
        for (int i = 0; i < 6; ++i) {
            out.append(keys.at(i));
            appendNumber(out, values[i]);
        }
        if (m.extended) {
            out.append(wordsKey);
            for (int w = 1; w <= 15; ++w) {
                if (w > 1)
                    out.append(',');
                appendNumber(out, wordValue(m, w));
            }
            out.append(']');
        }
        out.append("}\n");
    }

    QByteArray idKey, referenceKey, timeKey, wordsKey;
    QByteArrayList keys;
};

} // namespace

void RecordWriter::setDeviceId(quint8 id)
{
    idText = QByteArray::number(id);
}

void RecordWriter::setReference(qint64 referenceMilli)
{
    referenceText = milliText(referenceMilli).toLatin1();
}

void RecordWriter::setTime(qint64 ms)
{
    const qint64 second = ms / 1000;
    if (second != currentSecond) {
        currentSecond = second;
        secondChanged(QDateTime::fromMSecsSinceEpoch(ms));
        return;
    }
    const int millis = int(ms % 1000);
    stamp[millisAt] = char('0' + millis / 100);
    stamp[millisAt + 1] = char('0' + millis / 10 % 10);
    stamp[millisAt + 2] = char('0' + millis % 10);
}

std::unique_ptr<RecordWriter> makeRecordWriter(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Csv:
        return std::make_unique<CsvWriter>();
    case OutputFormat::Json:
        return std::make_unique<JsonWriter>();
    case OutputFormat::Text:
        break;
    }
    return std::make_unique<TextWriter>();
}

QByteArray isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")).toLatin1()
         + (offset < 0 ? '-' : '+')
         + QByteArray::number(minutes / 60).rightJustified(2, '0') + ':'
         + QByteArray::number(minutes % 60).rightJustified(2, '0');
}
