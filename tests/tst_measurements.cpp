// Measurement frames as a tester watches them: readouts, the text log, the
// trigger test, the chart, the frame rate, and saving the logs.

#include "linkfixture.h"

#include "chart/chartform.h"
#include "protocol/frame.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray extendedFrame(const QVector<quint16> &words)
{
    QByteArray frame(33, '\0');
    frame[0] = char(0x89);
    frame[1] = char(0x82);
    for (int i = 0; i < 15; ++i) {
        frame[2 + 2 * i] = char(words.value(i) & 0xFF);
        frame[3 + 2 * i] = char(words.value(i) >> 8);
    }
    setFrameXor(frame.data(), 33);
    return frame;
}

QStringList readouts(const LinkFixture &link)
{
    return {link.text("label_DIST"), link.text("label_AMP"), link.text("label_TEMP"),
            link.text("label_INT"), link.text("label_STATUS")};
}

struct SaveRequest {
    int calls = 0;
    QString caption, proposedName, filter;
    QString answer;
};

void answerSaveDialog(LinkFixture &link, SaveRequest *request)
{
    link.window->askSaveFileName = [request](QWidget *, const QString &caption,
                                             const QString &name, const QString &filter) {
        ++request->calls;
        request->caption = caption;
        request->proposedName = name;
        request->filter = filter;
        return request->answer;
    };
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class MeasurementsTest : public QObject
{
    Q_OBJECT

private slots:
    void measurementFrameIsShown()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(hex("89 81 74 0A AB 0C 2F 67 00 01 98"));
        QTRY_COMPARE(link.textLog(), QStringList{"02676,03243,47,0103,1, "});
        QCOMPARE(readouts(link), (QStringList{"2676", "3243", "47", "103", "1"}));
        QCOMPARE(link.hexLog(), QStringList{"Received:  89 81 74 0a ab 0c 2f 67 00 01 98"});

        link.sim.writeRaw(measurementFrame(65535, 0, 0xF6, 0, 0));
        link.sim.writeRaw(measurementFrame(7, 1, 2, 3, 4));
        QTRY_COMPARE(link.textLog().size(), 3);
        QCOMPARE(link.textLog()[1], QStringLiteral("65535,00000,246,0000,0, "));
        QCOMPARE(link.textLog()[2], QStringLiteral("00007,00001,02,0003,4, "));
        QCOMPARE(readouts(link), (QStringList{"7", "1", "2", "3", "4"}));
    }

    void extendedFrameIsShown()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE(link.textLog().size(), 1);
        QTest::qWait(20);
        link.sim.writeRaw(measurementFrame(1001));
        QTRY_VERIFY(!link.widget<QStatusBar>("statusbar")->currentMessage().isEmpty());
        const QString rate = link.widget<QStatusBar>("statusbar")->currentMessage();

        QVector<quint16> words{1, 2345, 678, 90, 0xFFFF, 0xFFF6, 3, 4, 5, 6, 7, 0x8000, 9, 10, 0xFFFE};
        link.sim.writeRaw(extendedFrame(words));
        QTRY_COMPARE(link.textLog().size(), 3);
        QCOMPARE(link.textLog()[2],
                 QStringLiteral("00001,02345,00678,0090,-0001,-010,3,04,05,06,7,-32768,000009,000010,-00002,"));
        QCOMPARE(readouts(link), (QStringList{"2345", "678", "-10", "90", "3"}));
        // Only 0x81 frames set the frame rate.
        QTest::qWait(30);
        link.sim.writeRaw(extendedFrame(words));
        QTRY_COMPARE(link.textLog().size(), 4);
        QCOMPARE(link.widget<QStatusBar>("statusbar")->currentMessage(), rate);
    }

    void frameRate()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        auto *status = link.widget<QStatusBar>("statusbar");
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE(link.textLog().size(), 1);
        QVERIFY(status->currentMessage().isEmpty());  // no interval yet
        QTest::qWait(50);
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE(link.textLog().size(), 2);
        const QRegularExpression format(QStringLiteral("^\\d+\\.\\d $"));
        QVERIFY2(format.match(status->currentMessage()).hasMatch(), qPrintable(status->currentMessage()));
        const double fps = status->currentMessage().toDouble();
        QVERIFY2(fps > 2 && fps <= 20.5, qPrintable(status->currentMessage()));
    }

    void timeStamps()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("timeLogcheckBox");
        link.click("logOption");
        link.sim.writeRaw(measurementFrame(2676));
        QTRY_COMPARE(link.testLog().size(), 1);
        const QRegularExpression textLine(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d,02676,03243,47,0103,1, $"));
        QVERIFY2(textLine.match(link.textLog().first()).hasMatch(), qPrintable(link.textLog().first()));
        const QRegularExpression testLine(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d,\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d,02676,03243,47,0103,1, $"));
        QVERIFY2(testLine.match(link.testLog().first()).hasMatch(), qPrintable(link.testLog().first()));
    }

    void optionsAreIndependent()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        ChartForm *chart = link.chart;
        QVERIFY(chart);
        link.click("LOGcheckBox");  // off
        link.click("logOption");
        link.click("chartcheckBox");
        link.sim.writeRaw(measurementFrame(3000));
        QTRY_COMPARE(link.text("label_DIST"), QStringLiteral("3000"));
        QVERIFY(link.textLog().isEmpty());
        QCOMPARE(link.text("totalValue"), QStringLiteral("1"));
        QCOMPARE(link.testLog().size(), 1);
        QCOMPARE(chart->sampleCount(0), 1);
        QCOMPARE(chart->sample(0, 0), quint16(3000));

        link.click("chartcheckBox");  // off again
        link.sim.writeRaw(measurementFrame(3001));
        QTRY_COMPARE(link.text("label_DIST"), QStringLiteral("3001"));
        QCOMPARE(chart->sampleCount(0), 1);
    }

    void triggerTest_data()
    {
        QTest::addColumn<quint16>("distance");
        QTest::addColumn<bool>("trigger");
        QTest::addColumn<QString>("deviation");
        QTest::newRow("1450") << quint16(1450) << false << "50";
        QTest::newRow("1550") << quint16(1550) << false << "50";
        QTest::newRow("1449") << quint16(1449) << true << "51";
        QTest::newRow("1551") << quint16(1551) << true << "51";
        QTest::newRow("65535") << quint16(65535) << true << "64035";
        QTest::newRow("0") << quint16(0) << true << "1500";
    }

    void triggerTest()
    {
        QFETCH(quint16, distance);
        QFETCH(bool, trigger);
        QFETCH(QString, deviation);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("logOption");
        link.sim.writeRaw(measurementFrame(distance));
        QTRY_COMPARE(link.text("totalValue"), QStringLiteral("1"));
        QCOMPARE(link.text("deviationValue"), deviation);
        QCOMPARE(link.text("D_trigger"), QString::number(trigger ? 1 : 0));
        QCOMPARE(link.testLog().size(), trigger ? 1 : 0);
    }

    void triggerCounters()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        // Off: frames move nothing.
        link.sim.writeRaw(measurementFrame(100));
        QTRY_COMPARE(link.text("label_DIST"), QStringLiteral("100"));
        QCOMPARE(link.text("totalValue"), QStringLiteral("0"));
        QVERIFY(link.testLog().isEmpty());

        link.click("logOption");
        for (quint16 d : {100, 1500, 1600, 1400})
            link.sim.writeRaw(measurementFrame(d));
        QTRY_COMPARE(link.text("totalValue"), QStringLiteral("4"));
        QCOMPARE(link.text("D_trigger"), QStringLiteral("3"));

        // Clearing the log keeps the counters; reset keeps the readouts until the next frame.
        link.click("clearTestLog");
        QVERIFY(link.testLog().isEmpty());
        link.click("tempReset");
        QCOMPARE(link.text("totalValue"), QStringLiteral("4"));
        QCOMPARE(link.text("D_trigger"), QStringLiteral("3"));

        // Inputs are read anew for each frame.
        link.widget<QLineEdit>("setValue")->setText("2000");
        link.widget<QLineEdit>("thresholdValue")->setText("abc");
        link.sim.writeRaw(measurementFrame(2000));
        QTRY_COMPARE(link.text("totalValue"), QStringLiteral("1"));
        QCOMPARE(link.text("D_trigger"), QStringLiteral("0"));
        link.sim.writeRaw(measurementFrame(2001));
        QTRY_COMPARE(link.text("totalValue"), QStringLiteral("2"));
        QCOMPARE(link.text("D_trigger"), QStringLiteral("1"));
        QCOMPARE(link.testLog().size(), 1);
    }

    void clearingTheViews()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1));
        QTRY_COMPARE(link.textLog().size(), 1);
        link.click("pButtonClean");
        QVERIFY(link.textLog().isEmpty());
        QCOMPARE(link.hexLog().size(), 1);
        link.click("pushClearHEX");
        QVERIFY(link.hexLog().isEmpty());
    }

    void savingWritesTheViewsText()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        QTemporaryDir dir;
        link.sim.writeRaw(measurementFrame(2676));
        link.sim.writeRaw(responseFrame(0x55, QByteArray()));
        QTRY_COMPARE(link.textLog().size(), 2);

        SaveRequest request;
        request.answer = dir.filePath("log.csv");
        answerSaveDialog(link, &request);
        link.click("saveLog");
        QCOMPARE(request.calls, 1);
        QCOMPARE(request.caption, QStringLiteral("Save File"));
        QCOMPARE(request.filter, QStringLiteral("File name(*.csv)"));
        QVERIFY2(QRegularExpression("^ZeltoTOF_log_\\d{8}\\.csv$").match(request.proposedName).hasMatch(),
                 qPrintable(request.proposedName));
        QCOMPARE(fileContent(request.answer), QByteArray("02676,03243,47,0103,1, \nAck 55"));
        QVERIFY(link.closer.texts.isEmpty());

        // Saving again replaces the file.
        link.click("pButtonClean");
        link.sim.writeRaw(measurementFrame(7));
        QTRY_COMPARE(link.textLog().size(), 1);
        link.click("saveLog");
        QCOMPARE(fileContent(request.answer), QByteArray("00007,03243,47,0103,1, "));

        // The trigger-test log has its own name.
        link.click("logOption");
        link.sim.writeRaw(measurementFrame(9));
        QTRY_COMPARE(link.testLog().size(), 1);
        request.answer = dir.filePath("test.csv");
        link.click("saveTestLog");
        QVERIFY(QRegularExpression("^Zelto_test_log_\\d{8}\\.csv$").match(request.proposedName).hasMatch());
        QCOMPARE(QString::fromLocal8Bit(fileContent(request.answer)), link.testLog().first());
    }

    void savingRefusals()
    {
        LinkFixture link;
        QTemporaryDir dir;
        SaveRequest request;
        answerSaveDialog(link, &request);

        // An empty view: a warning and no dialog.
        link.click("saveLog");
        link.click("saveTestLog");
        QCOMPARE(request.calls, 0);
        QCOMPARE(link.closer.titles, (QStringList{"警告框", "警告框"}));
        QCOMPARE(link.closer.texts, (QStringList{"文本框没有信息，无法保存", "文本框没有信息，无法保存"}));

        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1));
        QTRY_COMPARE(link.textLog().size(), 1);

        // Cancelled: nothing written, nothing said.
        request.answer.clear();
        link.click("saveLog");
        QCOMPARE(request.calls, 1);
        QCOMPARE(link.closer.texts.size(), 2);
        QVERIFY(QDir(dir.path()).isEmpty());

        // A file that cannot be written is reported, with no partial file left.
        QFile blocker(dir.filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        request.answer = dir.filePath("not-a-folder/log.csv");
        link.click("saveLog");
        QCOMPARE(link.closer.texts.size(), 3);
        QVERIFY2(link.closer.texts.last().contains(request.answer), qPrintable(link.closer.texts.last()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"not-a-folder"});

        request.answer = QStringLiteral("/proc/korvani-log.csv");
        link.click("saveLog");
        QCOMPARE(link.closer.texts.size(), 4);
        QVERIFY(!QFile::exists(request.answer));
    }

    void streamingFromTheModule()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("logOption");
        link.click("chartcheckBox");
        link.click("timeLogcheckBox");
        link.sim.setRateHz(100);
        link.click("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(link.text("totalValue").toInt() >= 50, 5000);
        link.click("stopButton");
        QTest::qWait(100);
        const int lines = link.textLog().size();
        QTest::qWait(100);
        QCOMPARE(link.textLog().size(), lines);
        // Every frame received was decoded once: the counters, the log and the chart agree.
        int measurementLines = 0;
        for (const QString &line : link.textLog())
            measurementLines += line.endsWith(QLatin1String(", ")) ? 1 : 0;
        QCOMPARE(QString::number(measurementLines), link.text("totalValue"));
        QCOMPARE(link.chart->sampleCount(0), measurementLines);
        int receivedMeasurements = 0;
        for (const QString &line : link.hexLog())
            receivedMeasurements += line.startsWith(QLatin1String("Received:  89 81")) ? 1 : 0;
        QCOMPARE(receivedMeasurements, measurementLines);
    }
};

QTEST_MAIN(MeasurementsTest)
#include "tst_measurements.moc"
