#include "freshdatabases.h"

QString FreshDatabases::fresh(const QString &kind)
{
    const QString name = QStringLiteral("db%1").arg(++made);
    if (kind == QLatin1String("sqlite"))
        return dir.filePath(name + QStringLiteral(".sqlite"));
    if (!PgServer::available())
        return QString();
    if (!pg.isRunning() && !pg.start())
        qFatal("cannot start PostgreSQL: %s", qPrintable(pg.errorString()));
    if (!pg.psql(QStringLiteral("CREATE DATABASE ") + name))
        qFatal("cannot create a database: %s", qPrintable(pg.errorString()));
    return pg.url(name);
}

QStringList backToVersionThree()
{
    QStringList statements{QStringLiteral("DROP TABLE points"), QStringLiteral("DROP INDEX runs_reconnects")};
    for (const char *column : {"reconnects", "cg", "cgk", "linearity_slope", "linearity_intercept_mm", "linearity_r2"})
        statements << QStringLiteral("ALTER TABLE runs DROP COLUMN %1").arg(QLatin1String(column));
    return statements << QStringLiteral("UPDATE schema_version SET version = 3");
}
