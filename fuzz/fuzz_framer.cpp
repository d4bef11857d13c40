// The framer against a simple reference: the input describes intact frames
// (no 0x89 after their header) with line damage between them (any bytes,
// 0x89 included, as long as no stretch of it holds a whole checked
// candidate, which nobody could tell from a frame), and the read sizes.
// Every intact frame must come out, in order, and nothing else, however the
// bytes are cut into reads.

#include "protocol/frame.h"
#include "protocol/responseframer.h"

#include <QByteArray>
#include <QVector>

#include <cstdio>
#include <cstdlib>

namespace {

class Input
{
public:
    Input(const uint8_t *data, size_t size) : d(data), n(size) {}
    bool atEnd() const { return pos >= n; }
    quint8 next() { return pos < n ? d[pos++] : 0; }

private:
    const uint8_t *d;
    size_t n;
    size_t pos = 0;
};

quint8 notHeader(quint8 b)
{
    return b == ResponseHeader ? quint8(0x88) : b;
}

QByteArray intactFrame(Input &in)
{
    QByteArray f(1, char(ResponseHeader));
    const quint8 kind = in.next();
    int data;
    if (kind % 3 == 0) {
        f.append(char(0x81));
        data = 8;
    } else if (kind % 3 == 1) {
        f.append(char(0x82));
        data = 30;
    } else {
        quint8 code = notHeader(in.next());
        if (code == 0x81 || code == 0x82)
            code = 0x55;
        data = in.next() % 80;
        f.append(char(code)).append(char(data));
        if (data == 0 && code == 0)
            f[1] = char(0x01);  // 89 00 00 would check as 89
    }
    for (int i = 0; i < data; ++i)
        f.append(char(notHeader(in.next())));
    f.append('\0');
    setFrameXor(f.data(), quint16(f.size()));
    if (quint8(f.back()) == ResponseHeader) {
        // Change the last byte in front of the check so the check is no 0x89.
        const int last = f.size() - 2;
        f[last] = char(quint8(f[last]) == 0x01 ? 0x02 : 0x01);
        setFrameXor(f.data(), quint16(f.size()));
    }
    return f;
}

// Turns headers of whole checked candidates inside the noise into plain
// bytes, until none is left (a change may make an earlier candidate check).
void defuse(QByteArray &noise)
{
    for (bool changed = true; changed;) {
        changed = false;
        for (int k = 0; k + 3 <= noise.size(); ++k) {
            if (quint8(noise[k]) != ResponseHeader)
                continue;
            const int len = expectedFrameLength(quint8(noise[k + 1]), quint8(noise[k + 2]));
            if (k + len <= noise.size() && checkFrameXor(noise.constData() + k, len)) {
                noise[k] = char(0x88);
                changed = true;
            }
        }
    }
}

QVector<QByteArray> feedAll(const QByteArray &stream, const QByteArray &reads)
{
    ResponseFramer framer;
    QVector<QByteArray> out;
    int pos = 0;
    int i = 0;
    while (pos < stream.size()) {
        const int want = reads.isEmpty() ? stream.size() : 1 + quint8(reads[i++ % reads.size()]) % 64;
        const int take = qMin(want, stream.size() - pos);
        out += framer.feed(stream.mid(pos, take));
        pos += take;
    }
    out += framer.giveUpPartial();
    if (framer.hasPartial())
        std::abort();
    return out;
}

void fail(const char *what, const QByteArray &stream)
{
    std::fprintf(stderr, "%s\nstream: %s\n", what, stream.toHex(' ').constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    QByteArray reads;
    for (int i = in.next() % 8; i > 0; --i)
        reads.append(char(in.next()));

    QByteArray stream;
    QVector<QByteArray> frames;
    QByteArray noise;
    while (!in.atEnd() && frames.size() < 64) {
        const quint8 op = in.next();
        if (op % 2 == 0) {
            defuse(noise);
            stream += noise;
            noise.clear();
            frames += intactFrame(in);
            stream += frames.back();
        } else {
            for (int k = op / 2 % 16; k >= 0; --k)
                noise.append(char(in.next()));
        }
    }
    defuse(noise);
    stream += noise;

    if (feedAll(stream, QByteArray()) != frames)
        fail("whole stream: frames lost or made up", stream);
    if (feedAll(stream, reads) != frames)
        fail("stream in reads: frames lost or made up", stream);
    return 0;
}
