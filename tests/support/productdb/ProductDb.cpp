#include "tests/support/productdb/ProductDb.h"

#include "platform/db.h"

#include <QFile>

namespace ProductDb {

namespace {

const QStringList kAttendance = {
    QStringLiteral("CREATE TABLE Employee (ID TEXT COLLATE NOCASE, FirstName TEXT, LastName TEXT, "
                   "ScheduleNo TEXT COLLATE NOCASE, Status INTEGER, CardID TEXT COLLATE NOCASE)"),
    QStringLiteral("CREATE INDEX EmployeeByID ON Employee (ID)"),
    QStringLiteral("CREATE INDEX EmployeeByCard ON Employee (CardID)"),
};

QStringList timeAttendance(bool recalculate)
{
    return {
        QStringLiteral("CREATE TABLE [Time Attendance] (ID INTEGER PRIMARY KEY, EmpID TEXT COLLATE NOCASE, "
                       "TDate TEXT, Week INTEGER, ClockIn TEXT, DateOut TEXT, ClockOut TEXT, "
                       "TotalHrs INTEGER, TotalMin INTEGER%1)")
            .arg(recalculate ? QStringLiteral(", Recalculate INTEGER") : QString()),
        QStringLiteral("CREATE INDEX AttendanceByIn ON [Time Attendance] (EmpID, TDate, ClockIn)"),
        QStringLiteral("CREATE INDEX AttendanceByOut ON [Time Attendance] (EmpID, DateOut, ClockOut)"),
    };
}

const QStringList kRecalculation = {
    QStringLiteral("CREATE INDEX AttendanceMarked ON [Time Attendance] (EmpID, TDate, ClockIn, Week) "
                   "WHERE Recalculate <> 0"),
    QStringLiteral("CREATE TABLE [Hours Worked] (ID INTEGER PRIMARY KEY, EmpID TEXT COLLATE NOCASE, TDate TEXT, "
                   "Week INTEGER, [Straight Hrs] REAL, [OT Hrs] REAL, [DT Hrs] REAL)"),
    QStringLiteral("CREATE INDEX HoursByWeek ON [Hours Worked] (EmpID, Week, TDate)"),
};

const QStringList kRegistry = {
    QStringLiteral("CREATE TABLE Registry (RegKey TEXT COLLATE NOCASE, RegField TEXT COLLATE NOCASE, RegValue TEXT)"),
};

QStringList laborTable(const QString &name, const QString &keys)
{
    const QString index = QString(name).remove(QLatin1Char(' '));
    return {
        QStringLiteral("CREATE TABLE [%1] (ID INTEGER PRIMARY KEY, EmpID TEXT COLLATE NOCASE, %2, StartDate TEXT, "
                       "StartTime TEXT, EndDate TEXT, EndTime TEXT, TotalHrs INTEGER, TotalMin INTEGER)")
            .arg(name, keys),
        QStringLiteral("CREATE INDEX %1ByStart ON [%2] (EmpID, StartDate, StartTime)").arg(index, name),
        QStringLiteral("CREATE INDEX %1ByEnd ON [%2] (EmpID, EndDate, EndTime)").arg(index, name),
    };
}

const QStringList kSorbOwn = {
    QStringLiteral("CREATE TABLE Members (ID TEXT COLLATE NOCASE, FirstName TEXT, Status INTEGER, "
                   "CardID TEXT COLLATE NOCASE)"),
    QStringLiteral("CREATE INDEX MembersByCard ON Members (CardID)"),
    QStringLiteral("CREATE TABLE [Schedule Days] (ScheduleNo TEXT COLLATE NOCASE, TheDay INTEGER, StartTime TEXT, "
                   "EndTime TEXT, StartTimeR TEXT, EndTimeR TEXT, StartTimeR2 TEXT, EndTimeR2 TEXT)"),
    QStringLiteral("CREATE INDEX ScheduleDaysByDay ON [Schedule Days] (ScheduleNo, TheDay)"),
    QStringLiteral("CREATE TABLE [Time Attendance1] (ID INTEGER PRIMARY KEY, EmpID TEXT COLLATE NOCASE, TDate TEXT, "
                   "ClockIn TEXT)"),
};

} // namespace

QStringList schema(Product product)
{
    switch (product) {
    case Product::Vesk:
        return kAttendance + timeAttendance(true) + kRecalculation;
    case Product::Brix: {
        const QString text = QStringLiteral("%1 TEXT COLLATE NOCASE");
        return kAttendance + timeAttendance(true) + kRecalculation + kRegistry +
               laborTable(QStringLiteral("Labor Tracking"),
                          QStringLiteral("WorkOrderNo TEXT COLLATE NOCASE, PartNo TEXT COLLATE NOCASE, "
                                         "[Job Code] TEXT COLLATE NOCASE")) +
               laborTable(QStringLiteral("Labor Track2"),
                          QStringLiteral("PartNo TEXT COLLATE NOCASE, [Job Code] TEXT COLLATE NOCASE")) +
               laborTable(QStringLiteral("Labor Track3"), text.arg(QStringLiteral("[Job Code]"))) +
               laborTable(QStringLiteral("Labor Track4"),
                          QStringLiteral("WorkOrderNo TEXT COLLATE NOCASE, [Job Code] TEXT COLLATE NOCASE"));
    }
    case Product::Sorb:
        return kAttendance + timeAttendance(false) + kRegistry + kSorbOwn;
    }
    return {};
}

void create(const QString &path, Product product)
{
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Platform::Error(Platform::ErrorNo::PermissionDenied, QStringLiteral("Cannot create ") + path);
    file.close();
    const Platform::Database db = Platform::Database::open(path);
    Platform::Database::Transaction tx(db);
    for (const QString &sql : schema(product))
        db.execute(sql);
    tx.commit();
}

} // namespace ProductDb
