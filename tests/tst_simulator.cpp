// The simulated module as the other tests rely on it, seen from the program's
// side: a real QSerialPort on the pseudo-terminal and the real event loop.

#include "support/portprobe.h"
#include "support/testframes.h"

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "sim/simulatedmodule.h"

#include <QtTest>

#include <algorithm>

namespace {
const QByteArray Example = hex("89 81 74 0A AB 0C 2F 67 00 01 98");
const QByteArray StopAck = hex("89 06 00 8f");
enum Fault { Split, Join, Garbage, Corrupt };

// The frames in a stream of rate and stop acknowledgements and example
// measurements (check byte right or not), with the noise bytes in front of each.
struct Line {
    int good = 0, bad = 0;
    QVector<int> noiseRuns;
};
Line cut(const QByteArray &b)
{
    static const QRegularExpression frame(
        QStringLiteral("\\x89(\\x34\\x00|\\x06\\x00|\\x81\\x74\\x0A\\xAB\\x0C\\x2F\\x67\\x00\\x01)[\\s\\S]"));
    Line line;
    int end = 0;
    for (auto it = frame.globalMatch(QString::fromLatin1(b.constData(), b.size())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        ++(checkFrameXor(b.constData() + m.capturedStart(), m.capturedLength()) ? line.good : line.bad);
        line.noiseRuns += m.capturedStart() - end;
        end = m.capturedEnd();
    }
    return line;
}

// A module giving the example reading, with the program's port open on it.
bool plugIn(SimulatedModule &module, PortProbe &probe)
{
    module.setFixedReading(SimulatedModule::Reading{2676, 3243, 47, 103, 1});
    return module.open() && probe.open(module.portName());
}
}

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    // Each row also shows that the other faults stay off.
    void faultSwitches_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("split") << int(Split);
        QTest::newRow("join 3") << int(Join);
        QTest::newRow("garbage") << int(Garbage);
        QTest::newRow("corrupt every 3rd") << int(Corrupt);
    }
    void faultSwitches()
    {
        QFETCH(int, fault);
        SimulatedModule module;
        PortProbe probe;
        QVERIFY(plugIn(module, probe));
        module.setSplitFrames(fault == Split);
        module.setJoinFrames(fault == Join ? 3 : 0);
        module.setGarbage(fault == Garbage);
        module.setCorruptChecks(fault == Corrupt, 3);
        probe.send(commandFrame(Command::Rate100Hz) + commandFrame(Command::Continuous));
        QTRY_VERIFY_WITH_TIMEOUT(probe.bytes.count(Example.left(10)) >= 15, 5000);
        probe.send(commandFrame(Command::Stop));
        // The stop acknowledgement comes last, whatever the fault did to it.
        QTRY_VERIFY_WITH_TIMEOUT(probe.bytes.right(4).startsWith(StopAck.left(3)), 5000);

        const Line line = cut(probe.bytes);
        const int frames = line.good + line.bad;
        QCOMPARE(line.bad, fault == Corrupt ? frames / 3 : 0);
        for (int run : line.noiseRuns)
            QVERIFY2(fault == Garbage ? run >= 1 && run <= FrameShaper::MaxGarbageBytes : run == 0,
                     qPrintable(QString::number(run)));
        // One 0x89 in each frame: any more are noise.
        QCOMPARE(probe.bytes.count(char(ResponseHeader)) > frames, fault == Garbage);
        // Split: nearly no read holds a whole frame. Join: reads of three frames.
        const auto reads = [&](auto holds) {
            return int(std::count_if(probe.reads.cbegin(), probe.reads.cend(), holds));
        };
        const int whole = reads([](const QByteArray &read) { return read.contains(Example); });
        QVERIFY2(fault == Split ? whole < frames / 2 : whole > 0, qPrintable(QString::number(whole)));
        QVERIFY(fault != Join || reads([](const QByteArray &read) { return read == Example.repeated(3); }) >= 3);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
