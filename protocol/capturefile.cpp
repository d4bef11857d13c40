#include "capturefile.h"

#include <QRegularExpression>

#include <cstdio>

namespace {

const QByteArray magic = QByteArrayLiteral("# korvani capture 1");

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString shown(const char *begin, int size)
{
    const int shownSize = qMin(size, 40);
    return QString::fromLatin1(begin, shownSize) + (size > shownSize ? QStringLiteral("...") : QString());
}

QString seconds(qint64 us)
{
    return QString::asprintf("%lld.%06lld", static_cast<long long>(us / 1000000),
                             static_cast<long long>(us % 1000000));
}

} // namespace

QByteArray CaptureFormat::header(const QDateTime &start, const QString &port, qint32 baud)
{
    // With its UTC offset, so the file names its instant wherever it is read.
    const QDateTime stamped = start.toOffsetFromUtc(start.offsetFromUtc());
    return magic + "\n# start " + stamped.toString(Qt::ISODateWithMs).toUtf8() + " port " + port.toUtf8()
        + " baud " + QByteArray::number(baud) + '\n';
}

void CaptureFormat::appendEvent(QByteArray &out, qint64 offsetUs, CaptureDirection direction,
                                const QByteArray &bytes)
{
    char time[48];
    const int length = std::snprintf(time, sizeof time, "%lld.%06lld %s ", static_cast<long long>(offsetUs / 1000000),
                                     static_cast<long long>(offsetUs % 1000000),
                                     direction == CaptureDirection::Tx ? "tx" : "rx");
    out.append(time, length);
    out += bytes.toHex();
    out += '\n';
}

bool CaptureReader::open(const QString &filePath)
{
    path = filePath;
    file.setFileName(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        text = QStringLiteral("%1: %2").arg(filePath, file.errorString());
        return false;
    }
    buffer.resize(CaptureFormat::MaxLineBytes + 1);
    if (readLine() != LineRead::Line || QByteArray(buffer.constData(), length) != magic) {
        fail(QStringLiteral("not a korvani capture (the first line must be \"%1\")")
                 .arg(QString::fromLatin1(magic)));
        return false;
    }
    return true;
}

bool CaptureReader::openChecked(const QString &filePath)
{
    CaptureReader check;
    if (!check.open(filePath)) {
        text = check.message();
        return false;
    }
    CaptureEvent event;
    CaptureReader::Result r;
    while ((r = check.next(event)) == Result::Event) {
    }
    if (r == Result::Error) {
        text = check.message();
        return false;
    }
    if (!open(filePath))
        return false;
    startTime = check.startTime;
    portName = check.portName;
    baudRate = check.baudRate;
    return true;
}

CaptureReader::LineRead CaptureReader::readLine()
{
    ++lineNumber;
    const qint64 got = file.readLine(buffer.data(), buffer.size());
    if (got <= 0)
        return LineRead::End;
    length = int(got);
    if (buffer.at(length - 1) != '\n')
        return length >= CaptureFormat::MaxLineBytes ? LineRead::TooLong : LineRead::Unterminated;
    --length;
    if (length > 0 && buffer.at(length - 1) == '\r')
        --length;
    return LineRead::Line;
}

CaptureReader::Result CaptureReader::fail(const QString &reason)
{
    text = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(reason);
    ended = true;
    return Result::Error;
}

CaptureReader::Result CaptureReader::next(CaptureEvent &event)
{
    while (!ended) {
        switch (readLine()) {
        case LineRead::End:
            ended = true;
            return Result::End;
        case LineRead::TooLong:
            return fail(QStringLiteral("line longer than %1 bytes").arg(CaptureFormat::MaxLineBytes));
        case LineRead::Unterminated:
            text = QStringLiteral("%1:%2: warning: the last line is incomplete; the rest was skipped")
                       .arg(path).arg(lineNumber);
            ended = true;
            return Result::Truncated;
        case LineRead::Line:
            break;
        }
        for (int i = 0; i < length; ++i) {
            const uchar c = uchar(buffer.at(i));
            if ((c < 0x20 && c != '\t') || c == 0x7f)
                return fail(QStringLiteral("binary data (byte 0x%1 at column %2)")
                                .arg(int(c), 2, 16, QLatin1Char('0')).arg(i + 1));
        }
        if (length == 0)
            continue;
        if (buffer.at(0) == '#') {
            if (QByteArray::fromRawData(buffer.constData(), length).startsWith("# start ") && !parseStart())
                return fail(QStringLiteral("malformed start line"));
            continue;
        }
        if (!parseEvent(event))
            return Result::Error;
        return Result::Event;
    }
    return Result::End;
}

