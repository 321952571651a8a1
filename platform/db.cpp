#include "platform/db.h"

#include "platform/clock.h"
#include "platform/error.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

namespace Platform {

namespace {

// SQLite's primary result codes that carry a meaning of their own here.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteConstraint = 19;
constexpr int kSqliteNotADb = 26;

// How long a statement waits for another connection's lock before it fails.
constexpr int kBusyTimeoutMs = 5000;

} // namespace

QString QuotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tev-db-%1").arg(counter.fetchAndAddRelaxed(1));
}

int primaryCode(const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xFF;
    return numeric ? code : -1;
}

int engineNumber(const QSqlError &error)
{
    switch (primaryCode(error)) {
    case kSqliteCorrupt:
    case kSqliteNotADb: return ErrorNo::DatabaseCorrupt;
    case kSqliteCantOpen: return ErrorNo::DatabaseMissing;
    case kSqliteConstraint: return ErrorNo::DuplicateKey;
    case kSqliteBusy:
    case kSqliteLocked: return ErrorNo::RecordLocked;
    case kSqliteReadOnly: return ErrorNo::FileLocked;
    default: break;
    }
    const QString text = error.databaseText();
    if (text.startsWith(QLatin1String("no such table")))
        return ErrorNo::TableNotFound;
    if (text.startsWith(QLatin1String("no such column")) || text.contains(QLatin1String("has no column named")))
        return ErrorNo::ItemNotFound;
    if (text.contains(QLatin1String("syntax error")))
        return ErrorNo::SyntaxError;
    return ErrorNo::DatabaseEngine;
}

QString describe(const QSqlError &error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return text;
}

void bindAll(QSqlQuery &query, const QVariantList &values)
{
    for (const QVariant &value : values) {
        // A null QString is the empty text here; only an empty QVariant is NULL.
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            query.addBindValue(QStringLiteral(""));
        else
            query.addBindValue(value);
    }
}

// Why a file that is there could not be opened or read as a database. Only
// what the engine calls corrupt is offered for repair: a repair of a file that
// is merely locked or unreadable would set a healthy database aside.
Error openError(const QSqlError &error, const QString &path)
{
    switch (primaryCode(error)) {
    case kSqliteCorrupt:
    case kSqliteNotADb:
        return Error(ErrorNo::DatabaseCorrupt,
                     QStringLiteral("'%1' is not a database or is damaged: %2").arg(path, describe(error)));
    case kSqliteBusy:
    case kSqliteLocked:
        return Error(ErrorNo::RecordLocked, QStringLiteral("Could not update; currently locked."));
    default:
        return Error(ErrorNo::FileLocked, QStringLiteral("Cannot read '%1': %2").arg(path, describe(error)));
    }
}

} // namespace

Error databaseError(const QSqlError &error, const QString &context)
{
    QString text = describe(error);
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    return Error(engineNumber(error), text);
}

struct Database::Connection {
    QString name;
    int depth = 0;  // open Transaction scopes; the outer one is BEGIN, the rest savepoints
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

const QSqlRecord *Snapshot::findFirst(const std::function<bool(const QSqlRecord &)> &test) const
{
    for (const QSqlRecord &row : m_rows) {
        if (test(row))
            return &row;
    }
    return nullptr;
}

Database::Database() = default;
Database::~Database() = default;
Database::Database(Database &&other) noexcept = default;
Database &Database::operator=(Database &&other) noexcept = default;

Database Database::open(const QString &path, bool readOnly, Check check)
{
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        throw Error(ErrorNo::DatabaseMissing, QStringLiteral("Could not find file '%1'.").arg(path));

    Database result;
    result.m_path = path;
    result.m_connection = std::make_unique<Connection>();
    result.m_connection->name = nextConnectionName();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), result.m_connection->name);
    // A URI with mode=rw (or ro) makes SQLite refuse to create a missing file.
    QString uri = QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded);
    uri += readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw");
    db.setDatabaseName(uri);
    // Tests run the fast clock; the wait for a lock shortens with their pauses.
    const int busyMs = qMax(1, kBusyTimeoutMs / Clock::fastClockDivisor());
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs));
    if (!db.open())
        throw openError(db.lastError(), path);

    QSqlQuery q(db);
    const QString sql = check == Check::Full ? QStringLiteral("PRAGMA quick_check")
                                             : QStringLiteral("SELECT count(*) FROM sqlite_master");
    if (!q.exec(sql))
        throw openError(q.lastError(), path);
    if (check == Check::Full && (!q.next() || q.value(0).toString() != QLatin1String("ok")))
        throw Error(ErrorNo::DatabaseCorrupt, QStringLiteral("The database '%1' is damaged.").arg(path));
    return result;
}

