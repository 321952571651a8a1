#pragma once

#include "platform/db.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <vector>

// The one pairing engine of the database postings: a punch closes the
// employee's open pair of its work day, is put in front of it when earlier
// than its start, or opens a new pair. Attendance, labor and access-control
// postings describe their table and share the rest.
namespace KovraDS {

struct PostingRow;

struct PairingTable {
    QString Table;                                 // "Time Attendance", "Labor Tracking", ...
    QString StartDate = QStringLiteral("TDate");
    QString StartTime = QStringLiteral("ClockIn");
    QString EndDate = QStringLiteral("DateOut");
    QString EndTime = QStringLiteral("ClockOut");
    QString OpenColumn = QStringLiteral("ClockOut");  // Null while the pair is open
    QStringList KeyColumns;        // besides EmpID, matched with the punch's keys in this order
    bool Week = true;              // Week written when a pair opens; the open pair must have the punch's week
    bool Recalculate = true;       // a changed pair marks the employee's rows up to the week's end
    bool EmployeeGuard = false;    // a new pair only for a badge that Employee.ID holds
};

enum class PairingOutcome { Duplicate, Opened, Closed, PutInFront, Unchanged, UnknownEmployee };

class Pairing {
public:
    // Prepares every statement; a missing table or column fails here
    // (3078, 3265) before anything is written.
    Pairing(const Platform::Database &db, PairingTable table);

    // One punch, in the caller's transaction. keys: one per key column.
    PairingOutcome post(const QString &empId, const QStringList &keys, const QDate &date, const QTime &time);

    // The rows the last post's insert or update changed (the marking not
    // counted): 1 for a punch that was written, 0 for one the table ignored.
    int rowsChanged() const { return m_changed; }
    // The write the last post tried (Opened, Closed, PutInFront), also when
    // the database refused it; Unchanged when it wrote nothing.
    PairingOutcome attempted() const { return m_attempted; }

    const PairingTable &table() const { return m_table; }
    // The texts of the prepared statements (their query plans are checked).
    const QStringList &statements() const { return m_statements; }

private:
    using Statement = Platform::Database::EngineStatement;
    // Binds the employee and the keys from index `at` on; the index after them.
    int bindKeys(Statement &statement, int at) const;

    PairingTable m_table;
    QStringList m_statements;
    int m_changed = 0;
    PairingOutcome m_attempted = PairingOutcome::Unchanged;
    // The punch's employee and keys as bound, set by each post.
    QByteArray m_badge;
    QByteArrayList m_keys;
    Statement m_duplicate, m_openPair, m_close, m_putInFront, m_insert, m_mark, m_employee;
};

// What a posting run does with a punch whose write the database refuses
// (a constraint, a trigger) or ignores (no row changed).
enum class Refusals {
    PassNewRowsOver,  // a refused new pair is rolled back, passed over and counted; any other refusal fails the run
    FailRun,          // every refusal fails the run
};

// One posting run: one transaction, each punch in a savepoint. Returns how
// many punches were passed over. A failure rolls back its punch, keeps those
// before it (committed) and reaches the caller naming the card. beforeEach,
// when set, runs before each row is looked at (a progress window follows it).
int PostRows(const Platform::Database &db, Pairing &pairing, const std::vector<PostingRow> &rows, Refusals refusals,
             const std::function<void()> &beforeEach = {});

// A row of a run that the database refused and that was passed over.
struct RefusedRow {
    std::size_t Row;
    Platform::Error Cause;
};

// The rows of a posting run, each in a savepoint of the caller's transaction
// `run`: write(i) writes row i or throws. A refusal that passOver allows is
// rolled back alone and listed, also one by a trigger's RAISE(ROLLBACK),
// which undoes the whole transaction: it is begun again and the rows before
// posted again. Any other failure rolls back its row and reaches the caller
// naming card(i); what becomes of `run` and the rows before is the caller's.
std::vector<RefusedRow> PostEach(Platform::Database::Transaction &run, const Platform::Database &db, std::size_t count,
                                 const std::function<QString(std::size_t)> &card,
                                 const std::function<void(std::size_t)> &write,
                                 const std::function<bool(const Platform::Error &)> &passOver,
                                 const std::function<void()> &beforeEach = {});

// An error of a card's punch, the card named before the database's own message.
Platform::Error CardError(const QString &card, const Platform::Error &e);

} // namespace KovraDS
