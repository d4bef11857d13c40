#ifndef DBREADER_H
#define DBREADER_H

// A test's own reading connection to a results database, either engine,
// from the same target text as --db (an SQLite file or a postgresql:// URL):
// it sees what the program committed, through no code of the program's but
// the parsing of that text. A query that fails gives its error text in
// place of the value, so that a comparison shows it.
//
//   DbReader db(target);
//   QCOMPARE(db.value("SELECT count(*) FROM runs").toInt(), 2);
//   QCOMPARE(db.text("SELECT serial_number, mean_mm FROM runs"), "SN-1|1500.5\nSN-2|-");

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVector>

class DbReader
{
public:
    explicit DbReader(const QString &target);
    ~DbReader();
    DbReader(const DbReader &) = delete;
    DbReader &operator=(const DbReader &) = delete;

    bool isOpen() const { return db.isOpen(); }

    // The first column of the first row; the error text when there is none.
    QVariant value(const QString &sql, const QVariantList &bound = {});
    // Every row, each as its columns; one row holding the error text on failure.
    QVector<QVariantList> rows(const QString &sql, const QVariantList &bound = {});
    // Every row as one line, its columns joined by '|': a number in its
    // shortest form (either engine's numeric types alike), NULL as "-".
    QString text(const QString &sql, const QVariantList &bound = {});

    QSqlDatabase &database() { return db; }

    // A stored time: SQLite keeps ISO text with Z, PostgreSQL gives a date-time.
    static QDateTime dateTime(const QVariant &v);

private:
    bool exec(QSqlQuery &q, const QString &sql, const QVariantList &bound);

    QString name;
    QSqlDatabase db;
};

// For a test's _data function: the column "kind", a row for each engine
// ("sqlite", "postgres"), as FreshDatabases::fresh() takes it.
void addDatabaseKinds();

#endif  // DBREADER_H
