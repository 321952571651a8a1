// The module's state, the settings store and the maintenance of the clock database.
#include "app/AppMain.h"

#include "platform/error.h"
#include "platform/ui.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUrl>

// The schema is compiled into the program; a static library must ask for its resources.
static void initSchemaResource()
{
    Q_INIT_RESOURCE(resources);
}

namespace AppMain {

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    state() = State{};
}

namespace {

// The six tables, in the order they are copied.
const char *const kClockTables[] = {
    "Registry", "Clocks", "ClkMsg", "Function Keys Mappings", "Function Keys", "TcpClocks",
};

// The columns of a table as the main database has them, quoted for SQL.
QStringList columnsOf(const Platform::Database &db, const QString &schema, const QString &table)
{
    QStringList columns;
    QSqlQuery q = db.query(QStringLiteral("SELECT name FROM pragma_table_info(?, ?)"), {table, schema});
    while (q.next())
        columns << Platform::QuotedName(q.value(0).toString());
    return columns;
}

// The columns the main table and the attached source table both have, in the
// main table's order. An older source lacks some (they take the table's
// default) or has others (left behind): copying by name, never by position,
// keeps each value in its own column.
QStringList sharedColumns(const Platform::Database &db, const QString &table)
{
    const QStringList sourceColumns = columnsOf(db, QStringLiteral("src"), table);
    QStringList shared;
    for (const QString &c : columnsOf(db, QStringLiteral("main"), table)) {
        if (sourceColumns.contains(c, Qt::CaseInsensitive))
            shared << c;
    }
    return shared;
}

// A read-only URI for a file SQLite must never create.
QString readOnlyUri(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
           QStringLiteral("?mode=ro");
}

class Attached {
public:
    Attached(const Platform::Database &db, const QString &path) : m_db(db)
    {
        db.execute(QStringLiteral("ATTACH DATABASE ? AS src"), {readOnlyUri(path)});
    }
    ~Attached()
    {
        try {
            m_db.execute(QStringLiteral("DETACH DATABASE src"));
        } catch (const Platform::Error &) {
            // Nothing more can be done; the next ATTACH reports it.
        }
    }

private:
    const Platform::Database &m_db;
};

QString runScript(const Platform::Database &db, const QString &resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::FileNotFound, QStringLiteral("Cannot read %1.").arg(resource));
    const QString script = QString::fromUtf8(file.readAll());
    // Statements end with ";" at a line end; the schema has no ";" elsewhere.
    const QStringList statements = script.split(QRegularExpression(QStringLiteral(";\\s*(\\n|$)")));
    for (const QString &statement : statements) {
        QString sql;
        for (const QString &line : statement.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QLatin1String("--")))
                sql += line + QLatin1Char('\n');
        }
        if (!sql.trimmed().isEmpty())
            db.execute(sql);
    }
    return script;
}

QString freeDamagedName(const QString &path)
{
    QString name = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = path + QStringLiteral(".damaged.") + QString::number(n);
    return name;
}

// Copies the rows of the damaged file that can still be read into `target`.
void salvageRows(const QString &damagedPath, const Platform::Database &target)
{
    Attached attached(target, damagedPath);

    // A file whose catalogue cannot be read is no database: nothing to save.
    target.snapshot(QStringLiteral("SELECT name FROM src.sqlite_master"));

    for (const char *table : kClockTables) {
        const QString name = QString::fromLatin1(table);
        const QStringList shared = sharedColumns(target, name);
        if (shared.isEmpty())
            continue;
        // Row by row through the table itself, not its indexes, so a damaged
        // index costs nothing and a damaged page only the rows on it.
        QSqlQuery read(target.handle());
        read.setForwardOnly(true);
        if (!read.exec(QStringLiteral("SELECT %1 FROM src.%2 NOT INDEXED").arg(shared.join(QLatin1Char(',')), Platform::QuotedName(name))))
            continue;
        const QString insert = QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) VALUES (%3)")
                                   .arg(Platform::QuotedName(name), shared.join(QLatin1Char(',')),
                                        QStringList(shared.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        while (read.next()) {
            QVariantList values;
            for (int i = 0; i < shared.size(); ++i)
                values << read.value(i);
            target.execute(insert, values);
        }
    }
}

} // namespace

