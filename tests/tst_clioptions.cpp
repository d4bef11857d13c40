// korvani-cli's arguments as the parser reads them, in-process: each usage
// error names its cause (and whether the usage line follows), numbers are read
// one way from options and limits files, and CSV cells are quoted one way.

#include "cli/options.h"
#include "platform/fields.h"
#include "support/testfiles.h"

#include <QtTest>

class TstCliOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // `args` with FILE standing for a limits file holding `limits` (none when null).
    ParsedArguments parse(QString args, const QByteArray &limits)
    {
        const QString file = dir.filePath(QStringLiteral("limits.json"));
        QFile::remove(file);
        if (!limits.isNull() && !writeTestFile(file, limits))
            qFatal("cannot write the limits file");
        return parseArguments(args.replace(QStringLiteral("FILE"), file).split(' ', Qt::SkipEmptyParts));
    }

private slots:
    void initTestCase() { qunsetenv("KORVANI_DB"); }

    void errors_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QByteArray>("limits");  // null: no file written
        QTest::addColumn<QString>("error");      // a regular expression; FILE: the limits file
        QTest::addColumn<bool>("usage");         // the usage line follows
        // Named by their arguments.
        const auto row = [](const char *args, const QString &error, const QByteArray &limits = {}) {
            QTest::newRow(args) << args << limits << error << true;
        };
        const auto file = [](const char *name, const QByteArray &limits, const QString &error) {
            QTest::newRow(name) << "--sim test --reference 1500 --tolerance 5 --limits FILE" << limits << error
                                << false;
        };
        row("", "^no command given$");
        row("--sim --loud version", "^Unknown option 'loud'\\.$");
        row("--sim --id 256 version", "^--id wants a decimal number from 0 to 255, not '256'$");
        row("--sim measure --rate 25", "^--rate wants 10, 20, 50 or 100, not '25'$");
        row("--sim measure --count 1e3", "^--count wants a whole number of frames from 1, not '1e3'$");
        row("--sim test --reference 1500 --tolerance 0.0005", "^--tolerance wants millimetres");
        row("--sim test --reference 1500", "^test needs --reference MM and --tolerance MM");
        row("--sim threshold 65536", "^threshold wants a decimal number from 0 to 65535, not '65536'$");
        row("version", "^--port NAME or --sim is required$");
        row("--sim version --output x", "^version writes no records: --output does not apply$");
        row("--sim measure --db r.sqlite", "measure needs --stats");
        row("--sim test --reference 1 --tolerance 1 --db postgresql://u:s3cret@h/", "names no database");
        row("--sim test --reference 1 --tolerance 1 --db-records", "^--db-records needs --db");
        row("--sim test --reference 1 --tolerance 1 --db-timeout 1",
            "^--db-timeout wants seconds from 2 to 600, not '1'$");
        row("--sim measure --stats --limits l.json", "^measure takes no --limits$");
        row("report --db r.sqlite --since yesterday", "^--since wants a date or time");
        row("--sim test --reference 1 --tolerance 1 --ids 1,2,1", "^--ids wants device IDs");
        row("--sim test --reference 1 --tolerance 1 --ids 1,2 --id 1", "^--id and --ids exclude each other$");
        row("--sim test --reference 1 --tolerance 1 --ids 1,2 --serial 3=X", "^with --ids, --serial wants ID=SN");
        row("--sim test --reference 1 --tolerance 1 --ids 1,2 --serial 1=X --serial 1=Y",
            "^--serial: ID 1 given twice$");
        row("--sim test --points 500 --reference 500 --tolerance 5", "^--points replaces --reference");
        row("--sim test --points 500,500 --tolerance 5", "^--points wants distinct distances");
        row("--sim test --reference 500 --tolerance 5 --move true", "^--move goes with --points$");
        row("--sim test --limits FILE", "^test needs --reference MM", "{\"tolerance_mm\": 5}");
        // A file at fault: its line alone, no usage line (the file's every refusal is tst_results').
        file("missing", QByteArray(), "^FILE: cannot read the limits file");
        file("a point of the wrong kind", "{\"points\": [500, \"x\"]}",
             "^FILE:1:2: \"points\": wants a list of distinct distances");
    }
    void errors()
    {
        QFETCH(QString, args);
        QFETCH(QByteArray, limits);
        QFETCH(QString, error);
        QFETCH(bool, usage);
        const ParsedArguments parsed = parse(args, limits);
        const QString expected =
            QString(error).replace(QLatin1String("FILE"), QRegularExpression::escape(dir.filePath("limits.json")));
        QVERIFY2(QRegularExpression(expected).match(parsed.error).hasMatch(), qPrintable(parsed.error));
        QCOMPARE(parsed.showUsage, usage);
        QVERIFY(!parsed.error.contains(QLatin1String("s3cret")));
    }

    // Values as read: decimals exact to the thousandth from either source, the
    // file's values under the options, and the run length of the command line.
    void values_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QByteArray>("limits");
        QTest::addColumn<QString>("read");  // reference tolerance count duration rate marginal
        QTest::newRow("options") << "--sim test --reference 1500.125 --tolerance 0.5 --duration 0.25" << QByteArray()
                                 << "1500125 500 - 250 100 -";
        QTest::newRow("file") << "--sim test --limits FILE"
                              << QByteArray("{\"reference_mm\": 0.3, \"tolerance_mm\": 65535, \"count\": 7, \"rate\": "
                                            "50, \"marginal_mm\": 1.001}")
                              << "300 65535000 7 - 50 1001";
        QTest::newRow("options over the file")
            << "--sim test --limits FILE --tolerance 3 --duration 2"
            << QByteArray("{\"reference_mm\": 1500, \"tolerance_mm\": 5, \"count\": 7}") << "1500000 3000 - 2000 100 -";
    }
    void values()
    {
        QFETCH(QString, args);
        QFETCH(QByteArray, limits);
        QFETCH(QString, read);
        const ParsedArguments parsed = parse(args, limits);
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        const CliOptions &o = parsed.options;
        const auto text = [](const auto &v) { return v ? QString::number(*v) : QStringLiteral("-"); };
        QCOMPARE(QStringList({QString::number(o.test.limits.referenceMilli),
                              QString::number(o.test.limits.toleranceMilli), text(o.run.count), text(o.run.durationMs),
                              QString::number(o.run.rateHz), text(o.test.marginalMilli)})
                     .join(' '),
                 read);
    }

    // The one CSV quoting (answers, records, reports): a cell is quoted when
    // it holds a comma, a quote or a line break (RFC 4180), its quotes doubled.
    void csvCells_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("row");
        for (const auto &[cell, row] : {std::pair<const char *, const char *>{"B-1.2.5", "B-1.2.5,x\n"},
                                        {"a,b", "\"a,b\",x\n"},
                                        {"say \"hi\"", "\"say \"\"hi\"\"\",x\n"},
                                        {"two\nlines", "\"two\nlines\",x\n"},
                                        {"cr\r", "\"cr\r\",x\n"}})
            QTest::newRow(cell) << QString(cell) << QString(row);
    }
    void csvCells()
    {
        QFETCH(QString, cell);
        QFETCH(QString, row);
        QCOMPARE(csvRow({cell, QStringLiteral("x")}), row);
    }
};

QTEST_GUILESS_MAIN(TstCliOptions)
#include "tst_clioptions.moc"
