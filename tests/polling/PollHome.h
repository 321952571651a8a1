// An application folder for serial polls: the default clock database with
// no clocks, the day fixed at 7 December 2026, the main window and its port.
#pragma once

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/clock.h"
#include "polling/PollFiles.h"
#include "tests/support/fixture/TevHome.h"

class PollHome : public TevHome {
protected:
    static constexpr int kPollTimeOutMs = 40;

    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Clocks"));
        Platform::Clock::setToday(QDate(2026, 12, 7));
        SerialClk::InitProtocolChars();
        SerialClk::state().CommParm.PollTimeOut = kPollTimeOutMs;
        frmMDI::instance();
    }
    void TearDown() override
    {
        PollFiles::setOpener(nullptr);
        resetMdiHooks();
        TevHome::TearDown();
    }
};
