#include "setup/CmdSources.h"

#include "app/AppMain.h"
#include "platform/ansi.h"
#include "platform/error.h"
#include "posting/Calendar.h"

#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlField>
#include <QSqlRecord>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace CmdSources {

namespace {

QString text(const QSqlRecord &r, const QString &column)
{
    const int i = r.indexOf(column);
    return i < 0 || r.isNull(i) ? QString() : r.value(i).toString();
}

bool isNumber(const QString &t)
{
    bool ok = false;
    t.trimmed().toDouble(&ok);
    return ok;
}

CmdFile::Employee employee(const QSqlRecord &r, const QString &scheduleColumn)
{
    CmdFile::Employee e;
    e.number = r.isNull(0) ? QString() : r.value(0).toString();
    e.firstName = text(r, QStringLiteral("FirstName"));
    e.lastName = text(r, QStringLiteral("LastName"));
    QStringList unfit;
    // A number too long for its three places gets a mark no schedule or
    // message starts with, so the selection rules pass it by, and the
    // record names it when the file is built.
    const auto place = [&](const QString &column, const char *what) {
        const QString stored = text(r, column).trimmed();
        if (const std::optional<QString> three = Pad3(stored))
            return *three;
        unfit << QStringLiteral("its %1 number %2 has more than three digits").arg(QLatin1String(what), stored);
        return QStringLiteral("???");
    };
    const QString schedule = place(scheduleColumn, "schedule");
    const QString message = place(QStringLiteral("MsgNo"), "message");
    e.tag = schedule + message + text(r, QStringLiteral("SupervisorLevel"));
    e.unfit = unfit.join(QStringLiteral("; "));
    return e;
}

void addGroup(std::vector<EmpGroup> &groups, const QString &groupText, const Platform::Snapshot &rows,
              bool expanded = false)
{
    if (rows.empty())
        return;   // a group without employees gets no node
    EmpGroup g{groupText, expanded, {}};
    for (const QSqlRecord &r : rows.rows())
        g.employees.push_back(employee(r, QStringLiteral("ScheduleNo")));
    groups.push_back(std::move(g));
}

} // namespace

Kind KindOf(const QString &targetType)
{
    if (targetType == AppMain::kTextFilesTarget)
        return Kind::Text;
    if (targetType == AppMain::kVeskTarget)
        return Kind::Vesk;
    if (targetType == AppMain::kBrixTarget)
        return Kind::Brix;
    return Kind::None;
}

std::vector<std::vector<QVariant>> ReadCsv(const QByteArray &raw)
{
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString all = utf8.decode(bytes);
    if (utf8.hasError())
        all = Platform::Ansi::decode(bytes);

    std::vector<std::vector<QVariant>> rows;
    std::vector<QVariant> row;
    QString field;
    bool inQuotes = false;
    bool quoted = false;   // the field is in quotes: its blanks are its own
    bool any = false;      // the line has anything at all
    auto endField = [&] {
        const QString value = quoted ? field : field.trimmed();
        row.push_back(value.isEmpty() ? QVariant() : QVariant(value));
        field.clear();
        quoted = false;
    };
    auto endLine = [&] {
        if (any) {
            endField();
            rows.push_back(std::move(row));
        }
        row.clear();
        field.clear();
        quoted = any = false;
    };
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QChar c = all[i];
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < all.size() && all[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (!quoted && field.trimmed().isEmpty())
                field.clear();   // blanks before the opening quote
            inQuotes = quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            endField();
            any = true;
        } else if (c == QLatin1Char('\n')) {
            endLine();
        } else if (c == QLatin1Char('\r') && i + 1 < all.size() && all[i + 1] == QLatin1Char('\n')) {
            continue;
        } else if (!(quoted && c.isSpace())) {   // blanks after the closing quote are not the value's
            field += c;
            if (!c.isSpace())
                any = true;
        }
    }
    endLine();
    return rows;
}

std::optional<QString> Pad3(const QVariant &stored)
{
    const QString t = stored.isNull() ? QString() : stored.toString().trimmed();
    if (t.isEmpty())
        return QStringLiteral("000");
    const std::optional<QString> digits = CmdFile::ThreeDigits(t);
    if (!digits)
        return t;
    if (digits->size() > 3)
        return std::nullopt;
    return digits;
}

