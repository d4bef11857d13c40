#include "commandparser.h"

#include "protocol/frame.h"

#include <algorithm>
#include <array>

namespace {
quint8 byteAt(const QByteArray &bytes, int index)
{
    return quint8(bytes.at(index));
}
}

CommandParser::Match CommandParser::matchAt(int pos) const
{
    const int available = buffer.size() - pos;
    struct Reading {
        bool addressed;
        int length;  // 0 while the length byte has not arrived
    };
    std::array<Reading, 2> readings{{
        {false, available >= 3 ? byteAt(buffer, pos + 2) + 4 : 0},
        {true, available >= 4 ? byteAt(buffer, pos + 3) + 5 : 0},
    }};
    std::sort(readings.begin(), readings.end(), [this](const Reading &a, const Reading &b) {
        if ((a.length == 0) != (b.length == 0))
            return b.length == 0;
        // Equally long (56 id 01 00 X is also 56 code=id N=1 00 X): a module
        // on a bus takes the addressed reading.
        if (a.length == b.length)
            return a.addressed == preferAddressed && b.addressed != preferAddressed;
        return a.length < b.length;
    });

    std::optional<Match> fallback;
    for (const Reading &reading : readings) {
        if (reading.length == 0 || reading.length > available) {
            if (fallback)
                return *fallback;
            return {Fit::Incomplete, 0, false};
        }
        if (!checkFrameXor(buffer.constData() + pos, reading.length))
            continue;
        const Match match{Fit::Complete, reading.length, reading.addressed};
        const int end = pos + reading.length;
        if (end == buffer.size() || byteAt(buffer, end) == CommandHeader)
            return match;
        if (!fallback)
            fallback = match;
    }
    if (fallback)
        return *fallback;
    return {Fit::Invalid, 0, false};
}

bool CommandParser::framesRunToEnd(int pos) const
{
    while (pos < buffer.size()) {
        if (byteAt(buffer, pos) != CommandHeader)
            return false;
        const Match match = matchAt(pos);
        if (match.fit != Fit::Complete)
            return false;
        pos += match.length;
    }
    return true;
}

int CommandParser::laterResyncPoint() const
{
    for (int pos = 1; pos < buffer.size(); ++pos) {
        if (byteAt(buffer, pos) == CommandHeader && framesRunToEnd(pos))
            return pos;
    }
    return -1;
}

CommandFrame CommandParser::take(const Match &match)
{
    CommandFrame frame;
    frame.bytes = buffer.left(match.length);
    const int codeIndex = match.addressed ? 2 : 1;
    if (match.addressed)
        frame.deviceId = byteAt(frame.bytes, 1);
    frame.code = byteAt(frame.bytes, codeIndex);
    frame.data = frame.bytes.mid(codeIndex + 2, match.length - codeIndex - 3);
    buffer.remove(0, match.length);
    return frame;
}

QVector<CommandFrame> CommandParser::feed(const QByteArray &bytes)
{
    buffer.append(bytes);
    QVector<CommandFrame> frames;
    while (!buffer.isEmpty()) {
        if (byteAt(buffer, 0) != CommandHeader) {
            const int next = buffer.indexOf(char(CommandHeader));
            buffer.remove(0, next < 0 ? buffer.size() : next);
            continue;
        }
        const Match match = matchAt(0);
        if (match.fit == Fit::Complete) {
            frames.append(take(match));
        } else if (match.fit == Fit::Invalid) {
            buffer.remove(0, 1);
        } else {
            const int resync = laterResyncPoint();
            if (resync < 0)
                break;
            buffer.remove(0, resync);
        }
    }
    return frames;
}
