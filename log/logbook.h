#ifndef LOGBOOK_H
#define LOGBOOK_H

// A log's lines since its last clear, held compactly so that a whole shift of
// streaming (100 lines a second for hours) stays in memory at a few bytes per
// line: the newest lines as UTF-8 in an open chunk, every full chunk
// (about 64 KiB) zlib-compressed. Memory grows chunk by chunk; nothing is
// ever copied as one block.
//
// The log's text is its lines joined by single line feeds, with no line feed
// after the last one. A line that itself holds line feeds counts as that many
// lines plus one, as it does once shown in a text view.
//
// A book made with a line limit keeps at least the newest `keepNewest` lines
// and drops older ones a whole chunk at a time (for a log that is only shown,
// never saved); its counts and text then cover the lines it kept.
//
// Not thread-safe; Qt Core only.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class LogBook
{
public:
    // keepNewest == 0: keep every line until clear().
    explicit LogBook(qint64 keepNewest = 0);

    void append(const QString &line);
    void append(const QStringList &lines);
    void clear();

    // No line appended since the last clear. A book holding one empty line
    // is not empty but has no text (byteCount() == 0).
    bool isEmpty() const { return m_lines == 0; }
    qint64 lineCount() const { return m_lines; }
    // Size of the joined text in UTF-8.
    qint64 byteCount() const;
    // Heap bytes the book holds for its lines (chunks and their index).
    qint64 retainedBytes() const;

    // Hands the joined text, in UTF-8, to `piece` in order, piece by piece
    // (valid during the call only); every piece ends at the end of a line, so
    // each one decodes on its own.
    // Stops early and returns false when `piece` returns false (or a chunk
    // cannot be read back); returns true once the whole text was handed over.
    bool forEachPiece(const std::function<bool(const QByteArray &utf8)> &piece) const;

    // The newest n lines (fewer when the book holds fewer), oldest first.
    QStringList lastLines(int n) const;

    // Chunk size at which the open chunk is compressed.
    static constexpr int ChunkBytes = 64 * 1024;

private:
    struct Chunk {
        QByteArray compressed; // qCompress of the chunk's lines, each ending in '\n'
        qint64 rawBytes;
        qint64 lines;
    };
    void appendUtf8(const QString &line);
    void closeChunk();
    void dropOldChunks();

    QVector<Chunk> m_chunks;
    QByteArray m_open; // newest lines, each ending in '\n'
    qint64 m_openLines = 0;
    qint64 m_lines = 0;
    qint64 m_rawBytes = 0; // every line with its '\n'
    qint64 m_keepNewest;
};

#endif // LOGBOOK_H
