#pragma once

#include "platform/error.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

// The database layer: SQLite files in place of the old engine's files. Opening
// never creates a file and checks the one it opens; failures are
// Platform::Error with the engine's error numbers (3024 missing, 3049
// damaged, ...). Values are always bound, never pasted into SQL text.
namespace Platform {

// The rows of a query, read once: what the program searches without going
// back to the database.
class Snapshot {
public:
    Snapshot() = default;
    explicit Snapshot(std::vector<QSqlRecord> rows) : m_rows(std::move(rows)) {}

    const std::vector<QSqlRecord> &rows() const { return m_rows; }
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

    // Opens an existing database file read-write (or read-only) and checks it.
    // An empty or missing path is 3024; a file that is not a database or fails
    // the check is 3049.
    static Database open(const QString &path, bool readOnly = false);

    bool isOpen() const { return m_connection != nullptr; }
    QString path() const { return m_path; }
    void close();

    // Runs a statement with bound values; returns the rows it changed.
    int execute(const QString &sql, const QVariantList &values = {}) const;
    // Runs a query with bound values and returns a live query positioned before its first row.
    QSqlQuery query(const QString &sql, const QVariantList &values = {}) const;
    Snapshot snapshot(const QString &sql, const QVariantList &values = {}) const;

    // One logical operation: committed by commit(), rolled back when left without it.
    class Transaction {
    public:
        explicit Transaction(const Database &db);
        ~Transaction();
        void commit();

    private:
        const Database *m_db;
        bool m_done = false;
    };

    QSqlDatabase handle() const;

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
    QString m_path;
};

// The engine's error for a failed statement or open, with its number.
Error databaseError(const QSqlError &error, const QString &context = QString());

} // namespace Platform
