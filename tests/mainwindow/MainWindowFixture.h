#pragma once

#include "app/AppMain.h"
#include "app/frmAbout.h"
#include "app/frmMDI.h"
#include "app/frmProgressBar.h"
#include "app/frmSplash.h"
#include "link/SerialClk.h"
#include "link/frmCancelSend.h"
#include "platform/clock.h"
#include "platform/comm/fakecomm.h"
#include "platform/help.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

// One application folder per test: its own database copy, settings folder and
// scripted boxes, with the main window's hooks recording what they reach.
class MainWindowTest : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        qputenv("TEV_HOSTS", file(QStringLiteral("hosts")).toLocal8Bit());
        resetMdiHooks();
        Platform::Help::installScript();
        AppMain::state().HelpFile = AppMain::state().AppPath + QStringLiteral("Kovra TEV.html");
    }

    void TearDown() override
    {
        destroy(frmMDI::existing());
        destroy(frmSplash::existing());
        destroy(frmCancelSend::existing());
        destroy(frmAbout::existing());
        destroy(frmProgressBar::existing());
        flushDeletes();
        Platform::Help::removeScript();
        resetMdiHooks();
        TevHome::TearDown();
    }

    // Forms are destroyed only through their close; tests that skip the close delete them as widgets.
    static void destroy(QWidget *form) { delete form; }

    // An empty file in the application folder; returns its full name.
    QString touch(const QString &name) const
    {
        QFile f(file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        return f.fileName();
    }

    // The main window as the load leaves it, with a fake port.
    frmMDI *load(quint8 clockInterface, const QString &targetType = QStringLiteral("Text Files"))
    {
        AppMain::settings().ClockInterface = clockInterface;
        AppMain::settings().TargetType = targetType;
        frmMDI *w = frmMDI::instance();
        auto fake = std::make_unique<Platform::FakeCommControl>();
        m_comm = fake.get();
        w->setCommControl(std::move(fake));
        return w;
    }

    // Every hook records its name (and its file, for those that take one).
    void recordHooks()
    {
        MDIHooks &h = mdiHooks();
        const auto rec = [this](const char *name) { return [this, name] { calls << QString::fromLatin1(name); }; };
        const auto recFile = [this](const char *name) {
            return [this, name](const QString &f) { calls << QString::fromLatin1(name) + QLatin1Char(':') + f; };
        };
        h.showAppSettings = rec("showAppSettings");
        h.showClockParameters = rec("showClockParameters");
        h.showFunctionKeys = rec("showFunctionKeys");
        h.showClockMessages = rec("showClockMessages");
        h.showContPollMessages = rec("showContPollMessages");
        h.showPollProperties = rec("showPollProperties");
        h.showTcpIpClockList = rec("showTcpIpClockList");
        h.showSerialClockList = rec("showSerialClockList");
        h.showSelectTcpIpClock = rec("showSelectTcpIpClock");
        h.showSelectSerialClock = rec("showSelectSerialClock");
        h.showModemDial = rec("showModemDial");
        h.hangUpModem = rec("hangUpModem");
        h.showCreateCmdFile = rec("showCreateCmdFile");
        h.showBadgeScheduleCount = rec("showBadgeScheduleCount");
        h.showSetTime = rec("showSetTime");
        h.setTimeTcpIpWin95 = rec("setTimeTcpIpWin95");
        h.setTimeTcpIpWinNT = rec("setTimeTcpIpWinNT");
        h.showSendCmd = rec("showSendCmd");
        h.showPollTcpIp = rec("showPollTcpIp");
        h.showPollSerial = rec("showPollSerial");
        h.postPolledData = [this](const QString &f) {
            calls << QStringLiteral("postPolledData:") + f;
            return true;
        };
        h.selectTcpIpClockModal = rec("selectTcpIpClockModal");
        h.downloadFileTcpIp = recFile("downloadFileTcpIp");
        h.downloadFileSerial = recFile("downloadFileSerial");
        h.closeTcpIpLink = rec("closeTcpIpLink");
    }

    static void flushDeletes()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static bool spinUntil(const std::function<bool()> &done, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return done();
    }

    QStringList calls;
    Platform::FakeCommControl *m_comm = nullptr;
};