const QStringList &EmployeeColumns()
{
    static const QStringList c{QStringLiteral("FirstName"),    QStringLiteral("LastName"),
                               QStringLiteral("DepartmentNo"), QStringLiteral("ScheduleNo"),
                               QStringLiteral("MsgNo"),        QStringLiteral("SupervisorLevel")};
    return c;
}

const QStringList &ScheduleColumns()
{
    static const QStringList c{QStringLiteral("ScheduleNo"), QStringLiteral("Description"), QStringLiteral("TheDay"),
                               QStringLiteral("StartTime"), QStringLiteral("EndTime")};
    return c;
}

void LoadTextTable(const Platform::Database &db, const QString &table, const QString &path,
                   const QStringList &required, const QStringList &positional, const QStringList &padded)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::FileNotFound, file.errorString());
    std::vector<std::vector<QVariant>> rows = ReadCsv(file.readAll());
    const QString name = QFileInfo(path).fileName();

    QStringList columns = positional;
    std::size_t first = 0;
    if (!required.isEmpty()) {
        if (rows.empty())
            throw Platform::Error(Platform::ErrorNo::ItemNotFound,
                                  QStringLiteral("%1 has no line naming its columns.").arg(name));
        columns.clear();
        for (const QVariant &v : rows[0])
            columns << v.toString();
        while (!columns.isEmpty() && columns.last().isEmpty())
            columns.removeLast();   // a trailing comma names no column
        for (const QString &need : required) {
            if (!columns.contains(need, Qt::CaseInsensitive))
                throw Platform::Error(Platform::ErrorNo::ItemNotFound,
                                      QStringLiteral("%1 has no column %2.").arg(name, need));
        }
        first = 1;
    } else if (!rows.empty() && !isNumber(rows[0].empty() ? QString() : rows[0][0].toString())) {
        first = 1;
    }

    std::vector<int> pad;
    for (int i = 0; i < columns.size(); ++i) {
        if (padded.contains(columns[i], Qt::CaseInsensitive))
            pad.push_back(i);
    }

    DropTextTable(db, table);
    QStringList defs, marks;
    for (const QString &c : columns) {
        defs << Platform::QuotedName(c) + QStringLiteral(" TEXT");
        marks << QStringLiteral("?");
    }
    Platform::Database::Transaction t(db);
    db.execute(QStringLiteral("CREATE TEMP TABLE %1 (%2)").arg(Platform::QuotedName(table), defs.join(QStringLiteral(", "))));
    Platform::Database::Statement insert =
        db.prepare(QStringLiteral("INSERT INTO temp.%1 VALUES (%2)").arg(Platform::QuotedName(table), marks.join(QLatin1Char(','))));
    for (std::size_t i = first; i < rows.size(); ++i) {
        std::vector<QVariant> &row = rows[i];
        // Columns past those read are ignored in a file read by position;
        // under a header only empty ones (a trailing comma) may stand there.
        const auto past = row.begin() + std::min<std::size_t>(row.size(), columns.size());
        if (!required.isEmpty() && std::any_of(past, row.end(), [](const QVariant &v) { return !v.isNull(); }))
            throw Platform::Error(Platform::ErrorNo::TypeMismatch,
                                  QStringLiteral("Line %1 of %2 has more fields than its columns.").arg(i + 1).arg(name));
        row.resize(columns.size());
        for (int p : pad) {
            // A number too long stays as written, for its record to name.
            if (const std::optional<QString> three = row[p].isNull() ? std::nullopt : Pad3(row[p]))
                row[p] = *three;
        }
        insert.execute(QVariantList(row.begin(), row.end()));
    }
    t.commit();
}

void DropTextTable(const Platform::Database &db, const QString &table)
{
    db.execute(QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(Platform::QuotedName(table)));
}

void CopyIntoData(const QString &source, const QString &copy)
{
    const QFileInfo from(source), to(copy);
    if (to.exists() && from.canonicalFilePath() == to.canonicalFilePath())
        return;   // the source is the copy: reading it is all there is to do
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::FileNotFound, in.errorString());
    const QByteArray bytes = in.readAll();
    CmdFile::WriteFile(copy, bytes);
}

