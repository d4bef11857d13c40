#ifndef DBTARGET_H
#define DBTARGET_H

// Where results go, parsed from the text a station gives (--db, KORVANI_DB):
//   - a file path: an SQLite database file, created when missing;
//   - postgresql://[user[:password]@]host[:port]/dbname[?key=value&...]
//     (also postgres://). The host may be empty with ?host=/socket/folder,
//     or percent-encoded (%2Frun%2Fpostgresql) for a Unix-socket folder.
//     Other query keys are handed to libpq as connection options
//     (sslmode=require, application_name=...). Without a password in the
//     text libpq looks in PGPASSWORD and ~/.pgpass itself.
// Pure functions, no connection is made. A password is kept only in
// `password` and never appears in displayName() or redactArgument().

#include <QString>
#include <QStringList>
#include <optional>

struct DbTarget {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    QString path;  // SQLite
    // PostgreSQL
    QString host;  // a name, an address or a socket folder; empty: libpq's default
    int port = -1; // -1: libpq's default
    QString database;
    QString user;
    QString password;
    QStringList options;  // the URL's other "key=value" connection options, for libpq

    // The file, or postgresql://user@host:port/db without the password.
    QString displayName() const;
    // The target as the spool keeps it with a run: the file's absolute path,
    // or the URL with every option but without the password; parseDbTarget()
    // reads it back. Two texts naming the same database give the same identity.
    QString identity() const;
};

// nullopt with `error` set when the text is not a usable target.
std::optional<DbTarget> parseDbTarget(const QString &text, QString *error);

// True when the text names a server (a postgres:// or postgresql:// URL).
bool isServerUrl(const QString &text);

// The text with any password in a server URL replaced by "***": for
// arguments that are echoed or stored (the runs' `command` column).
QString redactArgument(const QString &text);

#endif // DBTARGET_H
