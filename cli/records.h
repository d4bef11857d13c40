#ifndef RECORDS_H
#define RECORDS_H

// Measurement records in the three output formats, appended to a byte buffer
// that the caller writes out and flushes once per read of the port:
//   text - the window's measurement line behind its "hh:mm:ss.zzz," stamp;
//   csv  - a header row, then time,code,distance_mm,amplitude,ambient,
//          temperature_c,driver_current,w1..w15 (the words empty for 0x81);
//   json - one object per line with the same names, "words" an array of the
//          15 words for 0x82 frames only.
// A fixture's records (test --ids) begin with the module's ID: "3," in
// text, an `id` column in CSV, an "id" member in JSON. A run across the
// range (test --points) gives each record its point's distance next:
// "1000.000 mm," in text, a `reference_mm` column in CSV, a "reference_mm"
// member in JSON.
// `time` is the local time as ISO 8601 with milliseconds and the UTC offset.
// All records of one read share its time stamp (they arrived together).

#include "decode/measurement.h"
#include "options.h"

#include <QByteArray>
#include <QDateTime>
#include <memory>

class RecordWriter
{
public:
    virtual ~RecordWriter() = default;
    // Anything that goes before the first record (the CSV header row).
    virtual void begin(QByteArray &out) { Q_UNUSED(out); }
    // Sets the time stamp of the records that follow (milliseconds since the epoch).
    void setTime(qint64 msecsSinceEpoch);
    virtual void record(QByteArray &out, const Measurement &m) = 0;
    // Records of a fixture carry the module's ID: a first column (text and
    // CSV) or an "id" member (JSON). Set before begin().
    void setWithId(bool on) { withId = on; }
    void setDeviceId(quint8 id);
    // Records of a run across the range carry their point's distance. Set
    // before begin(); the distance may change between records.
    void setWithReference(bool on) { withReference = on; }
    void setReference(qint64 referenceMilli);

protected:
    // The local time is worked out once a second (it is costly); within the
    // second only the three millisecond digits at `millisAt` change.
    virtual void secondChanged(const QDateTime &time) = 0;
    QByteArray stamp;
    int millisAt = 0;
    bool withId = false;
    QByteArray idText;  // "3"
    bool withReference = false;
    QByteArray referenceText;  // "1000.000"

private:
    qint64 currentSecond = -1;
};

std::unique_ptr<RecordWriter> makeRecordWriter(OutputFormat format);

// "2026-12-07T14:03:07.250+01:00"
QByteArray isoTime(const QDateTime &time);

#endif // RECORDS_H
