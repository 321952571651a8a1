#include "SetupFixture.h"

#include "FakeClockLink.h"

#include "link/frmCancelSend.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "posting/KovraDS.h"
#include "platform/comm/serialcomm.h"
#include "setup/CmdFile.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"
#include "setup/CmdSources.h"
#include "setup/frmDldFile.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQueryModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>

#include <chrono>
#include <memory>
#include <thread>

namespace {

// The builder over three text files made here.
class Builder : public SetupTest {
protected:
    FakeClockLink link;
    std::unique_ptr<frmDldFile> form;

    void SetUp() override
    {
        SetupTest::SetUp();
        CmdWalk::SetLink(&link);
        CmdFile::SetTodayForTests(QDate(2025, 3, 12));
        writeFile(QStringLiteral("emp.csv"),
                  "EmpID,FirstName,LastName,DepartmentNo,ScheduleNo,MsgNo,SupervisorLevel\r\n"
                  "1,Ann,Lee,D1,7,5,1\r\n2,Bo,Poe,D1,007,,\r\n3,Cy,Ng,,000,12,\r\n4,Di,Ro,D2,2,5,\r\n");
        writeFile(QStringLiteral("sch.csv"),
                  "ScheduleNo,Description,TheDay,StartTime,EndTime\n2,Days,2,08:00,17:00\n7,Late,3,22:00,06:00\n");
        writeFile(QStringLiteral("msg.csv"), "5,Hello\n12,See HR\n");
        AppMain::settings().TargetType = QStringLiteral("Text Files");
        AppMain::settings().TextFileSettings.TextSourceFile = {file(QStringLiteral("emp.csv")),
                                                               file(QStringLiteral("sch.csv")),
                                                               file(QStringLiteral("msg.csv"))};
        db().execute(QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES "
                                    "('a','001','One'), ('b','002','Two'), ('c','003','Three')"));
    }

    void TearDown() override
    {
        form.reset();
        CmdWalk::SetLink(nullptr);
        CmdFile::SetTodayForTests(std::nullopt);
        SetupTest::TearDown();
    }

    void open() { form = std::make_unique<frmDldFile>(); }