void EmployeeGroups(const Platform::Database &db, Kind kind, int grouping, bool scheduleFile,
                    std::vector<EmpGroup> &groups)
{
    if (kind == Kind::None)
        return;
    const bool isText = kind == Kind::Text;
    const QString active = isText ? QStringLiteral("1") : QStringLiteral("Status <> 0");
    if (grouping == 0) {
        addGroup(groups, QStringLiteral("ALL"),
                 db.snapshot(QStringLiteral("SELECT * FROM Employee WHERE %1 ORDER BY rowid").arg(active)), true);
    } else if (grouping == 1) {
        addGroup(groups, QStringLiteral("No Department"),
                 db.snapshot(QStringLiteral("SELECT * FROM Employee WHERE DepartmentNo IS NULL AND %1 ORDER BY rowid")
                                 .arg(active)));
        const Platform::Snapshot deps =
            isText ? db.snapshot(QStringLiteral("SELECT DepartmentNo FROM Employee WHERE DepartmentNo IS NOT NULL "
                                              "GROUP BY DepartmentNo ORDER BY MIN(rowid)"))
                 : db.snapshot(QStringLiteral("SELECT DepartmentNo, Description FROM Department ORDER BY rowid"));
        Platform::Database::Statement members = db.prepare(
            QStringLiteral("SELECT * FROM Employee WHERE DepartmentNo = ? AND %1 ORDER BY rowid").arg(active));
        for (const QSqlRecord &d : deps.rows()) {
            const QString number = text(d, QStringLiteral("DepartmentNo"));
            addGroup(groups, isText ? number : number + QLatin1Char(' ') + text(d, QStringLiteral("Description")),
                     members.snapshot({number}));
        }
    } else if (grouping == 2 && !isText) {
        const QString id = kind == Kind::Vesk ? QStringLiteral("ID") : QStringLiteral("EmpID");
        const Platform::Snapshot rows = db.snapshot(
            QStringLiteral("SELECT %1, FirstName, LastName, Employee.ScheduleNo AS ScheduleNum, MsgNo, SupervisorLevel, "
                           "Description FROM Employee LEFT JOIN Schedule ON Employee.ScheduleNo = Schedule.ScheduleNo "
                           "WHERE Status <> 0 ORDER BY Employee.ScheduleNo, Employee.rowid")
                .arg(id));
        QString previous;
        bool started = false;
        for (const QSqlRecord &r : rows.rows()) {
            const bool none = r.isNull(QStringLiteral("ScheduleNum"));
            const QVariant stored = r.value(QStringLiteral("ScheduleNum"));
            const QString group = none ? QStringLiteral("No Schedule")
                                       : Pad3(stored).value_or(stored.toString()) + QLatin1Char(' ')
                                             + text(r, QStringLiteral("Description"));
            if (!started || group != previous) {
                groups.push_back({group, false, {}});
                previous = group;
                started = true;
            }
            groups.back().employees.push_back(employee(r, QStringLiteral("ScheduleNum")));
        }
    } else if (grouping == 2) {
        addGroup(groups, QStringLiteral("No Schedule"),
                 db.snapshot(QStringLiteral("SELECT * FROM Employee WHERE ScheduleNo IS NULL OR ScheduleNo = '000' "
                                            "ORDER BY rowid")));
        const Platform::Snapshot schs =
            scheduleFile
                ? db.snapshot(QStringLiteral("SELECT ScheduleNo, Description FROM Schedule GROUP BY ScheduleNo, "
                                             "Description ORDER BY MIN(rowid)"))
                : db.snapshot(QStringLiteral("SELECT ScheduleNo FROM Employee WHERE ScheduleNo IS NOT NULL AND "
                                             "ScheduleNo <> '000' GROUP BY ScheduleNo ORDER BY MIN(rowid)"));
        Platform::Database::Statement members =
            db.prepare(QStringLiteral("SELECT * FROM Employee WHERE ScheduleNo = ? ORDER BY rowid"));
        for (const QSqlRecord &s : schs.rows()) {
            const QString number = text(s, QStringLiteral("ScheduleNo"));
            if (number.isEmpty() || number == QLatin1String("000"))
                continue;   // already under "No Schedule"
            addGroup(groups,
                     scheduleFile ? number + QLatin1Char(' ') + text(s, QStringLiteral("Description")) : number,
                     members.snapshot({number}));
        }
    }
}

