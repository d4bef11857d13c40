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
