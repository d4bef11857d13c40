#ifndef PGCONNECTION_H
#define PGCONNECTION_H

// The libpq connection under a QSqlDatabase of Qt's PostgreSQL driver,
// reached through libpq itself (loaded with the driver), for what the driver
// does not offer:
//   - statements with their values sent apart from the SQL text, as
//     parameters ($1, $2, ...). The driver's own prepared statements put the
//     values, quoted, into the text of an EXECUTE; here no value is ever part
//     of the SQL. Values go as text (the server converts them to the
//     columns' types); a null QVariant is NULL;
//   - the connection's socket, to cut off a server that stopped answering.

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

struct ParameterResult {
    bool ok = false;
    int rows = 0;          // rows the statement inserted, updated or deleted
    QString error;         // the server's message
    bool connectionLost = false;  // the connection broke (no server error to read)
};

// The socket; -1 for another driver, or when libpq is not at hand.
int pgSocket(const QSqlDatabase &db);

// Fails (with `error` set) for another driver, or when libpq is not at hand.
ParameterResult execWithParameters(const QSqlDatabase &db, const QString &sql, const QVariantList &values);

#endif // PGCONNECTION_H
