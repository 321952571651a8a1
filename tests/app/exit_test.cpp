#include "platform/db.h"
#include "tests/support/fixture/TevHome.h"

#include <QDir>
#include <QProcess>

#include <functional>

namespace {

// The whole program, start to end, in a child process: a crash while Qt's
// globals go (a database connection closed after them) or a leak report
// shows in its exit status.
class ExitPaths : public TevHome {
protected:
    struct Outcome {
        bool finished = false;
        QProcess::ExitStatus status = QProcess::CrashExit;
        int code = -1;
        QString output;
    };

    Outcome run(const QStringList &arguments) const
    {
        QProcess child;
        child.setProgram(QStringLiteral(TEV_EXIT_CHILD));
        child.setArguments(arguments);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start();
        Outcome outcome;
        // A program left running without a window is the fault itself.
        outcome.finished = child.waitForFinished(60000);
        if (!outcome.finished) {
            child.kill();
            child.waitForFinished();
        }
        outcome.status = child.exitStatus();
        outcome.code = child.exitCode();
        outcome.output = QString::fromLocal8Bit(child.readAll());
        return outcome;
    }

    void expectClean(const Outcome &outcome, int code, const QString &shows, const char *path) const
    {
        EXPECT_TRUE(outcome.finished) << path << ": still running";
        EXPECT_EQ(outcome.status, QProcess::NormalExit) << path << ":\n" << outcome.output.toStdString();
        EXPECT_EQ(outcome.code, code) << path << ":\n" << outcome.output.toStdString();
        EXPECT_TRUE(outcome.output.contains(shows)) << path << ":\n" << outcome.output.toStdString();
    }
};

TEST_F(ExitPaths, StartUpThatEndsEarlyExitsCleanly)
{
    struct Case {
        const char *path;
        std::function<void()> prepare;
        QStringList arguments;
        QString shows;
    };
    const Case cases[] = {
        {"missing database", [] {}, {QStringLiteral("start"), QStringLiteral("Ok")},
         QStringLiteral("Kovra Error#: 3024")},
        {"folder in its place", [this] { QDir(home()).mkdir(QStringLiteral("Clock103.mdb")); },
         {QStringLiteral("start"), QStringLiteral("Ok")}, QStringLiteral("Kovra Error#: 3051")},
        {"corrupt, repair refused",
         [this] {
             QDir(home()).rmdir(QStringLiteral("Clock103.mdb"));
             writeFile(QStringLiteral("Clock103.mdb"), QByteArray(4096, '\x11'));
         },
         {QStringLiteral("start"), QStringLiteral("No")}, QStringLiteral("Do you want to repair it?")},
        {"corrupt, repair failed", [] {},
         {QStringLiteral("start"), QStringLiteral("Yes"), QStringLiteral("Ok"), QStringLiteral("Ok")},
         QStringLiteral("Repair database operation failed.")},
    };
    for (const Case &c : cases) {
        c.prepare();
        expectClean(run(c.arguments), 1, c.shows, c.path);
    }
}

TEST_F(ExitPaths, LockedDatabaseEndsCleanlyAndStaysLocked)
{
    installDefaultDatabase();
    Platform::Database other = Platform::Database::open(file(QStringLiteral("Clock103.mdb")));
    other.execute(QStringLiteral("BEGIN EXCLUSIVE"));
    expectClean(run({QStringLiteral("start"), QStringLiteral("Ok")}), 1, QStringLiteral("Kovra Error#: 3218"),
                "locked");
    other.execute(QStringLiteral("ROLLBACK"));
}

TEST_F(ExitPaths, EveryWayOutOfARunningProgramExitsCleanly)
{
    installDefaultDatabase();
    expectClean(run({QStringLiteral("exit")}), 0, QStringLiteral("main window shown"), "Setup > Exit");
    expectClean(run({QStringLiteral("close-splash")}), 0, QStringLiteral("main window shown"),
                "splash closed before its tick");
}

} // namespace
