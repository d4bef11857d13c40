#ifndef COMMANDPARSER_H
#define COMMANDPARSER_H

// Cuts the bytes the host writes into checked command frames.
//
// A frame is either plain (56 code N data X, N+4 bytes) or addressed
// (56 id code N data X, N+5 bytes); nothing on the wire says which, so both
// readings are tried, the shorter first. A reading counts when its check byte
// is right and it is followed by the next header or by nothing yet; a checked
// reading followed by anything else is used only when no other reading fits.
// Bytes in front of a header are skipped. A header whose frame cannot be
// completed gives way as soon as a later header starts frames that run to the
// end of what has arrived, so one bad or truncated command never holds up
// the commands behind it. Two readings of the same length (an addressed
// 0x01 command) are decided by setPreferAddressed: a module on a bus takes the
// addressed one.

#include <QByteArray>
#include <QVector>
#include <optional>

struct CommandFrame {
    QByteArray bytes;                // the whole frame as received
    std::optional<quint8> deviceId;  // set for the addressed form
    quint8 code = 0;
    QByteArray data;
};

class CommandParser
{
public:
    QVector<CommandFrame> feed(const QByteArray &bytes);
    void clear() { buffer.clear(); }
    void setPreferAddressed(bool on) { preferAddressed = on; }
    const QByteArray &pending() const { return buffer; }

private:
    enum class Fit { Complete, Incomplete, Invalid };
    struct Match {
        Fit fit = Fit::Invalid;
        int length = 0;
        bool addressed = false;
    };

    Match matchAt(int pos) const;
    bool framesRunToEnd(int pos) const;
    int laterResyncPoint() const;
    CommandFrame take(const Match &match);

    QByteArray buffer;
    bool preferAddressed = false;
};

#endif // COMMANDPARSER_H