void Database::close()
{
    m_connection.reset();
}

QSqlDatabase Database::handle() const
{
    if (!m_connection)
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("The database is not open."));
    return QSqlDatabase::database(m_connection->name, false);
}

QSqlQuery Database::query(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(handle());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw databaseError(q.lastError());
    bindAll(q, values);
    if (!q.exec())
        throw databaseError(q.lastError());
    return q;
}

int Database::execute(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q = query(sql, values);
    return q.numRowsAffected();
}

Snapshot Database::snapshot(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q = query(sql, values);
    std::vector<QSqlRecord> rows;
    while (q.next())
        rows.push_back(q.record());
    if (q.lastError().isValid())
        throw databaseError(q.lastError());
    return Snapshot(std::move(rows));
}

Database::Transaction::Transaction(const Database &db) : m_db(&db)
{
    QSqlDatabase handle = db.handle();
    m_level = db.m_connection->depth;
    if (m_level == 0) {
        if (!handle.transaction())
            throw databaseError(handle.lastError(), QStringLiteral("Cannot start a transaction"));
    } else {
        QSqlQuery q(handle);
        if (!q.exec(QStringLiteral("SAVEPOINT tev_sp%1").arg(m_level)))
            throw databaseError(q.lastError(), QStringLiteral("Cannot start a transaction"));
    }
    ++db.m_connection->depth;
}

Database::Transaction::~Transaction()
{
    if (m_done)
        return;
    try {
        end(false);
    } catch (const Error &) {
        // A rollback that fails leaves nothing more to undo here.
    }
}

void Database::Transaction::end(bool keep)
{
    m_done = true;
    if (!m_db->m_connection)
        return;
    --m_db->m_connection->depth;
    QSqlDatabase handle = m_db->handle();
    if (m_level == 0) {
        const bool ok = keep ? handle.commit() : handle.rollback();
        if (!ok)
            throw databaseError(handle.lastError(), keep ? QStringLiteral("Cannot commit") : QStringLiteral("Cannot roll back"));
        return;
    }
    QSqlQuery q(handle);
    const QString name = QStringLiteral("tev_sp%1").arg(m_level);
    if (!keep && !q.exec(QStringLiteral("ROLLBACK TO ") + name))
        throw databaseError(q.lastError(), QStringLiteral("Cannot roll back"));
    if (!q.exec(QStringLiteral("RELEASE ") + name))
        throw databaseError(q.lastError(), keep ? QStringLiteral("Cannot commit") : QStringLiteral("Cannot roll back"));
}

void Database::Transaction::commit()
{
    if (m_done)
        return;
    end(true);
}

void Database::Transaction::rollback()
{
    if (m_done)
        return;
    end(false);
}

bool Database::inTransaction() const
{
    return m_connection && m_connection->depth > 0;
}

Database::Statement Database::prepare(const QString &sql) const
{
    Statement statement;
    statement.m_query = std::make_shared<QSqlQuery>(handle());
    statement.m_query->setForwardOnly(true);
    if (!statement.m_query->prepare(sql))
        throw databaseError(statement.m_query->lastError());
    return statement;
}

QSqlQuery &Database::Statement::run(const QVariantList &values)
{
    if (!m_query)
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("The statement is not prepared."));
    m_query->finish();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            m_query->bindValue(i, QStringLiteral(""));
        else
            m_query->bindValue(i, value);
    }
    if (!m_query->exec())
        throw databaseError(m_query->lastError());
    return *m_query;
}

int Database::Statement::execute(const QVariantList &values)
{
    return run(values).numRowsAffected();
}

Snapshot Database::Statement::snapshot(const QVariantList &values)
{
    QSqlQuery &q = run(values);
    std::vector<QSqlRecord> rows;
    while (q.next())
        rows.push_back(q.record());
    if (q.lastError().isValid())
        throw databaseError(q.lastError());
    q.finish();
    return Snapshot(std::move(rows));
}

} // namespace Platform
