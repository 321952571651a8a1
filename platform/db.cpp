#include "platform/db.h"

#include "platform/clock.h"
#include "platform/error.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

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

int engineNumber(int primary, const QString &text)
{
    switch (primary) {
    case kSqliteCorrupt:
    case kSqliteNotADb: return ErrorNo::DatabaseCorrupt;
    case kSqliteCantOpen: return ErrorNo::DatabaseMissing;
    case kSqliteConstraint: return ErrorNo::DuplicateKey;
    case kSqliteBusy:
    case kSqliteLocked: return ErrorNo::RecordLocked;
    case kSqliteReadOnly: return ErrorNo::FileLocked;
    default: break;
    }
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
    return Error(engineNumber(primaryCode(error), error.databaseText()), text);
}

namespace {

// The engine's error for a failed call on its own handle, as databaseError gives it.
Error engineError(sqlite3 *engine, int code)
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(engine));
    return Error(engineNumber(code & 0xFF, message), message);
}

} // namespace

struct Database::EngineStatement::Engine {
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    bool started = false;  // stepped since it was last reset
    ~Engine() { finalize(); }
    void finalize()
    {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    void restart()
    {
        if (started)
            sqlite3_reset(stmt);
        started = false;
    }
};

struct Database::Connection {
    QString name;
    int depth = 0;  // open Transaction scopes; the outer one is BEGIN, the rest savepoints
    sqlite3 *engine = nullptr;  // the driver's own handle
    // Every engine statement prepared here: each is finalized before the driver closes.
    std::vector<std::weak_ptr<EngineStatement::Engine>> statements;
    // The savepoint of each nesting level (from 1), prepared at its first use:
    // a posting run opens and ends one per punch.
    struct Savepoint {
        EngineStatement begin, release, rollbackTo;
    };
    std::vector<Savepoint> savepoints;

    // The engine holds no transaction, whatever scopes are open here: it ended one itself.
    bool engineIdle() const { return engine && sqlite3_get_autocommit(engine); }

    Savepoint &savepoint(const Database &db, int level)
    {
        while (int(savepoints.size()) < level) {
            const QString name = QStringLiteral("tev_sp%1").arg(savepoints.size() + 1);
            savepoints.push_back({db.prepareForEngine(QStringLiteral("SAVEPOINT ") + name),
                                  db.prepareForEngine(QStringLiteral("RELEASE ") + name),
                                  db.prepareForEngine(QStringLiteral("ROLLBACK TO ") + name)});
        }
        return savepoints[level - 1];
    }