bool CaptureReader::parseStart()
{
    static const QRegularExpression form(QStringLiteral("^# start (\\S+) port (.*) baud ([0-9]{1,9})$"));
    const QRegularExpressionMatch m = form.match(QString::fromUtf8(buffer.constData(), length));
    if (!m.hasMatch())
        return false;
    startTime = QDateTime::fromString(m.captured(1), Qt::ISODateWithMs);
    portName = m.captured(2);
    baudRate = m.captured(3).toInt();
    return startTime.isValid();
}

// "SECONDS DIR HEX", SECONDS as digits with up to six decimals.
bool CaptureReader::parseEvent(CaptureEvent &event)
{
    const char *p = buffer.constData();
    const char *end = p + length;
    const char *timeEnd = static_cast<const char *>(memchr(p, ' ', size_t(length)));
    if (!timeEnd || end - timeEnd < 5 || timeEnd[3] != ' ') {
        fail(QStringLiteral("expected \"SECONDS tx|rx HEX\", got \"%1\"").arg(shown(p, length)));
        return false;
    }
    qint64 whole = 0;
    qint64 micro = 0;
    int wholeDigits = 0;
    int fractionDigits = -1;  // -1: no point yet
    for (const char *q = p; q < timeEnd; ++q) {
        if (*q == '.' && fractionDigits < 0) {
            fractionDigits = 0;
        } else if (*q >= '0' && *q <= '9' && fractionDigits < 0 && wholeDigits < 12) {
            whole = whole * 10 + (*q - '0');
            ++wholeDigits;
        } else if (*q >= '0' && *q <= '9' && fractionDigits >= 0 && fractionDigits < 6) {
            micro = micro * 10 + (*q - '0');
            ++fractionDigits;
        } else {
            fail(QStringLiteral("bad time \"%1\"").arg(shown(p, int(timeEnd - p))));
            return false;
        }
    }
    if (wholeDigits == 0 || fractionDigits == 0) {
        fail(QStringLiteral("bad time \"%1\"").arg(shown(p, int(timeEnd - p))));
        return false;
    }
    for (int i = qMax(fractionDigits, 0); i < 6; ++i)
        micro *= 10;
    const qint64 offset = whole * 1000000 + micro;
    if (offset < lastOffsetUs) {
        fail(QStringLiteral("time goes backwards (%1 after %2)").arg(seconds(offset), seconds(lastOffsetUs)));
        return false;
    }

    const QByteArray direction = QByteArray::fromRawData(timeEnd + 1, 2);
    if (direction != "tx" && direction != "rx") {
        fail(QStringLiteral("unknown direction \"%1\" (tx or rx)").arg(QString::fromLatin1(direction)));
        return false;
    }

    const char *hex = timeEnd + 4;
    const int digits = int(end - hex);
    if (digits % 2 != 0) {
        fail(QStringLiteral("bad hex: odd number of digits"));
        return false;
    }
    event.bytes.resize(digits / 2);
    char *out = event.bytes.data();
    for (int i = 0; i < digits; i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            fail(QStringLiteral("bad hex \"%1\" at column %2")
                     .arg(QString::fromLatin1(hex + i, high < 0 ? 1 : 2)).arg(int(hex - p) + i + 1));
            return false;
        }
        out[i / 2] = char(high << 4 | low);
    }
    lastOffsetUs = offset;
    event.offsetUs = offset;
    event.direction = direction == "tx" ? CaptureDirection::Tx : CaptureDirection::Rx;
    event.line = lineNumber;
    return true;
}
