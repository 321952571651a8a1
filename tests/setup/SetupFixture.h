#pragma once

#include "app/AppMain.h"
#include "link/SerialClk.h"
#include "platform/ui.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSqlRecord>
#include <QWidget>

#include <ostream>

// Failures show texts as text.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

// A copy of the default clock database, opened and loaded as start-up leaves it.
class SetupTest : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        SerialClk::InitProtocolChars();
        AppMain::LoadClockParms();
    }

    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        TevHome::TearDown();
    }

    static const Platform::Database &db() { return AppMain::state().MainDb; }

    // Every row of a table, as text, in stored order: what "nothing changed" compares.
    static QStringList dump(const QString &table)
    {
        QStringList rows;
        const Platform::Snapshot s = db().snapshot(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table));
        for (const QSqlRecord &r : s.rows()) {
            QStringList fields;
            for (int i = 0; i < r.count(); ++i)
                fields << (r.isNull(i) ? QStringLiteral("<null>") : r.value(i).toString());
            rows << fields.join(QLatin1Char('|'));
        }
        return rows;
    }

    // The error boxes shown so far.
    static QStringList errorBoxes()
    {
        QStringList texts;
        for (const Platform::Ui::Shown &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox") && s.title.startsWith(QLatin1String("Kovra Error#: ")))
                texts << s.text;
        }
        return texts;
    }
};
