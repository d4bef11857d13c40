#include "pgconnection.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QVariant>

#include <vector>

namespace {

// libpq's functions, as its C interface declares them (opaque pointers).
struct LibPq {
    using ExecParams = void *(*)(void *, const char *, int, const unsigned *, const char *const *, const int *,
                                 const int *, int);
    using ResultStatus = int (*)(const void *);
    using ErrorMessage = char *(*)(const void *);
    using ErrorField = char *(*)(const void *, int);
    using CmdTuples = char *(*)(void *);
    using Clear = void (*)(void *);
    using Status = int (*)(const void *);
    using Socket = int (*)(const void *);

    ExecParams execParams = nullptr;
    ResultStatus resultStatus = nullptr;
    ErrorMessage errorMessage = nullptr;
    CmdTuples cmdTuples = nullptr;
    Clear clear = nullptr;
    Status status = nullptr;
    Socket socket = nullptr;

    static constexpr int CommandOk = 1;     // PGRES_COMMAND_OK
    static constexpr int ConnectionOk = 0;  // CONNECTION_OK

    bool loaded() const { return execParams && resultStatus && errorMessage && cmdTuples && clear && status && socket; }
};

const LibPq &libPq()
{
    static const LibPq pq = [] {
        // libpq.so.5 on Unix, libpq.dll on Windows.
        const auto resolve = [](const char *name) {
            const QFunctionPointer f = QLibrary::resolve(QStringLiteral("pq"), 5, name);
            return f ? f : QLibrary::resolve(QStringLiteral("libpq"), name);
        };
        LibPq p;
        p.execParams = reinterpret_cast<LibPq::ExecParams>(resolve("PQexecParams"));
        p.resultStatus = reinterpret_cast<LibPq::ResultStatus>(resolve("PQresultStatus"));
        p.errorMessage = reinterpret_cast<LibPq::ErrorMessage>(resolve("PQresultErrorMessage"));
        p.cmdTuples = reinterpret_cast<LibPq::CmdTuples>(resolve("PQcmdTuples"));
        p.clear = reinterpret_cast<LibPq::Clear>(resolve("PQclear"));
        p.status = reinterpret_cast<LibPq::Status>(resolve("PQstatus"));
        p.socket = reinterpret_cast<LibPq::Socket>(resolve("PQsocket"));
        return p;
    }();
    return pq;
}

void *connectionOf(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // Qt 5 names the driver's handle "PGconn*", Qt 6 by libpq's struct, "pg_conn*".
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<void *const *>(handle.constData());
}

} // namespace

int pgSocket(const QSqlDatabase &db)
{
    void *connection = connectionOf(db);
    return connection && libPq().loaded() ? libPq().socket(connection) : -1;
}

ParameterResult execWithParameters(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    ParameterResult r;
    const LibPq &pq = libPq();
    void *connection = connectionOf(db);
    if (!connection || !pq.loaded()) {
        r.error = QStringLiteral("libpq is not at hand");
        return r;
    }
    std::vector<QByteArray> texts;
    std::vector<const char *> pointers;
    texts.reserve(size_t(values.size()));
    pointers.reserve(size_t(values.size()));
    for (const QVariant &v : values) {
        // Qt 6 no longer calls a variant holding a null text null: both are SQL's NULL.
        const bool null = v.isNull() || (v.userType() == QMetaType::QString && v.toString().isNull());
        texts.push_back(null ? QByteArray() : v.toString().toUtf8());
        pointers.push_back(null ? nullptr : texts.back().constData());
    }
    void *result = pq.execParams(connection, sql.toUtf8().constData(), int(values.size()), nullptr, pointers.data(),
                                 nullptr, nullptr, 0);
    if (result && pq.resultStatus(result) == LibPq::CommandOk) {
        r.ok = true;
        r.rows = QByteArray(pq.cmdTuples(result)).toInt();
    } else {
        r.error = result ? QString::fromUtf8(pq.errorMessage(result)).trimmed() : QStringLiteral("out of memory");
        r.connectionLost = pq.status(connection) != LibPq::ConnectionOk;
    }
    if (result)
        pq.clear(result);
    return r;
}
