#include "logbook.h"

namespace {
// zlib's fastest level: measurement lines still shrink about fivefold, and a
// chunk is packed in well under a millisecond.
constexpr int CompressionLevel = 1;

int lineFeeds(const QString &line)
{
    return line.count(QLatin1Char('\n'));
}
} // namespace

LogBook::LogBook(qint64 keepNewest) : m_keepNewest(keepNewest < 0 ? 0 : keepNewest) {}

void LogBook::append(const QString &line)
{
    appendUtf8(line);
    if (m_open.size() >= ChunkBytes)
        closeChunk();
}

void LogBook::append(const QStringList &lines)
{
    for (const QString &line : lines)
        append(line);
}

void LogBook::appendUtf8(const QString &line)
{
    if (m_open.capacity() < ChunkBytes)
        m_open.reserve(ChunkBytes + 1024);

    // Log lines are almost always ASCII: copy them straight in, and only
    // take the general conversion for the others.
    const int at = m_open.size();
    const int length = line.size();
    m_open.resize(at + length + 1);
    char *out = m_open.data() + at;
    const QChar *in = line.constData();
    int feeds = 0;
    bool ascii = true;
    for (int i = 0; i < length && ascii; ++i) {
        const ushort u = in[i].unicode();
        ascii = u < 0x80;
        feeds += u == '\n';
        out[i] = char(u);
    }
    if (ascii) {
        out[length] = '\n';
    } else {
        m_open.resize(at);
        m_open.append(line.toUtf8());
        m_open.append('\n');
        feeds = lineFeeds(line);
    }
    m_openLines += 1 + feeds;
    m_lines += 1 + feeds;
    m_rawBytes += m_open.size() - at;
}

void LogBook::closeChunk()
{
    if (m_open.isEmpty())
        return;
    Chunk chunk;
    chunk.compressed = qCompress(m_open, CompressionLevel);
    chunk.compressed.squeeze(); // qCompress leaves the worst-case capacity behind
    chunk.rawBytes = m_open.size();
    chunk.lines = m_openLines;
    m_chunks.append(chunk);
    m_open.resize(0); // keeps the reserved capacity for the next chunk
    m_openLines = 0;
    dropOldChunks();
}

void LogBook::dropOldChunks()
{
    if (m_keepNewest == 0)
        return;
    int drop = 0;
    while (drop < m_chunks.size() && m_lines - m_chunks[drop].lines >= m_keepNewest) {
        m_lines -= m_chunks[drop].lines;
        m_rawBytes -= m_chunks[drop].rawBytes;
        ++drop;
    }
    if (drop > 0)
        m_chunks.remove(0, drop);
}

void LogBook::clear()
{
    m_chunks = QVector<Chunk>();
    m_open = QByteArray();
    m_openLines = 0;
    m_lines = 0;
    m_rawBytes = 0;
}

qint64 LogBook::byteCount() const
{
    return m_lines == 0 ? 0 : m_rawBytes - 1;
}

qint64 LogBook::retainedBytes() const
{
    qint64 bytes = m_open.capacity() + qint64(m_chunks.capacity()) * qint64(sizeof(Chunk));
    for (const Chunk &chunk : m_chunks)
        bytes += chunk.compressed.capacity();
    return bytes;
}

bool LogBook::forEachPiece(const std::function<bool(const QByteArray &utf8)> &piece) const
{
    for (int i = 0; i < m_chunks.size(); ++i) {
        QByteArray text = qUncompress(m_chunks[i].compressed);
        if (text.size() != m_chunks[i].rawBytes)
            return false;
        if (i == m_chunks.size() - 1 && m_open.isEmpty())
            text.chop(1); // no line feed after the last line
        if (!piece(text))
            return false;
    }
    if (!m_open.isEmpty()) {
        const QByteArray text = QByteArray::fromRawData(m_open.constData(), m_open.size() - 1);
        if (!piece(text))
            return false;
    }
    return true;
}

QStringList LogBook::lastLines(int n) const
{
    if (n <= 0 || m_lines == 0)
        return QStringList();

    // Newest blocks first until they hold n lines, then oldest first.
    QVector<QByteArray> blocks{m_open};
    qint64 lines = m_openLines;
    for (int i = m_chunks.size() - 1; i >= 0 && lines < n; --i) {
        blocks.prepend(qUncompress(m_chunks[i].compressed));
        lines += m_chunks[i].lines;
    }
    QByteArray text;
    for (const QByteArray &block : blocks)
        text.append(block);
    text.chop(1);

    // Start after the n-th line feed from the end.
    int start = text.size();
    int found = 0;
    while (found < n) {
        start = start > 0 ? text.lastIndexOf('\n', start - 1) : -1;
        if (start < 0)
            break;
        ++found;
    }
    return QString::fromUtf8(text.constData() + start + 1, text.size() - start - 1)
        .split(QLatin1Char('\n'));
}
