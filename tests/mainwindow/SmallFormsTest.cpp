#include "MainWindowFixture.h"

#include <QLabel>
#include <QPointer>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

TEST_F(MainWindowTest, CancelSetsTheFlagAndTheWindowStopsTakingActivationBack)
{
    SerialClk::state().CancelSend = false;   // a download has started
    frmCancelSend *f = frmCancelSend::instance();
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Cancel Send/Receive "));
    EXPECT_TRUE(f->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(f->bufferin->isVisibleTo(f));
    EXPECT_EQ(f->cmdCancel->text(), QStringLiteral("Cancel"));

    // While the download may still be cancelled a lost activation brings it back.
    f->hide();
    f->Form_Deactivate();
    EXPECT_TRUE(f->isVisible());

    f->cmdCancel->click();
    EXPECT_TRUE(SerialClk::state().CancelSend);
    f->hide();
    f->Form_Deactivate();
    EXPECT_FALSE(f->isVisible()) << "after Cancel the window no longer comes back";
}

TEST_F(MainWindowTest, AnotherWindowOfTheProgramTakingActivationBringsCancelWindowBack)
{
    SerialClk::state().CancelSend = false;
    frmCancelSend *f = frmCancelSend::instance();
    f->show();
    f->activateWindow();
    ASSERT_TRUE(spinUntil([f] { return f->isActiveWindow(); }, 2000)) << "the platform gives no activation";
    QWidget other;
    other.show();
    other.activateWindow();
    spinUntil([&other] { return other.isActiveWindow(); }, 500);
    EXPECT_TRUE(spinUntil([f] { return f->isActiveWindow(); }, 2000));
    SerialClk::state().CancelSend = true;
}

TEST_F(MainWindowTest, ProgressPercentHasAtLeastTwoDigitsAndTheBarGrowsWithIt)
{
    EXPECT_EQ(frmProgressBar::PercentText(0), QStringLiteral("00 %"));
    EXPECT_EQ(frmProgressBar::PercentText(5), QStringLiteral("05 %"));
    EXPECT_EQ(frmProgressBar::PercentText(42), QStringLiteral("42 %"));
    EXPECT_EQ(frmProgressBar::PercentText(100), QStringLiteral("100 %"));

    frmProgressBar *f = frmProgressBar::instance();
    EXPECT_EQ(f->lblPush->text(), QStringLiteral("Importing file"));
    EXPECT_EQ(f->lblPercent->text(), QStringLiteral("0 %"));
    EXPECT_EQ(f->lblProcess->text(), QStringLiteral("Imported:"));
    f->show();
    f->SetPercent(5);
    EXPECT_EQ(f->lblPercent->text(), QStringLiteral("05 %"));
    const int atFive = f->lblPush->width();
    f->SetPercent(50);
    const int atHalf = f->lblPush->width();
    f->SetPercent(100);
    EXPECT_EQ(f->lblPercent->text(), QStringLiteral("100 %"));
    const int full = f->lblPush->width();
    EXPECT_LT(atFive, atHalf);
    EXPECT_NEAR(atHalf * 2, full, 2);
    EXPECT_EQ(full, f->tbFlood->contentsRect().width());
    EXPECT_TRUE(f->tbFlood->contentsRect().contains(f->lblPercent->geometry())) << "the percentage stays on the bar";
}

TEST_F(MainWindowTest, AboutShowsTitleAndVersionWithoutLeadingZeros)
{
    EXPECT_EQ(frmAbout::VersionText(4, 0, 8), QStringLiteral("Version 4.0.8"));
    frmMDI *w = load(0);
    w->mnuHelpAbout->trigger();
    frmAbout *about = frmAbout::existing();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Kovra-TEV"));
    EXPECT_EQ(about->lblTitle->text(), QStringLiteral("Kovra-TEV"));
    EXPECT_TRUE(about->lblVersion->text().startsWith(QStringLiteral("Version ")));
    about->cmdOK->click();
    flushDeletes();
    EXPECT_EQ(frmAbout::existing(), nullptr);
}

} // namespace

namespace {

TEST_F(MainWindowTest, ClosingTheCancelWindowDuringADownloadCancelsItAndKeepsTheWindow)
{
    SerialClk::state().CancelSend = false;
    QPointer<frmCancelSend> f = frmCancelSend::instance();
    f->show();
    f->close();
    flushDeletes();
    ASSERT_TRUE(f) << "the running download still writes to it";
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(SerialClk::state().CancelSend);

    // A download that cannot be cancelled (no Cancel button) is not cancelled by a close either.
    SerialClk::state().CancelSend = false;
    f->cmdCancel->hide();
    f->close();
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(SerialClk::state().CancelSend);
    SerialClk::state().CancelSend = true;
}

} // namespace