    QTreeWidgetItem *employee(int group, int i) { return form->TreeView1->topLevelItem(group)->child(i); }
    static void tick(QTreeWidgetItem *item, bool on = true) { item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked); }
    int total() { return form->txtTotalEmp->text().toInt(); }

    QStringList tickedSchedules()
    {
        QStringList out;
        for (int i = 0; i < form->TreeView2->topLevelItemCount(); ++i) {
            if (form->TreeView2->topLevelItem(i)->checkState(0) == Qt::Checked)
                out << form->TreeView2->topLevelItem(i)->text(0);
        }
        return out;
    }

    QStringList selectedMessages()
    {
        QStringList out;
        for (int i = 0; i < form->lstEmpMsgs->count(); ++i) {
            if (form->lstEmpMsgs->item(i)->isSelected())
                out << form->lstEmpMsgs->item(i)->text();
        }
        return out;
    }

    QByteArray cmdFile()
    {
        QFile f(form->CmdFilePath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Builds with every employee of this employee file ticked, over a
    // previous file that must stay; the one box shown.
    QString refusedBuildOfAll(const QByteArray &employees)
    {
        writeFile(QStringLiteral("emp.csv"), employees);
        writeFile(QStringLiteral("Data/TEVCMD.DLD"), "previous\r\n");
        Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
        open();
        tick(form->TreeView1->topLevelItem(0));
        form->cmdBldFile->click();
        EXPECT_EQ(cmdFile(), QByteArray("previous\r\n"));
        EXPECT_EQ(Platform::Ui::shown().size(), 1u);
        return Platform::Ui::shown().empty() ? QString() : Platform::Ui::shown().front().text;
    }
};

TEST_F(Builder, LoadsTheThreeTextSourcesWithPaddedNumbers)
{
    open();
    ASSERT_EQ(form->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(form->TreeView1->topLevelItem(0)->text(0), QStringLiteral("ALL"));
    EXPECT_EQ(employee(0, 0)->text(0), QStringLiteral("1,Ann Lee"));
    EXPECT_EQ(employee(0, 0)->data(0, frmDldFile::Tag).toString(), QStringLiteral("0070051"));
    ASSERT_EQ(form->TreeView2->topLevelItemCount(), 2);
    EXPECT_EQ(form->TreeView2->topLevelItem(1)->text(0), QStringLiteral("007 Late"));
    EXPECT_EQ(form->lstEmpMsgs->item(1)->text(), QStringLiteral("012 See HR"));
    EXPECT_TRUE(form->optSelClk->isChecked());
    EXPECT_FALSE(form->chkFunc[0]->isEnabled());
    EXPECT_EQ(form->dtaClkMsg->rowCount(), 3);
}

// The trees lay their items out only when painted: until then a screen reader found none.
TEST_F(Builder, ScreenReadersFindEachNodeOfTheTreesWithItsTick)
{
    open();
    tick(employee(0, 0));
    const auto node = [](QTreeWidget *tree, const QString &text) -> QAccessibleInterface * {
        QAccessibleInterface *view = QAccessible::queryAccessibleInterface(tree);
        for (int i = 0; i < view->childCount(); ++i) {
            if (view->child(i)->text(QAccessible::Name) == text)
                return view->child(i);
        }
        return nullptr;
    };
    QAccessibleInterface *ann = node(form->TreeView1, QStringLiteral("1,Ann Lee"));
    ASSERT_NE(ann, nullptr);
    EXPECT_TRUE(ann->state().checkable && ann->state().checked);
    EXPECT_NE(node(form->TreeView2, QStringLiteral("007 Late")), nullptr);
}

TEST_F(Builder, GroupTickCountsOnlyNewlyTickedAndUntickLeavesTheGroup)
{
    open();
    form->cboEmpGroups->setCurrentIndex(1);
    emit form->cboEmpGroups->activated(1);   // No Department (3), D1 (1, 2), D2 (4)
    ASSERT_EQ(form->TreeView1->topLevelItem(1)->text(0), QStringLiteral("D1"));
    tick(employee(1, 0));
    EXPECT_EQ(total(), 1);
    tick(form->TreeView1->topLevelItem(1));
    EXPECT_EQ(total(), 2) << "the employee ticked before counts once";
    tick(employee(1, 1), false);
    EXPECT_EQ(total(), 1);
    EXPECT_EQ(form->TreeView1->topLevelItem(1)->checkState(0), Qt::Checked) << "ticks spread only downwards";
    tick(form->TreeView1->topLevelItem(1), false);
    EXPECT_EQ(total(), 0);
    tick(employee(0, 0));
    emit form->cboEmpGroups->activated(1);
    EXPECT_EQ(total(), 0) << "regrouping drops every tick";
    EXPECT_EQ(employee(0, 0)->checkState(0), Qt::Unchecked);
}

TEST_F(Builder, DerivedSchedulesAndMessagesDedupeSkip000AndRaiseNoTicks)
{
    open();
    tick(employee(0, 0));   // schedule 007, message 005
    tick(employee(0, 1));   // schedule 007, no message
    tick(employee(0, 2));   // schedule 000, message 012
    tick(form->TreeView2->topLevelItem(0));   // by hand: 002
    form->lstEmpMsgs->item(1)->setSelected(true);
    form->lstEmpMsgs->item(0)->setSelected(false);
    form->chkEmpSch->setChecked(true);
    form->chkEmpMsg->setChecked(true);
    form->SSTab1->setCurrentIndex(4);
    EXPECT_EQ(tickedSchedules(), QStringList({"007 Late"})) << "hand ticks replaced";
    form->SSTab1->setCurrentIndex(5);
    EXPECT_EQ(selectedMessages(), QStringList({"005 Hello", "012 See HR"}));
    EXPECT_EQ(total(), 3) << "program ticks raise no tick events";
}

TEST_F(Builder, WithoutTheBoxesTheTabSwitchKeepsHandChoices)
{
    open();
    tick(employee(0, 0));
    tick(form->TreeView2->topLevelItem(0));
    form->SSTab1->setCurrentIndex(4);
    EXPECT_EQ(tickedSchedules(), QStringList({"002 Days"}));
}

TEST_F(Builder, PromptGridKeepsClickOrderAndSelectAllAppendsTheRest)
{
    open();
    QItemSelectionModel *sel = form->tdbClkMsg->selectionModel();
    sel->select(form->dtaClkMsg->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(form->dtaClkMsg->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(form->promptSelection(), std::vector<int>({2, 0}));
    form->cmdSelAllClkMsg->click();
    EXPECT_EQ(form->promptSelection(), std::vector<int>({2, 0, 1}));
    form->cmdSelAllClkMsg->click();
    EXPECT_EQ(form->promptSelection(), std::vector<int>({2, 0, 1})) << "each row once";
    const CmdFile::Content c = form->content();
    ASSERT_EQ(c.prompts.size(), 3u);
    EXPECT_EQ(c.prompts[0].PromptNo, QStringLiteral("003"));
    form->cmdClearClkMsg->click();
    EXPECT_TRUE(form->promptSelection().empty());
}

TEST_F(Builder, BuildWritesTheTickedRecordsAndAsksAboutTheDownload)
{
    open();
    tick(employee(0, 0));
    form->chkEmpSch->setChecked(true);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::No);
    form->cmdBldFile->click();
    const QByteArray expected = "O00\x1e\r\nD00 Downloading...\x1e\r\nLSB01250309\x1e\r\nLSC01007 0420004680\x1e\r\n"
                                "LEC01000000000001         Ann00700510000\x1e\r\n"
                                "D00 Download Complete!!\x1e" "003\x1e\r\nO10\x1e\r\n";
    EXPECT_EQ(cmdFile(), expected);
    ASSERT_EQ(Platform::Ui::shown().size(), 1u);
    EXPECT_EQ(Platform::Ui::shown().back().text,
              QStringLiteral("File created successfully! Would you like to download it to the clock(s)?"));
    EXPECT_TRUE(link.calls.isEmpty());
}

TEST_F(Builder, AFailureAmongTheEmployeesLeavesThePreviousFileAndOffersNoDownload)
{
    EXPECT_EQ(refusedBuildOfAll("EmpID,FirstName,LastName,DepartmentNo,ScheduleNo,MsgNo,SupervisorLevel\r\n"
                                "1,Ann,Lee,,,,\r\nX2,Bo,Poe,,,,\r\n3,Cy,Ng,,,,\r\n"),
              QStringLiteral("These records cannot be written to the command file:\n"
                             "Employee X2 (Bo Poe): the badge is not 1 to 12 digits"));
}

TEST_F(Builder, ScheduleAndMessageNumbersLongerThanThreeDigitsAreRefusedNotShifted)
{
    EXPECT_EQ(refusedBuildOfAll("EmpID,FirstName,LastName,DepartmentNo,ScheduleNo,MsgNo,SupervisorLevel,\r\n"
                                "1040,Ann,Lee,,0007,0005,1,\r\n1041,Bo,Poe,,1234,,\r\n1042,Cy,Ng,,,5000,\r\n"),
              QStringLiteral("These records cannot be written to the command file:\n"
                             "Employee 1041 (Bo Poe): its schedule number 1234 has more than three digits\n"
                             "Employee 1042 (Cy Ng): its message number 5000 has more than three digits"));

    tick(employee(0, 1), false);
    tick(employee(0, 2), false);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::No);
    form->cmdBldFile->click();
    EXPECT_TRUE(cmdFile().contains("LEC01000000001040         Ann00700510000\x1e\r\n")) << cmdFile().toStdString();
}

// The builder over a product database made here, with a table or column left out.
class ProductBuilder : public Builder {
protected:
    void openOver(const QStringList &sql)
    {
        const QString path = file(QStringLiteral("product.db"));
        writeFile(QStringLiteral("product.db"), QByteArray());   // an empty file is an empty database
        {
            const Platform::Database made = Platform::Database::open(path);
            for (const QString &statement : sql)
                made.execute(statement);
        }
        AppMain::settings().TargetType = QStringLiteral("Kovra-Vesk");
        AppMain::settings().TargetDbPath = path;
        Platform::Ui::clearShown();
        open();
    }
    const QString employees = QStringLiteral("CREATE TABLE Employee (ID TEXT, FirstName TEXT, LastName TEXT, "
                                             "DepartmentNo TEXT, ScheduleNo TEXT, MsgNo TEXT, SupervisorLevel TEXT%1)");
    const QString schedules = QStringLiteral("CREATE TABLE Schedule (ScheduleNo TEXT, Description TEXT)");
};

TEST_F(ProductBuilder, OpensWithWhatCanBeReadAndClosesTheDatabaseAtUnload)
{
    const struct {
        const char *name;
        QStringList sql;
        QStringList boxes;
        int employees, messages;
    } cases[] = {
        {"Employee without Status",
         {employees.arg(QString()), QStringLiteral("INSERT INTO Employee (ID) VALUES ('1')"), schedules,
          QStringLiteral("CREATE TABLE Message (No TEXT, Text TEXT)"), QStringLiteral("INSERT INTO Message VALUES ('5','Hi')")},
         {QStringLiteral("no such column: Status")}, 0, 1},
        {"no Employee", {schedules, QStringLiteral("CREATE TABLE ClkMsgs (No TEXT, Text TEXT)")},
         {QStringLiteral("no such table: Employee")}, 0, 0},
        {"neither ClkMsgs nor Message",
         {employees.arg(QStringLiteral(", Status INTEGER")), QStringLiteral("INSERT INTO Employee (ID, Status) VALUES ('1', 1)"),
          schedules},
         {}, 1, 0},
    };
    for (const auto &c : cases) {
        answerOk(c.boxes.size());
        openOver(c.sql + QStringList{QStringLiteral("INSERT INTO Schedule VALUES ('001','Days')")});
        EXPECT_EQ(errorBoxes(), c.boxes) << c.name;
        EXPECT_EQ(form->TreeView2->topLevelItemCount(), 1) << c.name;
        EXPECT_EQ(form->TreeView1->topLevelItemCount(), c.employees) << c.name;
        EXPECT_EQ(form->lstEmpMsgs->count(), c.messages) << c.name;
        // It reads through a connection of its own: the postings' and polls' one is never its to open or close.
        EXPECT_FALSE(KovraDS::state().TargetDb.isOpen()) << c.name;
        form.reset();
        EXPECT_FALSE(KovraDS::state().TargetDb.isOpen()) << c.name;
    }
}

TEST_F(ProductBuilder, ABuildWhoseQueryFailsGivesTheDatabasesReason)
{
    openOver({employees.arg(QStringLiteral(", Status INTEGER")), schedules,
              QStringLiteral("INSERT INTO Schedule VALUES ('001','Days')")});
    writeFile(QStringLiteral("Data/TEVCMD.DLD"), "previous\r\n");
    tick(form->TreeView2->topLevelItem(0));
    answerOk();
    form->cmdBldFile->click();
    EXPECT_EQ(errorBoxes(), QStringList({"Clock commands file \"TEVCMD.DLD\" was not built successfully!\n"
                                         "no such table: Schedule Days"}));
    EXPECT_EQ(cmdFile(), QByteArray("previous\r\n"));
}

TEST_F(Builder, BuildAndSendAreDisabledWhileTheWalkDownloads)
{
    open();
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Yes);
    link.selected.ClockId = QStringLiteral("Front");
    bool buildEnabled = true, sendEnabled = true;
    link.duringDownload = [&] {
        buildEnabled = form->cmdBldFile->isEnabled();
        sendEnabled = form->cmdSend->isEnabled();
        form->Build();   // refused while the walk runs: the file stays as sent
    };
    form->cmdBldFile->click();
    EXPECT_EQ(link.calls, QStringList({"OpenSelectedClockPort", "DownloadFileSerial 0 0 Front"}));
    EXPECT_FALSE(buildEnabled);
    EXPECT_FALSE(sendEnabled);
    EXPECT_TRUE(form->cmdBldFile->isEnabled());
    EXPECT_EQ(Platform::Ui::shown().size(), 1u);
}

TEST_F(Builder, AMissingColumnShowsItsBoxAndTheEmployeeSourceIsMissing)
{
    writeFile(QStringLiteral("emp.csv"), "EmpID,FirstName,LastName\r\n1,Ann,Lee\r\n");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    open();
    EXPECT_EQ(errorBoxes(), QStringList({"Employee.txt has no column DepartmentNo."}));
    EXPECT_EQ(form->cboEmpGroups->count(), 0);
    EXPECT_FALSE(form->SourceFileFound[0]);
    EXPECT_TRUE(form->SourceFileFound[1]);
}

TEST_F(Builder, KovraBrixWithoutItsDatabaseStartsWithTheKeysUntickedAndDisabled)
{
    AppMain::settings().TargetType = QStringLiteral("Kovra-Brix");
    AppMain::settings().TargetDbPath = file(QStringLiteral("missing.db"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    open();
    for (QCheckBox *b : form->chkFunc) {
        EXPECT_FALSE(b->isEnabled());
        EXPECT_EQ(b->checkState(), Qt::Unchecked);
    }
    EXPECT_FALSE(form->TargetDbOpen);
}

// Build, then Send through the program's own link to an emulated serial
// clock on a pseudo-terminal: the clock takes the file's lines, in order.
class BuilderToSerialClock : public Builder {
protected:
    void SetUp() override
    {
        Builder::SetUp();
        SerialClk::state().CommParm.PollTimeOut = 40;
        clock.useAsPort(6);
        frmMDI::instance()->setCommControl(std::make_unique<Platform::SerialCommControl>());
        selectSerialClock(QStringLiteral("Front door"), 1, 3, 6);
        CmdWalk::InstallProgramLink();
    }
    void TearDown() override
    {
        Platform::CommControl &comm = *frmMDI::instance()->MSComm1;
        if (comm.PortOpen())
            comm.setPortOpen(false);
        delete static_cast<QWidget *>(frmCancelSend::existing());
        Builder::TearDown();
    }
    TevTest::EmulatedSerialClock clock{1, 3};
};

TEST_F(BuilderToSerialClock, TheClockTakesEveryLineOfTheBuiltFile)
{
    open();
    tick(form->TreeView1->topLevelItem(0));
    form->chkSetClockParm->setChecked(true);
    form->lstEmpMsgs->item(0)->setSelected(true);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Yes);   // download it now
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);    // "File downloaded successfully!"
    form->cmdBldFile->click();

    std::vector<std::string> expected;
    for (const QByteArray &line : cmdFile().split('\n')) {
        if (!line.isEmpty())
            expected.push_back(line.chopped(1).toStdString());   // without CR LF
    }
    ASSERT_EQ(expected.size(), 12u);
    std::vector<std::string> taken;
    for (const std::string &t : clock.acceptedTexts())
        taken.push_back(t.substr(LinkFrame::MessageHeader(3).size()));
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(Platform::Ui::shown().back().text, QStringLiteral("File downloaded successfully!"));
}

// The same through libtevtcp32.so to an emulated TCP/IP clock the link has
// taken: each line of the file arrives framed for that clock, in order.
class BuilderToTcpClock : public Builder {
protected:
    void SetUp() override
    {
        Builder::SetUp();
        const quint16 port = prepareTcpLink();
        AppMain::settings().ClockInterface = 2;
        TCPIP::InitTCPIPLink();
        clock = std::make_unique<tevtest::TcpClock>(tevtest::clockAddress(3), port);
        std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
        const auto poll = [&] { return TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock(1, 1, 3, nullptr, buffer.data()); };
        poll();   // the first poll listens
        ASSERT_TRUE(clock->connect());
        for (int i = 0; i < 500 && poll() == 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        TCPIP::state().SelTCPIPClock = {3, QStringLiteral("3"), QStringLiteral("1"), 127, 0, 0, 4};
        CmdWalk::InstallProgramLink();
    }
    void TearDown() override
    {
        delete static_cast<QWidget *>(frmCancelSend::existing());
        Builder::TearDown();
    }
    std::unique_ptr<tevtest::TcpClock> clock;
};

TEST_F(BuilderToTcpClock, TheClockReceivesEveryLineOfTheBuiltFile)
{
    open();
    tick(form->TreeView1->topLevelItem(0));
    form->chkEmpSch->setChecked(true);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Yes);   // download it now
    form->cmdBldFile->click();

    std::vector<tevtest::PcMessage> expected;
    for (const QByteArray &line : cmdFile().split('\n')) {
        if (!line.isEmpty())
            expected.push_back({true, '#', line.chopped(1).toStdString()});   // clock 3, without CR LF
    }
    ASSERT_EQ(expected.size(), 11u);
    ASSERT_TRUE(clock->waitForMessages(expected.size()));
    EXPECT_EQ(clock->messages(), expected);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("3.dld")))) << "a failed download's copy";
}

} // namespace