Platform::Snapshot OpenRegKey(const Platform::Database &db, const QString &key)
{
    return db.snapshot(QStringLiteral("SELECT RegKey, RegField, RegValue FROM Registry WHERE RegKey = ?"), {key});
}

QString GetRegValue(const Platform::Snapshot &rs, const QString &field, const QString &defaultValue)
{
    const QSqlRecord *row = rs.findFirst([&field](const QSqlRecord &r) {
        return r.value(1).toString().compare(field, Qt::CaseInsensitive) == 0;
    });
    if (!row)
        return defaultValue;
    if (row->isNull(2))
        throw Platform::Error(Platform::ErrorNo::InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    return row->value(2).toString();
}

void SaveRegValue(const QString &key, const QString &field, const QString &value)
{
    const Platform::Database &db = state().MainDb;
    Platform::Database::Transaction transaction(db);
    const int changed = db.execute(
        QStringLiteral("UPDATE Registry SET RegValue = ? WHERE RegKey = ? AND RegField = ?"), {value, key, field});
    if (changed == 0)
        db.execute(QStringLiteral("INSERT INTO Registry (RegKey, RegField, RegValue) VALUES (?, ?, ?)"),
                   {key, field, value});
    transaction.commit();
}

void DeleteRegValue(const QString &key, const QString &field)
{
    state().MainDb.execute(QStringLiteral("DELETE FROM Registry WHERE RegKey = ? AND RegField = ?"), {key, field});
}

void ImportDatabase(const QString &path)
{
    try {
        Platform::Ui::BusyCursor busy;
        const Platform::Database &db = state().MainDb;
        // Opening it first tells a missing or damaged source apart from a missing table.
        Platform::Database source = Platform::Database::open(path);
        Attached attached(db, path);
        for (const char *table : kClockTables) {
            const QString name = QString::fromLatin1(table);
            if (columnsOf(db, QStringLiteral("src"), name).isEmpty())
                throw Platform::Error(Platform::ErrorNo::TableNotFound,
                                      QStringLiteral("Cannot find the table '%1' in '%2'.").arg(name, path));
            const QStringList columns = sharedColumns(db, name);
            if (columns.isEmpty())
                continue;
            // Rows the table refuses (a key already there) are skipped; the rest are copied.
            db.execute(QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) SELECT %2 FROM src.%1")
                           .arg(Platform::QuotedName(name), columns.join(QLatin1Char(','))));
        }
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        ShowErrorMsg(QString(), e.description());
        return;
    }
    Platform::Ui::msgBox(QStringLiteral("Database was imported successfully."), Platform::Ui::Style::Information);
}

bool RepairDatabase(const QString &path)
{
    const QString repaired = path + QStringLiteral(".repair");
    try {
        Platform::Ui::BusyCursor busy;
        state().MainDb.close();
        QFile::remove(repaired);
        {
            QFile create(repaired);
            if (!create.open(QIODevice::WriteOnly))
                throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                                      QStringLiteral("Cannot write '%1': %2").arg(repaired, create.errorString()));
        }
        {
            Platform::Database fresh = Platform::Database::open(repaired);
            initSchemaResource();
            runScript(fresh, QStringLiteral(":/Clock103.sql"));
            salvageRows(path, fresh);
            const Platform::Snapshot check = fresh.snapshot(QStringLiteral("PRAGMA integrity_check"));
            if (check.empty() || check.rows().front().value(0).toString() != QLatin1String("ok"))
                throw Platform::Error(Platform::ErrorNo::DatabaseCorrupt,
                                      QStringLiteral("The repaired database did not pass its check."));
        }
        // The damaged file is kept beside the repaired one, never deleted.
        if (!QFile::rename(path, freeDamagedName(path)) || !QFile::rename(repaired, path))
            throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                                  QStringLiteral("Cannot put the repaired database in place of '%1'.").arg(path));
        state().MainDb = Platform::Database::open(path);
    } catch (const Platform::Error &e) {
        QFile::remove(repaired);
        Platform::ActiveError active(e);
        ShowErrorMsg(QString(), e.description());
        return false;
    }
    Platform::Ui::msgBox(QStringLiteral("Database was repaired successfully."), Platform::Ui::Style::Information);
    return true;
}

} // namespace AppMain
