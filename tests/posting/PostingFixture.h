#pragma once

#include "app/AppMain.h"
#include "platform/ui.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"
#include "posting/PostingFile.h"
#include "tests/support/fixture/TevHome.h"
#include "tests/support/productdb/ProductDb.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

// Failures show texts, not their bytes.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

// A product database in the test's application folder, open as the target,
// with Monday pay weeks, the day starting at midnight and 5-minute rounding.
class PostingTest : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        AppMain::state().AppPath = home();
        KovraDS::State &s = KovraDS::state();
        s.F01Path = file(QStringLiteral("Data/F01.txt"));
        s.F1Path = file(QStringLiteral("Data/F1.txt"));
        s.F2Path = file(QStringLiteral("Data/F2.txt"));
        s.F3Path = file(QStringLiteral("Data/F3.txt"));
        s.F4Path = file(QStringLiteral("Data/F4.txt"));
        setCompany(2, QTime(0, 0), 5);
    }

    static void setCompany(int workDay, QTime dayStart, int roundTotal)
    {
        KovraDS::SetWorkDay(workDay);
        KovraDS::SetDayStartTime(dayStart);
        KovraDS::company().RoundTotal = roundTotal;
    }

    QString productFile() const { return file(QStringLiteral("product.db")); }

    void openProduct(ProductDb::Product product = ProductDb::Product::Vesk)
    {
        ProductDb::create(productFile(), product);
        AppMain::settings().TargetDbPath = productFile();
        KovraDS::state().TargetDb = Platform::Database::open(productFile());
    }

    static const Platform::Database &db() { return KovraDS::state().TargetDb; }

    // Every row of a query, its values joined by blanks ("-" for Null).
    static QStringList rows(const QString &sql)
    {
        QStringList out;
        QSqlQuery q = db().query(sql);
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("-") : q.value(i).toString());
            out << values.join(QLatin1Char(' '));
        }
        return out;
    }

    // Stores rows straight into a table: comma-separated values of the columns, "-" for Null.
    static void store(const QString &table, const QString &columns, const QStringList &stored)
    {
        for (const QString &row : stored) {
            QVariantList values;
            for (const QString &value : row.split(QLatin1Char(',')))
                values << (value == QLatin1String("-") ? QVariant() : QVariant(value));
            const QString marks = QStringLiteral("?, ").repeated(values.size() - 1) + QStringLiteral("?");
            db().execute(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)").arg(table, columns, marks), values);
        }
    }

    // The texts of the message boxes shown, in order.
    static QStringList boxTexts()
    {
        QStringList texts;
        for (const Platform::Ui::Shown &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                texts << s.text;
        }
        return texts;
    }

    static QStringList attendance()
    {
        return rows(QStringLiteral("SELECT EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin, Recalculate "
                                   "FROM [Time Attendance] ORDER BY EmpID, TDate, ClockIn"));
    }

    static QStringList hoursWorked()
    {
        return rows(QStringLiteral("SELECT EmpID, TDate, Week, [Straight Hrs], [OT Hrs] FROM [Hours Worked] "
                                   "ORDER BY EmpID, TDate"));
    }

    // Posting lines ("badge,mm/dd/yy,hh:mm") as the file reader gives them.
    static std::vector<KovraDS::PostingRow> punches(const QStringList &lines)
    {
        std::vector<KovraDS::PostingRow> out;
        for (const QString &line : lines) {
            KovraDS::PostingRow row;
            EXPECT_TRUE(KovraDS::ParsePostingLine(line.toLatin1(), 0, row)) << line.toStdString();
            out.push_back(row);
        }
        return out;
    }
};
