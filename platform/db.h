#pragma once

#include "platform/error.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3_stmt;

// The database layer: SQLite files in place of the old engine's files. Opening
// never creates a file and checks the one it opens; failures are
// Platform::Error with the engine's error numbers (3024 missing, 3049
// damaged, 3218 locked, 3051 unreadable, ...). Values are always bound, never
// pasted into SQL text.
namespace Platform {

// A table or column name as an SQL identifier, whatever blanks or quotes it holds.
QString QuotedName(const QString &name);

// The rows of a query, read once: what the program searches without going
// back to the database.
class Snapshot {
public:
    Snapshot() = default;
    explicit Snapshot(std::vector<QSqlRecord> rows) : m_rows(std::move(rows)) {}

    // Only on a kept snapshot: the rows of a temporary would dangle in a range-for.
    const std::vector<QSqlRecord> &rows() const & { return m_rows; }
    std::vector<QSqlRecord> rows() && { return std::move(m_rows); }
    bool empty() const { return m_rows.empty(); }
    std::size_t size() const { return m_rows.size(); }
    // The first row for which the test holds, or nullptr.
    const QSqlRecord *findFirst(const std::function<bool(const QSqlRecord &)> &test) const;

private:
    std::vector<QSqlRecord> m_rows;
};

class Database {
public:
    Database();
    ~Database();
    Database(Database &&other) noexcept;
    Database &operator=(Database &&other) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // How much of a file the open reads before it is trusted.
    enum class Check {
        Full,       // every page (PRAGMA quick_check)
        OpensOnly,  // its header and schema: a file checked in full earlier
    };

    // Opens an existing database file read-write (or read-only) and checks it.
    // An empty or missing path is 3024. Only a file the engine finds corrupt
    // or not a database is 3049 (the one failure a repair can mend); a file
    // another connection holds locked past the busy time-out is 3218; one that
    // is there but cannot be read (a folder, no permission, an I/O error) is
    // 3051 with the engine's text.
    static Database open(const QString &path, bool readOnly = false, Check check = Check::Full);

    bool isOpen() const { return m_connection != nullptr; }
    QString path() const { return m_path; }
    void close();

    // Runs a statement with bound values; returns the rows it changed.
    int execute(const QString &sql, const QVariantList &values = {}) const;
    // Runs a query with bound values and returns a live query positioned before its first row.
    QSqlQuery query(const QString &sql, const QVariantList &values = {}) const;
    Snapshot snapshot(const QString &sql, const QVariantList &values = {}) const;

    // One logical operation: committed by commit(), rolled back when left
    // without it. Inside another it is a savepoint: its rollback undoes only
    // its own work, and its commit leaves the outer one to decide. A commit
    // that fails rolls back before its error goes on, so the connection never
    // keeps the locks of a transaction nobody ends.
    class Transaction {
    public:
        explicit Transaction(const Database &db);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void commit();
        void rollback();
        bool nested() const { return m_level > 0; }
        // The database ended the whole transaction itself (a trigger's
        // RAISE(ROLLBACK)): everything of it is undone, and committing it fails.
        bool lost() const;
        // Begins an outermost transaction that was lost anew; its inner scopes must have ended.
        void restart();

    private:
        void end(bool keep);
        const Database *m_db;
        int m_level = 0;
        bool m_done = false;
    };

    // A statement prepared once and run many times with new values (a posting
    // run re-binds it per punch). Preparing fails at once on a missing table
    // or column, before anything is written.
    class Statement {
    public:
        Statement() = default;
        // Runs with these values; the query is positioned before its first row.
        QSqlQuery &run(const QVariantList &values = {});
        // Runs and returns the rows changed.
        int execute(const QVariantList &values = {});
        // Runs and reads every row.
        Snapshot snapshot(const QVariantList &values = {});
        bool isValid() const { return m_query != nullptr; }

    private:
        friend class Database;
        std::shared_ptr<QSqlQuery> m_query;
    };
    Statement prepare(const QString &sql) const;

    // A statement of a loop that runs it for every record (a posting run):
    // the engine's own statement on this connection, bound and read in place.
    // A QSqlQuery copies each value through a QVariant and rebuilds its
    // field list on every run, which costs more than the engine's work
    // itself. The connection finalizes it when it closes; after that it fails
    // as not prepared.
    class EngineStatement {
    public:
        EngineStatement() = default;
        bool isValid() const;

        // Values by position, from 0. A text is UTF-8 bytes; an empty one is
        // the empty text, not Null. Binding starts the statement afresh.
        EngineStatement &bind(int index, QByteArrayView utf8);
        EngineStatement &bind(int index, qint64 value);
        EngineStatement &bind(int index, double value);
        EngineStatement &bindNull(int index);
        // As Statement binds it: a null QString is the empty text, an empty QVariant Null.
        EngineStatement &bindValue(int index, const QVariant &value);

        // The next row; false at the end. The first call after a bind or
        // reset() runs the statement from its start.
        bool next();
        // Runs it to its end; the rows it changed.
        int execute();
        // Lets go of its rows (until then it holds its read of the tables).
        void reset();

        // Columns of the current row, from 0.
        bool isNull(int column) const;
        bool isText(int column) const;
        qint64 integer(int column) const;
        double real(int column) const;
        // UTF-8; valid until the next step, bind or reset. Null reads as empty.
        QByteArrayView text(int column) const;
        // As the type it is stored as (Null an empty QVariant).
        QVariant value(int column) const;

        struct Engine;  // the engine's statement, finalized by its connection

    private:
        friend class Database;
        Engine &engine() const;
        sqlite3_stmt *rebinding();          // the statement, started afresh for new values
        EngineStatement &bound(int rc);     // throws the engine's error unless rc is OK
        std::shared_ptr<Engine> m_engine;
    };
    EngineStatement prepareForEngine(const QString &sql) const;

    // Whether a statement is in a transaction of this connection.
    bool inTransaction() const;

    QSqlDatabase handle() const;

private:
    struct Connection;
    Connection &connection() const;
    std::unique_ptr<Connection> m_connection;
    QString m_path;
};

// The engine's error for a failed statement or open, with its number.
Error databaseError(const QSqlError &error, const QString &context = QString());

} // namespace Platform
