#include "dbreader.h"

#include "results/dbtarget.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {
QAtomicInt readers;
}  // namespace

DbReader::DbReader(const QString &target)
    : name(QStringLiteral("dbreader%1").arg(readers.fetchAndAddRelaxed(1)))
{
    QString error;
    // A target that does not parse leaves an SQLite database of no file: every query fails.
    const DbTarget t = parseDbTarget(target, &error).value_or(DbTarget());
    const bool server = t.kind == DbTarget::Kind::Postgres;
    db = QSqlDatabase::addDatabase(server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(server ? t.database : t.path);
    db.setHostName(t.host);
    db.setPort(t.port);
    db.setUserName(t.user);
    db.setPassword(t.password);
    db.setConnectOptions(t.options.join(QLatin1Char(';')));
    db.open();
}

DbReader::~DbReader()
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

bool DbReader::exec(QSqlQuery &q, const QString &sql, const QVariantList &bound)
{
    q = QSqlQuery(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return false;
    for (const QVariant &v : bound)
        q.addBindValue(v);
    return q.exec();
}

QVariant DbReader::value(const QString &sql, const QVariantList &bound)
{
    QSqlQuery q;
    if (!exec(q, sql, bound) || !q.next())
        return QVariant(q.lastError().isValid() ? q.lastError().text() : QStringLiteral("no row: %1").arg(sql));
    return q.value(0);
}

QDateTime DbReader::dateTime(const QVariant &v)
{
    return v.userType() == QMetaType::QDateTime ? v.toDateTime()
                                                : QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
}

QVector<QVariantList> DbReader::rows(const QString &sql, const QVariantList &bound)
{
    QSqlQuery q;
    if (!exec(q, sql, bound))
        return {{QVariant(q.lastError().text())}};
    QVector<QVariantList> all;
    while (q.next()) {
        all.append(QVariantList());
        for (int c = 0; c < q.record().count(); ++c)
            all.last() << q.value(c);
    }
    return all;
}

QString DbReader::text(const QString &sql, const QVariantList &bound)
{
    QStringList lines;
    for (const QVariantList &row : rows(sql, bound)) {
        QStringList columns;
        for (const QVariant &v : row) {
            bool number = false;
            const double d = v.toString().toDouble(&number);
            columns << (v.isNull() ? QStringLiteral("-") : number ? QString::number(d, 'g', 15) : v.toString());
        }
        lines << columns.join(QLatin1Char('|'));
    }
    return lines.join(QLatin1Char('\n'));
}

void addDatabaseKinds()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgres") << "postgres";
}