    ~Connection()
    {
        savepoints.clear();
        for (const auto &statement : statements) {
            if (const auto engineStatement = statement.lock())
                engineStatement->finalize();
        }
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
    const QVariant engine = db.driver()->handle();
    if (engine.isValid() && qstrcmp(engine.typeName(), "sqlite3*") == 0)
        result.m_connection->engine = *static_cast<sqlite3 *const *>(engine.constData());

    QSqlQuery q(db);
    const QString sql = check == Check::Full ? QStringLiteral("PRAGMA quick_check")
                                             : QStringLiteral("SELECT count(*) FROM sqlite_master");
    if (!q.exec(sql))
        throw openError(q.lastError(), path);
    if (check == Check::Full && (!q.next() || q.value(0).toString() != QLatin1String("ok")))
        throw Error(ErrorNo::DatabaseCorrupt, QStringLiteral("The database '%1' is damaged.").arg(path));
    // Savepoint journals and sorts stay in memory: once a savepoint's journal has spilled to a file
    // it stays one for the whole transaction, and a posting run's savepoint per punch then writes
    // every page it changes through it.
    if (!q.exec(QStringLiteral("PRAGMA temp_store = MEMORY")))
        throw openError(q.lastError(), path);
    return result;
}

void Database::close()
{
    m_connection.reset();
}

Database::Connection &Database::connection() const
{
    if (!m_connection)
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("The database is not open."));
    return *m_connection;
}

QSqlDatabase Database::handle() const
{
    return QSqlDatabase::database(connection().name, false);
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

namespace {

void runSavepoint(Database::EngineStatement &statement, const QString &context)
{
    try {
        statement.execute();
    } catch (const Error &e) {
        throw Error(e.number(), context + QStringLiteral(": ") + e.description());
    }
}

} // namespace

Database::Transaction::Transaction(const Database &db) : m_db(&db)
{
    Connection &c = db.connection();
    m_level = c.depth;
    if (m_level == 0) {
        QSqlDatabase handle = db.handle();
        if (!handle.transaction())
            throw databaseError(handle.lastError(), QStringLiteral("Cannot start a transaction"));
    } else {
        runSavepoint(c.savepoint(db, m_level).begin, QStringLiteral("Cannot start a transaction"));
    }
    ++c.depth;
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
    Connection &c = *m_db->m_connection;
    --c.depth;
    if (c.engineIdle()) {
        // Nothing is left to undo, nor to keep.
        if (keep)
            throw Error(ErrorNo::DatabaseEngine, QStringLiteral("Cannot commit: the database rolled the transaction back."));
        return;
    }
    if (m_level == 0) {
        // Run here rather than through the driver's commit, whose error drops the engine's code.
        QSqlQuery end(m_db->handle());
        if (end.exec(keep ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")))
            return;
        const Error error = databaseError(end.lastError(), keep ? QStringLiteral("Cannot commit") : QStringLiteral("Cannot roll back"));
        // A commit another connection's read held off leaves the transaction and its locks in place.
        if (keep)
            QSqlQuery(m_db->handle()).exec(QStringLiteral("ROLLBACK"));
        throw error;
    }
    Connection::Savepoint &savepoint = c.savepoint(*m_db, m_level);
    if (!keep)
        runSavepoint(savepoint.rollbackTo, QStringLiteral("Cannot roll back"));
    runSavepoint(savepoint.release, keep ? QStringLiteral("Cannot commit") : QStringLiteral("Cannot roll back"));
}

bool Database::Transaction::lost() const
{
    const Connection *c = m_db->m_connection.get();
    return !m_done && c && c->engineIdle();
}

void Database::Transaction::restart()
{
    Connection &c = m_db->connection();
    if (m_done || m_level != 0 || c.depth != 1 || !lost())
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("Only a lost outermost transaction begins anew."));
    QSqlDatabase handle = m_db->handle();
    if (!handle.transaction())
        throw databaseError(handle.lastError(), QStringLiteral("Cannot start a transaction"));
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

Database::EngineStatement Database::prepareForEngine(const QString &sql) const
{
    Connection &c = connection();
    if (!c.engine)
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("The database driver gives no engine handle."));
    EngineStatement statement;
    statement.m_engine = std::make_shared<EngineStatement::Engine>();
    statement.m_engine->db = c.engine;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(c.engine, text.constData(), int(text.size()), &statement.m_engine->stmt, nullptr);
    if (rc != SQLITE_OK)
        throw engineError(c.engine, rc);
    std::erase_if(c.statements, [](const auto &s) { return s.expired(); });
    c.statements.push_back(statement.m_engine);
    return statement;
}

bool Database::EngineStatement::isValid() const
{
    return m_engine && m_engine->stmt;
}

Database::EngineStatement::Engine &Database::EngineStatement::engine() const
{
    if (!isValid())
        throw Error(ErrorNo::DatabaseEngine, QStringLiteral("The statement is not prepared."));
    return *m_engine;
}

sqlite3_stmt *Database::EngineStatement::rebinding()
{
    Engine &e = engine();
    e.restart();
    return e.stmt;
}

Database::EngineStatement &Database::EngineStatement::bound(int rc)
{
    if (rc != SQLITE_OK)
        throw engineError(m_engine->db, rc);
    return *this;
}

Database::EngineStatement &Database::EngineStatement::bind(int index, QByteArrayView utf8)
{
    // A null pointer would bind Null: an empty view is the empty text.
    const char *bytes = utf8.isEmpty() ? "" : utf8.data();
    return bound(sqlite3_bind_text(rebinding(), index + 1, bytes, int(utf8.size()), SQLITE_TRANSIENT));
}

Database::EngineStatement &Database::EngineStatement::bind(int index, qint64 value)
{
    return bound(sqlite3_bind_int64(rebinding(), index + 1, value));
}

Database::EngineStatement &Database::EngineStatement::bind(int index, double value)
{
    return bound(sqlite3_bind_double(rebinding(), index + 1, value));
}

Database::EngineStatement &Database::EngineStatement::bindNull(int index)
{
    return bound(sqlite3_bind_null(rebinding(), index + 1));
}

Database::EngineStatement &Database::EngineStatement::bindValue(int index, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString: return bind(index, QByteArrayView(value.toString().toUtf8()));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::LongLong: return value.isNull() ? bindNull(index) : bind(index, value.toLongLong());
    case QMetaType::Double: return value.isNull() ? bindNull(index) : bind(index, value.toDouble());
    case QMetaType::QByteArray: {
        if (value.isNull())
            return bindNull(index);
        const QByteArray bytes = value.toByteArray();
        return bound(sqlite3_bind_blob(rebinding(), index + 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT));
    }
    default: return value.isNull() ? bindNull(index) : bind(index, QByteArrayView(value.toString().toUtf8()));
    }
}

bool Database::EngineStatement::next()
{
    Engine &e = engine();
    e.started = true;
    const int rc = sqlite3_step(e.stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const Error error = engineError(e.db, rc);
    e.restart();
    throw error;
}

int Database::EngineStatement::execute()
{
    engine().restart();
    while (next()) {
    }
    return sqlite3_changes(m_engine->db);
}

void Database::EngineStatement::reset()
{
    engine().restart();
}

bool Database::EngineStatement::isNull(int column) const
{
    return sqlite3_column_type(engine().stmt, column) == SQLITE_NULL;
}

bool Database::EngineStatement::isText(int column) const
{
    return sqlite3_column_type(engine().stmt, column) == SQLITE_TEXT;
}

qint64 Database::EngineStatement::integer(int column) const
{
    return sqlite3_column_int64(engine().stmt, column);
}

double Database::EngineStatement::real(int column) const
{
    return sqlite3_column_double(engine().stmt, column);
}

QByteArrayView Database::EngineStatement::text(int column) const
{
    sqlite3_stmt *stmt = engine().stmt;
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(stmt, column) : 0);
}

QVariant Database::EngineStatement::value(int column) const
{
    sqlite3_stmt *stmt = engine().stmt;
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: return QVariant(QString::fromUtf8(text(column)));
    case SQLITE_BLOB: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(bytes, sqlite3_column_bytes(stmt, column)));
    }
    default: return QVariant();
    }
}

} // namespace Platform
