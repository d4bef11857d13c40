#ifndef FRESHDATABASES_H
#define FRESHDATABASES_H

// New, empty results databases for tests, each as a target text for --db or
// parseDbTarget(): an SQLite file in a temporary folder, or a database on a
// throw-away PostgreSQL server started on first use. fresh("postgres") is
// empty when the server binaries are not installed (the caller skips);
// a server that cannot start ends the test program.

#include "pgserver.h"

#include <QString>
#include <QTemporaryDir>

// In a test function: `var`, a fresh database of `kind` from `databases`;
// the test skipped when the PostgreSQL server is not installed.
#define FRESH_TARGET(databases, var, kind)                                                                             \
    const QString var = (databases).fresh(kind);                                                                       \
    if (var.isEmpty())                                                                                                 \
        QSKIP("the PostgreSQL server binaries (package postgresql) are not installed");

class FreshDatabases
{
public:
    // kind: "sqlite" or "postgres".
    QString fresh(const QString &kind);

    PgServer &server() { return pg; }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    PgServer pg;
    int made = 0;
};

#endif  // FRESHDATABASES_H
