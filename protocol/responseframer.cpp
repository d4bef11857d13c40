#include "responseframer.h"

#include "protocol/frame.h"

#include <QLoggingCategory>

#include <cstring>
#include <vector>

Q_LOGGING_CATEGORY(lcFramer, "korvani.framer", QtWarningMsg)

namespace {

enum class Decision { Accept, Veto, Wait };

// What follows a candidate: a 0x89, another byte, or nothing yet. Until the
// line is given up as quiet, the end of what has arrived is not taken as
// evidence: a read may end anywhere, so a decision that hangs on it waits
// for the next byte.
enum class Follow { Header, Other, Unknown };

// The bytes held plus the new ones, with a running XOR so that any
// candidate checks in constant time.
class Window
{
public:
    Window(const QByteArray &bytes, bool final)
        : d(reinterpret_cast<const quint8 *>(bytes.constData()))
        , n(bytes.size())
        , final(final)
        , runningXor(size_t(n) + 1, 0)
    {
        for (int i = 0; i < n; ++i)
            runningXor[size_t(i) + 1] = runningXor[size_t(i)] ^ d[i];
    }

    int size() const { return n; }
    bool isHeader(int i) const { return d[i] == ResponseHeader; }

    // Next 0x89 at or after `from` and before `to`, or `to`.
    int nextHeader(int from, int to) const
    {
        if (from >= to)
            return to;
        const void *hit = std::memchr(d + from, ResponseHeader, size_t(to - from));
        return hit ? int(static_cast<const quint8 *>(hit) - d) : to;
    }

    // Length claimed by the candidate at `at`, or 0 while bytes 1 and 2 are missing.
    int length(int at) const
    {
        return n - at < 3 ? 0 : expectedFrameLength(d[at + 1], d[at + 2]);
    }
    bool complete(int at, int len) const { return len > 0 && at + len <= n; }
    bool checked(int at, int len) const
    {
        return complete(at, len)
               && (runningXor[size_t(at + len - 1)] ^ runningXor[size_t(at)]) == d[at + len - 1];
    }
    Follow followed(int end) const
    {
        if (end == n)
            return final ? Follow::Header : Follow::Unknown;
        return d[end] == ResponseHeader ? Follow::Header : Follow::Other;
    }
    // Whether the candidate at `at` is confirmed; Unknown while it is
    // incomplete or ends where the bytes end.
    Follow confirmed(int at) const
    {
        const int len = length(at);
        if (!complete(at, len))
            return final ? Follow::Other : Follow::Unknown;
        return checked(at, len) ? followed(at + len) : Follow::Other;
    }
    // Whether some candidate starting in (at, end) is confirmed.
    Follow contested(int at, int end) const
    {
        end = qMin(end, n);
        Follow result = Follow::Other;
        for (int h = nextHeader(at + 1, end); h < end; h = nextHeader(h + 1, end)) {
            const Follow c = confirmed(h);
            if (c == Follow::Header)
                return c;
            if (c == Follow::Unknown)
                result = c;
        }
        return result;
    }

    // The checked candidate at `at`, `len` bytes long: a frame, vetoed by an
    // inner candidate, or waiting until an inner candidate can be judged.
    Decision decide(int at, int len) const
    {
        const int end = at + len;
        const Follow self = followed(end);
        bool open = false;
        for (int q = nextHeader(at + 1, end); q < end; q = nextHeader(q + 1, end)) {
            const int innerLen = length(q);
            if (!complete(q, innerLen)) {
                // It may still veto, unless what it has holds a confirmed frame.
                if (!final && contested(q, n) != Follow::Header)
                    open = true;
                continue;
            }
            if (!checked(q, innerLen))
                continue;
            const Follow contest = contested(q, q + innerLen);
            if (contest == Follow::Header)
                continue;
            const int innerEnd = q + innerLen;
            const Follow inner = followed(innerEnd);
            bool vetoes = false;
            bool maybe = false;
            if (self == Follow::Other || innerEnd <= end || inner == Follow::Header)
                vetoes = true;
            else if (inner == Follow::Unknown)
                maybe = true;
            if (vetoes && contest == Follow::Other)
                return Decision::Veto;
            if (vetoes || maybe)
                open = true;
        }
        return open ? Decision::Wait : Decision::Accept;
    }

    QByteArray bytes(int at, int len) const
    {
        return QByteArray(reinterpret_cast<const char *>(d + at), len);
    }

private:
    const quint8 *d;
    int n;
    bool final;
    std::vector<quint8> runningXor;
};

} // namespace

QVector<QByteArray> ResponseFramer::feed(const QByteArray &bytes)
{
    buffer.append(bytes);
    return scan(false);
}

QVector<QByteArray> ResponseFramer::giveUpPartial()
{
    return scan(true);
}

// Walks the buffer once from its start (always a 0x89 between two calls, or
// empty) and keeps only the bytes from the first undecided candidate on.
QVector<QByteArray> ResponseFramer::scan(bool final)
{
    QVector<QByteArray> frames;
    const Window w(buffer, final);
    const int size = w.size();
    int pos = 0;

    while (pos < size) {
        if (!w.isHeader(pos)) {
            const int next = w.nextHeader(pos, size);
            skipped += quint64(next - pos);
            pos = next;
            continue;
        }
        const int len = w.length(pos);
        if (!w.complete(pos, len)) {
            if (!final)
                break;  // wait for the rest
            ++skipped;  // nothing more is coming: a stray header
            ++pos;
            continue;
        }
        if (!w.checked(pos, len)) {
            qCDebug(lcFramer, "XOR err");
            ++failedChecks;
            ++pos;
            continue;
        }
        const Decision decision = w.decide(pos, len);
        if (decision == Decision::Wait)
            break;
        if (decision == Decision::Veto) {
            ++skipped;
            ++pos;
            continue;
        }
        frames.append(w.bytes(pos, len));
        pos += len;
    }

    if (pos >= size)
        buffer.clear();
    else if (pos > 0)
        buffer.remove(0, pos);
    return frames;
}

void ResponseFramer::clear()
{
    buffer.clear();
}
