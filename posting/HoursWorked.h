#pragma once

#include "platform/db.h"

#include <QStringList>

#include <optional>
#include <vector>

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

    struct Group;
    struct NewDay;

private:
    // One employee's groups of one week number, in their order: the week's
    // rows read once, its marked days rebuilt, their marks cleared. The rows
    // it adds are left in newDays.
    void recalculateWeek(const std::vector<const Group *> &week, std::vector<NewDay> &newDays);

    const Platform::Database *m_db;
    QStringList m_statements;
    Platform::Database::EngineStatement m_groups, m_week, m_delete, m_add, m_insert, m_clear;
};

// On the target database; false after an error, which is left in *failure
// when given. Nothing is shown.
bool RecalcHoursWorked(std::optional<Platform::Error> *failure = nullptr);

} // namespace KovraDS
