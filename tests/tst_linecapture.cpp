// Capture of the line through a real serial port on a pseudo-terminal: every
// write and read is kept as it went and written out while the line runs, and
// the window's menu starts and stops it. (A failed write stopping only the
// capture is tst_cli_faults' "capture on a full disk".)

#include "linkfixture.h"

#include "chart/chartform.h"
#include "protocol/capturefile.h"
#include "protocol/commands.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Played {
    QByteArray tx, rx;
    int lines = 0;
};

Played readCapture(const QString &path)
{
    Played p;
    CaptureReader reader;
    if (!reader.open(path))
        return p;
    CaptureEvent e;
    while (reader.next(e) == CaptureReader::Result::Event) {
        (e.direction == CaptureDirection::Tx ? p.tx : p.rx) += e.bytes;
        ++p.lines;
    }
    return p;
}

QAction *action(const LinkFixture &f, const char *name)
{
    return f.window->findChild<QAction *>(QLatin1String(name));
}

}  // namespace

class TestLineCapture : public QObject
{
    Q_OBJECT

private slots:
    // Frames cut into pieces: the capture keeps the bytes as they were read,
    // and what went out, and writes them before it is stopped.
    void keepsEveryReadAndWrite()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line.txt"));
        SimulatedModule sim;
        sim.setSplitFrames(true);
        QVERIFY(sim.open());
        ModuleLink link;
        link.setAnswerTimeout(5000);
        QVERIFY(link.open(sim.portName(), 115200));
        QVERIFY(link.capture().start(path, sim.portName(), 115200));
        QByteArray received;
        connect(&link, &ModuleLink::framesReceived, this, [&received](const QVector<QByteArray> &frames) {
            for (const QByteArray &f : frames)
                received += f;
        });

        QCOMPARE(link.send(commandFrame(Command::Single), Expect::anyFrame()).result, ModuleLink::SendResult::Answered);
        sim.streamFrames(300);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 301 * 11, 20000);
        // Written while the line runs, not only on stop.
        QTRY_COMPARE_WITH_TIMEOUT(readCapture(path).rx, received, 5000);

        QCOMPARE(link.send(commandFrame(Command::Stop), Expect::anyFrame()).result, ModuleLink::SendResult::Answered);
        link.capture().stop();
        const Played p = readCapture(path);
        QCOMPARE(p.tx, sim.receivedBytes());
        QCOMPARE(p.rx, received);
        QVERIFY(p.lines > 302);  // reads of pieces, each a line
    }

    // The menu asks for the file and starts (a file it cannot make is named
    // with the system's reason), the status bar shows the capture, stopping
    // closes the file with what went out and came in.
    void windowMenu()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("window.txt"));
        LinkFixture live;
        live.sim.setRateHz(100);
        QVERIFY(live.openPort());
        const QString missing = dir.filePath(QStringLiteral("missing/window.txt"));
        for (const QString &asked : {missing, path}) {
            live.window->askSaveFileName = [asked](QWidget *, const QString &, const QString &, const QString &) {
                return asked;
            };
            action(live, "action_startCapture")->trigger();
        }
        QCOMPARE(live.closer.texts,
                 QStringList{QStringLiteral("无法创建记录文件“%1”：No such file or directory").arg(missing)});
        const auto shown = [&live] {
            QStringList texts;
            for (const QLabel *l : live.window->statusBar()->findChildren<QLabel *>())
                texts << (l->isVisible() ? l->text() : QString());
            return texts;
        };
        QVERIFY2(shown().contains(QStringLiteral("记录中：") + path), qPrintable(shown().join('|')));
        live.click("chartcheckBox");
        live.click("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(live.chart->sampleCount(0) >= 50, 20000);
        live.click("stopButton");
        QTest::qWait(300);  // frames still under way
        action(live, "action_stopCapture")->trigger();
        QVERIFY(action(live, "action_startCapture")->isEnabled());
        QVERIFY(!shown().contains(QStringLiteral("记录中：") + path));
        const Played p = readCapture(path);
        QCOMPARE(p.tx, live.sim.receivedBytes());
        QVERIFY(p.rx.size() >= live.chart->sampleCount(0) * 11);
    }
};

QTEST_MAIN(TestLineCapture)
#include "tst_linecapture.moc"
