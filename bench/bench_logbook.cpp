// An 8-hour stream's logs in LogBooks: 2.88 million frames (100 frames/s for
// 8 hours), each giving a time-stamped measurement line to the text log and a
// line to the trigger-test log. Prints the memory kept per frame (RSS growth
// after malloc_trim, and the books' own figure), microseconds per append, the
// time to save the text log and to clear it, and checks that the saved file
// holds exactly the lines fed.
//
// Usage: bench_logbook [frames [locale encoding, e.g. GB18030; Qt 5 only]]

#include "log/logbook.h"
#include "log/logfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

qint64 residentBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Lines as a module at rest on a target gives them: small noise on
// distance, amplitude and ambient light, a slowly rising temperature.
class LineMaker
{
public:
    void make(int frame, QString *textLine, QString *triggerLine)
    {
        const QTime time = QTime(8, 0).addMSecs(frame * 10);
        const QString measured = QStringLiteral("%1,%2,%3,%4,1, ")
                                     .arg(2676 + int(next() % 31) - 15, 5, 10, QLatin1Char('0'))
                                     .arg(3243 + int(next() % 81) - 40, 5, 10, QLatin1Char('0'))
                                     .arg(40 + frame / 400000)
                                     .arg(100 + int(next() % 11), 4, 10, QLatin1Char('0'));
        *textLine = time.toString(QStringLiteral("hh:mm:ss.zzz,")) + measured;
        *triggerLine = time.toString(QStringLiteral("hh:mm:ss,")) + *textLine;
    }

private:
    quint32 next()
    {
        m_seed = m_seed * 1664525u + 1013904223u;
        return m_seed >> 8;
    }
    quint32 m_seed = 12345;
};

QByteArray fileHash(const QString &path, qint64 *size)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    *size = -1;
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    *size = file.size();
    return hash.result();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? QByteArray(argv[1]).toInt() : 2880000;
    constexpr int batch = 10000;

    LogBook textLog;
    LogBook triggerLog;
    LineMaker maker;
    QCryptographicHash fed(QCryptographicHash::Sha1);
    const QByteArray lineFeed("\n");
    qint64 appendNs = 0;
    qint64 textChars = 0, triggerChars = 0;

    const qint64 rssBefore = residentBytes();
    for (int done = 0; done < frames;) {
        const int n = qMin(batch, frames - done);
        QStringList text, trigger;
        text.reserve(n);
        trigger.reserve(n);
        for (int i = 0; i < n; ++i) {
            QString t, g;
            maker.make(done + i, &t, &g);
            if (done + i > 0)
                fed.addData(lineFeed);
            fed.addData(t.toUtf8());
            textChars += t.size();
            triggerChars += g.size();
            text << t;
            trigger << g;
        }
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < n; ++i) {
            textLog.append(text.at(i));
            triggerLog.append(trigger.at(i));
        }
        appendNs += timer.nsecsElapsed();
        done += n;
    }
    const qint64 rssAfter = residentBytes();

    std::printf("frames                         %d (lines of %.1f and %.1f characters)\n", frames,
                double(textChars) / frames, double(triggerChars) / frames);
    std::printf("append, both logs              %.3f us per frame\n", appendNs / 1e3 / frames);
    std::printf("kept by the books              text %.1f B, trigger %.1f B, together %.1f B per frame\n",
                double(textLog.retainedBytes()) / frames, double(triggerLog.retainedBytes()) / frames,
                double(textLog.retainedBytes() + triggerLog.retainedBytes()) / frames);
    std::printf("RSS growth                     %.1f MB, %.1f B per frame\n",
                (rssAfter - rssBefore) / 1e6, double(rssAfter - rssBefore) / frames);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ZeltoTOF_log.csv"));
    QString error;
    QElapsedTimer timer;
    timer.start();
    const bool saved = writeLogFile(path, textLog, &error);
    const double saveMs = timer.nsecsElapsed() / 1e6;
    qint64 size = 0;
    const bool same = saved && fileHash(path, &size) == fed.result();
    std::printf("save text log                  %.0f ms, %lld bytes (text %lld bytes), %s%s\n", saveMs,
                size, textLog.byteCount(), same ? "identical to the lines fed" : "DIFFERS from the lines fed",
                saved ? "" : qPrintable(QStringLiteral(": ") + error));

    timer.restart();
    textLog.clear();
    const double clearMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    triggerLog.clear();
    const double clearTriggerMs = timer.nsecsElapsed() / 1e6;
    std::printf("clear                          text log %.2f ms, trigger log %.2f ms\n", clearMs, clearTriggerMs);
    std::printf("RSS after clearing             %.1f MB above the start\n", (residentBytes() - rssBefore) / 1e6);
    return same ? 0 : 1;
}
