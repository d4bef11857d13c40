// Measurement frames as a tester watches them through the window: readouts
// and frame rate, a stream followed as it comes and nothing drawn after it,
// and a run longer than the views hold, whose saved logs still have every
// line, with its trigger counters.

#include "linkfixture.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QtTest>

namespace {
QStringList fileLines(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
}

// Paint events anywhere in the program.
struct PaintCounter : QObject {
    int count = 0;
    PaintCounter() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override { return count += event->type() == QEvent::Paint, false; }
};
}  // namespace

class MeasurementsTest : public QObject
{
    Q_OBJECT

private slots:
    // The first frame after a pause is on screen as soon as its read is
    // handled; only 0x81 frames set the rate (here at most 20 frames/s, as
    // they come 50 ms apart).
    void frameIsShown_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("values");  // distance, amplitude, temperature, ambient, current
        QTest::addColumn<bool>("setsRate");
        QTest::newRow("0x81") << hex("89 81 74 0A AB 0C 2F 67 00 01 98") << "02676,03243,47,0103,1, "
                              << QStringList{"2676", "3243", "47", "103", "1"} << true;
        // Words 1, 2345, 678, 90, -1, -10, 3, 4, 5, 6, 7, -32768, 9, 10, -2.
        QTest::newRow("0x82") << fixedLengthFrame(
            0x82, hex("0100 2909 a602 5a00 ffff f6ff 0300 0400 0500 0600 0700 0080 0900 0a00 feff"))
                              << "00001,02345,00678,0090,-0001,-010,3,04,05,06,7,-32768,000009,000010,-00002,"
                              << QStringList{"2345", "678", "-10", "90", "3"} << false;
    }
    void frameIsShown()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, line);
        QFETCH(QStringList, values);
        QFETCH(bool, setsRate);
        LinkFixture link;
        QVERIFY(link.openPort());
        QList<QStringList> shownAtRead;
        QObject::connect(&link.window->moduleLink(), &ModuleLink::framesReceived, link.window.get(), [&] {
            shownAtRead << QStringList{link.text("label_DIST"), link.text("label_AMP"), link.text("label_TEMP"),
                                       link.text("label_INT"), link.text("label_STATUS")}
                        << link.textLog();
        });
        link.sim.writeRaw(frame);
        QTRY_COMPARE_WITH_TIMEOUT(shownAtRead.size(), 2, 5000);
        QCOMPARE(shownAtRead, (QList<QStringList>{values, {line}}));
        QTest::qWait(50);
        link.sim.writeRaw(frame);
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog(), QStringList({line, line}), 5000);
        QCOMPARE(link.text("totalValue"), QStringLiteral("0"));  // trigger test off
        const QString rate = link.widget<QStatusBar>("statusbar")->currentMessage();
        QVERIFY2((rate.toDouble() > 0) == setsRate && rate.toDouble() <= 20.5, qPrintable(rate));
    }

    // At 100 frames/s the readout follows the stream, not only its end; once
    // frames stop, the last is shown and nothing is drawn at all.
    void streamIsFollowedThenNothingDrawn()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        QSet<QString> shownWhileStreaming;
        QObject::connect(&link.window->moduleLink(), &ModuleLink::framesReceived, link.window.get(),
                         [&] { shownWhileStreaming << link.text("label_DIST"); });
        quint16 sent = 0;
        QTimer pace;
        QObject::connect(&pace, &QTimer::timeout, [&] {
            link.sim.writeRaw(measurementFrame(++sent));
            if (sent == 60)
                pace.stop();
        });
        pace.start(10);
        QTRY_COMPARE_WITH_TIMEOUT(link.text("label_DIST"), QStringLiteral("60"), 10000);
        QVERIFY2(shownWhileStreaming.size() >= 5, qPrintable(QStringList(shownWhileStreaming.values()).join(' ')));
        QTest::qWait(200);  // the paints of the last display
        PaintCounter paints;
        QTest::qWait(500);
        QCOMPARE(paints.count, 0);
        QVERIFY(!link.window->findChild<QTimer *>(QStringLiteral("displayTimer"))->isActive());
    }

    // A run longer than the views hold, every option on.
    void longRunSavesEveryLine()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        QTemporaryDir dir;
        int asked = 0;
        QString path = dir.filePath("missing/text.csv");
        link.window->askSaveFileName = [&](QWidget *, const QString &, const QString &, const QString &) {
            return ++asked, path;
        };
        for (const char *option : {"timeLogcheckBox", "logOption", "chartcheckBox"})
            link.click(option);
        // Set after the trigger test is on, as a tester does. Every frame
        // leaves the band 65535 +- 0, so the trigger-test log has them all.
        link.widget<QLineEdit>("setValue")->setText("65535");
        link.widget<QLineEdit>("thresholdValue")->setText("0");
        link.sim.setFixedReading(SensorReading{0, 3243, 47, 103, 1});
        link.sim.setCountingDistance(true);
        const int frames = LogView::MaxViewLines + 1200;
        link.sim.streamFrames(frames);
        QTRY_COMPARE_WITH_TIMEOUT(link.text("totalValue"), QString::number(frames), 60000);
        QCOMPARE((QStringList{link.text("D_trigger"), link.text("deviationValue")}),
                 (QStringList{QString::number(frames), QString::number(65535 - (frames - 1))}));

        // A save that fails says so, naming the file.
        link.click("saveLog");
        QVERIFY2(link.closer.texts.value(0).contains(path), qPrintable(link.closer.texts.value(0)));
        path = dir.filePath("text.csv");
        link.click("saveLog");
        const QStringList text = fileLines(path);
        path = dir.filePath("test.csv");
        link.click("saveTestLog");
        const QStringList test = fileLines(path);
        QVERIFY(text.size() == frames && test.size() == frames);
        const QRegularExpression stamp(QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d)\\.\\d\\d\\d,(.*)$"));
        for (int i = 0; i < frames; ++i) {
            const QRegularExpressionMatch m = stamp.match(text.value(i));
            QCOMPARE(m.captured(2), QString::asprintf("%05d,03243,47,0103,1, ", i));
            QCOMPARE(test.value(i), m.captured(1) + QLatin1Char(',') + text.value(i));
        }

        // Cleared, there is nothing to save.
        for (const char *button : {"pButtonClean", "clearTestLog", "saveLog", "saveTestLog"})
            link.click(button);
        QCOMPARE(asked, 3);
        QCOMPARE(link.closer.texts.mid(1), QStringList({"文本框没有信息，无法保存", "文本框没有信息，无法保存"}));
        QVERIFY(link.textLog().isEmpty() && link.testLog().isEmpty());
        link.click("tempReset");  // restarts the counters
        link.sim.writeRaw(measurementFrame(1));
        QTRY_COMPARE_WITH_TIMEOUT(link.text("totalValue"), QStringLiteral("1"), 5000);
        QCOMPARE(QList<int>({int(link.textLog().size()), int(link.testLog().size())}), QList<int>({1, 1}));
    }
};

QTEST_MAIN(MeasurementsTest)
#include "tst_measurements.moc"
