// Capture of the line through a real serial port on a pseudo-terminal, as the
// window's menu starts and stops it: every write and read is kept as it went
// and written out while the line runs. (A failed write stopping only the
// capture is tst_cli_faults' "capture on a full disk".)

#include "linkfixture.h"

#include "protocol/capturefile.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QtTest>

namespace {

struct Played {
    QByteArray tx, rx;
    int rxLines = 0;
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
        p.rxLines += e.direction == CaptureDirection::Rx;
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
    // The menu asks for the file and starts (a file it cannot make is named
    // with the system's reason), the status bar shows the capture. Frames
    // come cut into pieces: the capture keeps the bytes as they were read,
    // and what went out, written while the line runs; stopping closes it.
    void windowMenu()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("window.txt"));
        LinkFixture live;
        live.sim.setRateHz(100);
        live.sim.setSplitFrames(true);
        QVERIFY(live.openPort());
        QByteArray received;
        connect(&live.window->moduleLink(), &ModuleLink::framesReceived, this,
                [&received](const QVector<QByteArray> &frames) {
                    for (const QByteArray &f : frames)
                        received += f;
                });
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
        live.click("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 50 * 11, 20000);
        // Written while the line runs, not only on stop.
        QTRY_VERIFY_WITH_TIMEOUT(readCapture(path).rx.size() >= 50 * 11, 5000);
        live.click("stopButton");
        QTest::qWait(300);  // frames still under way
        action(live, "action_stopCapture")->trigger();
        QVERIFY(action(live, "action_startCapture")->isEnabled());
        QVERIFY(!shown().contains(QStringLiteral("记录中：") + path));
        const Played p = readCapture(path);
        QCOMPARE(p.tx, live.sim.receivedBytes());
        QCOMPARE(p.rx.left(received.size()), received);  // and perhaps the start of a frame cut off
        QVERIFY(p.rx.size() - received.size() < 11);
        QVERIFY(p.rxLines > received.size() / 11);  // reads of pieces, each a line
    }
};

QTEST_MAIN(TestLineCapture)
#include "tst_linecapture.moc"
