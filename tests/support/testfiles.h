#ifndef TESTFILES_H
#define TESTFILES_H

// Whole files for the tests: written in one go (false when any byte is not
// written) and read in one go (the marker "(none)" when the file cannot be
// read, so that a comparison shows a missing file as such).
//
//   QVERIFY(writeTestFile(dir.filePath("limits.json"), "{}"));
//   QCOMPARE(readTestFile(path), QByteArray("old report\n"));

#include <QByteArray>
#include <QFile>
#include <QString>

inline bool writeTestFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush();
}

inline QByteArray readTestFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

#endif  // TESTFILES_H
