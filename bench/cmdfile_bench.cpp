// The command-file builder on a large Kovra-Brix product file: window load,
// each regrouping, and Build from the click to the committed file.
// Run: QT_QPA_PLATFORM=offscreen build/bench/cmdfile_bench
#include "app/AppMain.h"
#include "link/SerialClk.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "setup/CmdFile.h"
#include "setup/frmDldFile.h"
#include "startup/Startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void makeProduct(const QString &path)
{
    QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
    raw.setDatabaseName(path);
    raw.open();
    QSqlQuery q(raw);
    q.exec(QStringLiteral("CREATE TABLE Employee (EmpID TEXT, FirstName TEXT, LastName TEXT, DepartmentNo TEXT, "
                          "ScheduleNo TEXT, MsgNo TEXT, SupervisorLevel TEXT, Status INTEGER)"));
    q.exec(QStringLiteral("CREATE TABLE Department (DepartmentNo TEXT, Description TEXT)"));
    q.exec(QStringLiteral("CREATE TABLE Schedule (ScheduleNo TEXT, Description TEXT)"));
    q.exec(QStringLiteral("CREATE TABLE [Schedule Days] (ScheduleNo TEXT, TheDay INTEGER, StartTime TEXT, EndTime TEXT)"));
    q.exec(QStringLiteral("CREATE TABLE ClkMsgs (MsgNo TEXT, Message TEXT)"));
    q.exec(QStringLiteral("CREATE TABLE Registry (RegKey TEXT, RegField TEXT, RegValue TEXT)"));
    raw.transaction();
    for (int d = 1; d <= 50; ++d)
        q.exec(QStringLiteral("INSERT INTO Department VALUES ('D%1', 'Department %1')").arg(d));
    for (int s = 1; s <= 500; ++s) {
        q.exec(QStringLiteral("INSERT INTO Schedule VALUES ('%1', 'Shift %2')").arg(s, 3, 10, QLatin1Char('0')).arg(s));
        for (int day = 1; day <= 7; ++day)
            q.exec(QStringLiteral("INSERT INTO [Schedule Days] VALUES ('%1', %2, '08:00', '17:00')")
                       .arg(s, 3, 10, QLatin1Char('0'))
                       .arg(day));
    }
    for (int m = 1; m <= 999; ++m)
        q.exec(QStringLiteral("INSERT INTO ClkMsgs VALUES ('%1', 'Message number %2')").arg(m, 3, 10, QLatin1Char('0')).arg(m));
    for (int e = 1; e <= 10000; ++e)
        q.exec(QStringLiteral("INSERT INTO Employee VALUES ('%1', 'First%1', 'Last%1', 'D%2', '%3', '%4', '1', 1)")
                   .arg(e)
                   .arg(e % 50 + 1)
                   .arg(e % 500 + 1, 3, 10, QLatin1Char('0'))
                   .arg(e % 999 + 1, 3, 10, QLatin1Char('0')));
    raw.commit();
    raw.close();
    QSqlDatabase::removeDatabase(QStringLiteral("maker"));
}

double ms(QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    qputenv("TEV_HOME", dir.path().toLocal8Bit());
    qputenv("TEV_REGISTRY_DIR", dir.path().toLocal8Bit());
    Platform::Ui::installScript();
    AppMain::resetState();
    KovraDS::resetState();
    SerialClk::resetState();

    const QString mainDb = dir.filePath(QStringLiteral("Clock103.mdb"));
    QFile::copy(QStringLiteral(TEV_NEW_CLOCK_DB), mainDb);
    QFile(mainDb).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    AppMain::state().AppPath = dir.path() + QLatin1Char('/');
    AppMain::state().DbPath = mainDb;
    AppMain::state().MainDb = Platform::Database::open(mainDb);
    SerialClk::InitProtocolChars();
    AppMain::LoadClockParms();
    {
        AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM ClkMsg"));
        for (int p = 1; p <= 100; ++p)
            AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES (?, ?, ?)"),
                                            {QStringLiteral("P%1").arg(p), QStringLiteral("%1").arg(p + 100, 3, 10, QLatin1Char('0')),
                                             QStringLiteral("Prompt %1").arg(p)});
    }

    const QString product = dir.filePath(QStringLiteral("brix.db"));
    makeProduct(product);
    AppMain::settings().TargetType = QStringLiteral("Kovra-Brix");
    AppMain::settings().TargetDbPath = product;

    std::printf("cmdfile_bench: 10000 active employees, 500 schedules x 7 days, 999 messages, 100 prompts\n");
    QElapsedTimer t;
    t.start();
    auto *form = new frmDldFile;
    std::printf("window load:                 %8.1f ms\n", ms(t));

    const char *names[] = {"Employee", "Department", "Schedule", "Employee"};
    for (int g : {1, 2, 0}) {
        form->cboEmpGroups->setCurrentIndex(g);
        t.restart();
        emit form->cboEmpGroups->activated(g);
        std::printf("regroup by %-18s %8.1f ms\n", names[g], ms(t));
    }
    form->TreeView1->topLevelItem(0)->setCheckState(0, Qt::Checked);
    std::printf("ticked employees:            %8s\n", qPrintable(form->txtTotalEmp->text()));
    form->chkEmpSch->setChecked(true);
    form->chkEmpMsg->setChecked(true);
    form->chkSetClockParm->setChecked(true);
    form->cmdSelAllClkMsg->click();
    for (QCheckBox *b : form->chkFunc)
        b->setChecked(true);

    // --shots DIR: a picture of each tab, as the user sees it.
    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--shots")); at > 0 && at + 1 < args.size()) {
        form->show();
        form->adjustSize();   // the size the main window gives it
        for (int i = 0; i < form->SSTab1->count(); ++i) {
            form->SSTab1->setCurrentIndex(i);
            QCoreApplication::processEvents();
            form->grab().save(QStringLiteral("%1/tab%2.png").arg(args[at + 1]).arg(i));
        }
    }

    std::vector<double> builds;
    for (int i = 0; i < 5; ++i) {
        Platform::Ui::queueAnswer(Platform::Ui::Answer::No);
        t.restart();
        form->cmdBldFile->click();
        builds.push_back(ms(t));
    }
    std::sort(builds.begin(), builds.end());
    QFile out(form->CmdFilePath);
    std::printf("Build, click to file (median of 5): %8.1f ms  (min %.1f, max %.1f), file %lld bytes\n", builds[2],
                builds.front(), builds.back(), static_cast<long long>(out.size()));
    delete form;
    AppMain::resetState();
    KovraDS::resetState();
    return 0;
}
