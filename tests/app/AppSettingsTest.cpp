// The application settings screen on the application folder's database: what
// it shows, what Save and Close store, and the switch of the clock link.
#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/comm/serialcomm.h"
#include "platform/ui.h"
#include "startup/Startup.h"
#include "startup/frmAppSettings.h"
#include "tests/support/fixture/TevHome.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <thread>

namespace {

using Answer = Platform::Ui::Answer;

class AppSettingsScreen : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
    }

    void TearDown() override
    {
        TevHome::TearDown();
    }

    // Start-up's reading of the settings, then the screen.
    frmAppSettings *open()
    {
        openMainDb();
        AppMain::LoadAppSettings();
        SerialClk::InitProtocolChars();
        frmMDI::instance();
        return AppMain::OneScreen<frmAppSettings>::show();
    }

};

TEST_F(AppSettingsScreen, TextSourceEditsAreNotAskedAboutAndAnEmptiedOneIsDeleted)
{
    putSetting(QStringLiteral("Application"), QStringLiteral("TextSourceFile2"), QStringLiteral("sched.csv"));
    frmAppSettings *form = open();
    EXPECT_TRUE(form->txtTextFileSource[1]->isEnabled());
    EXPECT_FALSE(form->txtKovraDataFile->isEnabled());
    EXPECT_EQ(form->txtTextFileSource[2]->text(), QStringLiteral("sched.csv"));

    const QStringList before = registryRows();
    form->txtTextFileSource[1]->setText(QStringLiteral("emp.csv"));
    form->txtTextFileSource[2]->clear();
    form->cmdSave->click();
    QStringList after = before;
    after.removeAll(QStringLiteral("Application/TextSourceFile2=sched.csv"));
    after << QStringLiteral("Application/TextSourceFile1=emp.csv");
    after.sort();
    EXPECT_EQ(registryRows(), after);
    form->cmdSave->click();
    EXPECT_EQ(registryRows(), after);

    form->txtTextFileSource[3]->setText(QStringLiteral("msg.csv"));
    form->cmdClose->click();   // nothing scripted: no question may be asked
    EXPECT_EQ(registryRows(), after);
}

// A screen reader toggles an option without any click; the choice still counts.
TEST_F(AppSettingsScreen, AnOptionChosenThroughAScreenReaderIsStored)
{
    frmAppSettings *form = open();
    QAccessibleInterface *european = QAccessible::queryAccessibleInterface(form->optTextFileDate[1]);
    ASSERT_TRUE(european && european->actionInterface());
    european->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(form->optTextFileDate[1]->isChecked());
    form->cmdSave->click();
    EXPECT_TRUE(registryRows().contains(QStringLiteral("Application/DateFormat=1")));
}

TEST_F(AppSettingsScreen, ApplicationTypeSwitchesGroupsAndTheFunctionKeysMenu)
{
    putSetting(QStringLiteral("Application"), QStringLiteral("Data Source"), QStringLiteral("Kovra-Vesk"));
    putSetting(QStringLiteral("Application"), QStringLiteral("AutoImport"), QStringLiteral("2"));
    frmAppSettings *form = open();
    EXPECT_TRUE(form->chkKovraAutoimport->isChecked());
    EXPECT_TRUE(form->txtKovraDataFile->isEnabled());
    EXPECT_FALSE(form->txtTextFileSource[1]->isEnabled());

    form->cboDataSource->setCurrentIndex(0);
    emit form->cboDataSource->activated(0);
    form->cmdSave->click();
    EXPECT_TRUE(frmMDI::instance()->mnuSetupFuncKeys->isEnabled());
    EXPECT_EQ(AppMain::settings().TargetType, QStringLiteral("Kovra-Brix"));
    form->cboDataSource->setCurrentIndex(3);
    Platform::Ui::queueAnswer(Answer::Yes);
    form->cmdClose->click();
    EXPECT_FALSE(frmMDI::instance()->mnuSetupFuncKeys->isEnabled());
    EXPECT_TRUE(registryRows().contains(QStringLiteral("Application/Data Source=Kovra-Sorb 5.0")));
}

TEST_F(AppSettingsScreen, StoredClockOffTheButtonsChecksNoneAndCountsAsUnchanged)
{
    putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("7"));
    frmAppSettings *form = open();
    EXPECT_EQ(form->grpAppClock->checkedId(), -1);
    const QStringList before = registryRows();
    form->cmdSave->click();
    form->cmdClose->click();
    EXPECT_EQ(registryRows(), before);
}

// Leaving a link closes it first: an open port or a listening build would
// refuse the link that replaces it.
TEST_F(AppSettingsScreen, SwitchingTheClockInterfaceClosesTheLinkItLeaves)
{
    const quint16 tcpPort = prepareTcpLink();
    TevTest::EmulatedSerialClock serial(1, 1);
    serial.useAsPort(4);
    frmAppSettings *form = open();
    frmMDI *mdi = frmMDI::instance();
    mdi->setCommControl(std::make_unique<Platform::SerialCommControl>());
    selectSerialClock(QStringLiteral("Gate"), 1, 1, 4);
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*mdi->MSComm1));

    form->optAppClock[2]->click();
    form->cmdSave->click();
    EXPECT_FALSE(mdi->MSComm1->PortOpen());
    for (QAction *item : {mdi->mnuCommPollParm, mdi->mnuCommDialModem, mdi->mnuCommHangUpModem, mdi->mnuCmdGetBadgeSch})
        EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("buffer.log"))));
    EXPECT_TRUE(TCPIP::IsLoaded(TCPIP::Build::Tev32));

    // A clock taken by the link, then back to serial.
    tevtest::TcpClock clock(tevtest::clockAddress(1), tcpPort);
    std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
    TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock(1, 1, 1, nullptr, buffer.data());
    ASSERT_TRUE(clock.connect());
    for (int i = 0; i < 500 && TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock(1, 1, 1, nullptr, buffer.data()) == 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    form->optAppClock[0]->click();
    form->cmdSave->click();
    EXPECT_FALSE(clock.pump(std::chrono::milliseconds(500)));
    EXPECT_TRUE(clock.peerClosed());
    EXPECT_FALSE(TCPIP::IsLoaded(TCPIP::Build::Tev32));
    EXPECT_TRUE(mdi->mnuCommPollParm->isEnabled());
    EXPECT_TRUE(mdi->mnuCommDialModem->isEnabled());
    EXPECT_TRUE(mdi->mnuCmdGetBadgeSch->isEnabled());
    EXPECT_FALSE(mdi->mnuCommHangUpModem->isEnabled());
    EXPECT_FALSE(SerialClk::state().ClockPortOpen);
    EXPECT_EQ(registryRows().filter(QStringLiteral("Application/Clock=")), QStringList{QStringLiteral("Application/Clock=0")});
}

} // namespace
