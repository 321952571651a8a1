#pragma once

#include "platform/db.h"

#include <QStringList>

#include <optional>

// The daily summary of hours worked, rebuilt for the attendance rows marked
// for recalculation: straight time up to 40 hours a pay week, the rest overtime.
namespace KovraDS {

class HoursWorked {
public:
    // Prepares every statement: a missing table or column fails here.
    explicit HoursWorked(const Platform::Database &db);
    // Rebuilds every marked day in one transaction and clears its marks; an
    // error rolls all of it back (the marks stay) and reaches the caller.
    void recalculate();
    const QStringList &statements() const { return m_statements; }

private:
    const Platform::Database *m_db;
    QStringList m_statements;
    Platform::Database::Statement m_groups, m_delete, m_weekTotal, m_add, m_insert, m_clear;
};

// On the target database; false after an error, which is left in *failure
// when given. Nothing is shown.
bool RecalcHoursWorked(std::optional<Platform::Error> *failure = nullptr);

} // namespace KovraDS