std::vector<ScheduleItem> Schedules(const Platform::Database &db, Kind kind)
{
    std::vector<ScheduleItem> items;
    if (kind == Kind::None)
        return items;
    const Platform::Snapshot rows =
        kind == Kind::Text
            ? db.snapshot(QStringLiteral("SELECT ScheduleNo, Description FROM Schedule WHERE ScheduleNo IS NOT NULL "
                                         "GROUP BY ScheduleNo ORDER BY ScheduleNo"))
            : db.snapshot(QStringLiteral("SELECT ScheduleNo, Description FROM Schedule ORDER BY rowid"));
    for (const QSqlRecord &r : rows.rows()) {
        ScheduleItem s;
        s.number = text(r, QStringLiteral("ScheduleNo"));
        s.shown = Pad3(s.number).value_or(s.number);
        s.text = s.shown + QLatin1Char(' ') + text(r, QStringLiteral("Description"));
        items.push_back(s);
    }
    return items;
}

std::vector<CmdFile::Schedule> ScheduleRows(const Platform::Database &db, Kind kind,
                                            const std::vector<ScheduleItem> &items)
{
    std::vector<CmdFile::Schedule> result;
    if (items.empty())
        return result;
    // Every day row in one query (one per schedule reads the table once
    // each), in TheDay order, put under its schedule's stored number.
    const Platform::Snapshot rows =
        kind == Kind::Text
            ? db.snapshot(QStringLiteral("SELECT ScheduleNo AS Sch, ScheduleNo AS DayOf, TheDay, StartTime, EndTime "
                                         "FROM Schedule WHERE ScheduleNo IS NOT NULL "
                                         "ORDER BY CAST(TheDay AS INTEGER), rowid"))
            : db.snapshot(QStringLiteral("SELECT Schedule.ScheduleNo AS Sch, [Schedule Days].ScheduleNo AS DayOf, "
                                         "TheDay, StartTime, EndTime FROM Schedule LEFT JOIN [Schedule Days] ON "
                                         "Schedule.ScheduleNo = [Schedule Days].ScheduleNo "
                                         "ORDER BY CAST(TheDay AS INTEGER), [Schedule Days].rowid"));
    QHash<QString, std::vector<CmdFile::ScheduleDay>> days;
    for (const QSqlRecord &r : rows.rows()) {
        if (r.isNull(QStringLiteral("Sch")))
            continue;   // a schedule without a number is no schedule
        std::vector<CmdFile::ScheduleDay> &of = days[text(r, QStringLiteral("Sch"))];
        if (r.isNull(QStringLiteral("DayOf")))
            continue;   // the join's empty row: a schedule without days
        of.push_back({r.value(QStringLiteral("TheDay")), r.value(QStringLiteral("StartTime")),
                      r.value(QStringLiteral("EndTime"))});
    }
    for (const ScheduleItem &item : items) {
        CmdFile::Schedule s;
        s.number = item.shown;
        const auto found = days.constFind(item.number);
        s.found = found != days.cend();
        if (s.found)
            s.days = *found;
        result.push_back(std::move(s));
    }
    return result;
}

QString ProductMessageTable(const Platform::Database &db)
{
    for (const QString &table : {QStringLiteral("ClkMsgs"), QStringLiteral("Message")}) {
        if (!db.snapshot(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view') "
                                        "AND name = ? COLLATE NOCASE"),
                         {table})
                 .empty())
            return table;
    }
    return QString();
}

std::vector<MessageItem> Messages(const Platform::Database &db, const QString &table)
{
    std::vector<MessageItem> items;
    const Platform::Snapshot rows = db.snapshot(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(Platform::QuotedName(table)));
    for (const QSqlRecord &r : rows.rows()) {
        MessageItem m;
        m.number = r.isNull(0) ? QString() : r.value(0).toString();
        m.text = r.count() > 1 && !r.isNull(1) ? r.value(1).toString() : QString();
        m.shown = CmdFile::ThreeDigits(m.number).value_or(m.number) + QLatin1Char(' ') + m.text;
        items.push_back(m);
    }
    return items;
}

int LoadGracePeriod(const Platform::Database &db, Kind kind)
{
    // A continuous poll checks schedules and pairs punches by the settings it loaded: they stay.
    KovraDS::CompanySettingsRec &company = KovraDS::company();
    const KovraDS::CompanySettingsRec kept = company;
    if (kind == Kind::Brix)
        KovraDS::LoadTargetCompanySettings(db);
    else if (kind == Kind::Vesk)
        KovraDS::LoadVeskCompanySettings();
    else
        return 0;
    return std::exchange(company, kept).GracePeriod;
}

} // namespace CmdSources
