#include "SetupFixture.h"

#include "setup/CmdSources.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

using CmdSources::Kind;

QStringList values(const std::vector<QVariant> &row)
{
    QStringList out;
    for (const QVariant &v : row)
        out << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    return out;
}

std::vector<CmdSources::EmpGroup> groupsOf(const Platform::Database &db, Kind kind, int grouping, bool scheduleFile)
{
    std::vector<CmdSources::EmpGroup> groups;
    CmdSources::EmployeeGroups(db, kind, grouping, scheduleFile, groups);
    return groups;
}

// Group text, then "number,first tag" per employee.
QStringList shape(const std::vector<CmdSources::EmpGroup> &groups)
{
    QStringList out;
    for (const auto &g : groups) {
        out << QStringLiteral("[%1]").arg(g.text);
        for (const auto &e : g.employees)
            out << QStringLiteral("%1,%2 %3").arg(e.number, e.firstName, e.tag);
    }
    return out;
}

TEST(CsvReading, QuotesCommasDoubledQuotesAndBothLineEnds)
{
    const auto rows = CmdSources::ReadCsv("a, \"b, c\" ,\"say \"\"hi\"\"\"\r\n, x ,\n\n\"multi\nline\",2");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(values(rows[0]), QStringList({"a", "b, c", "say \"hi\""}));
    EXPECT_EQ(values(rows[1]), QStringList({"<null>", "x", "<null>"}));
    EXPECT_EQ(values(rows[2]), QStringList({"multi\nline", "2"}));
}

TEST(CsvReading, Utf8WithBomElseWindows1252)
{
    EXPECT_EQ(values(CmdSources::ReadCsv("\xEF\xBB\xBFJos\xC3\xA9,1")[0]), QStringList({"José", "1"}));
    // The same name in Windows-1252 is not valid UTF-8: the whole file is read as 1252.
    EXPECT_EQ(values(CmdSources::ReadCsv("Jos\xE9,\x80")[0]), QStringList({"José", "€"}));
}

TEST(CsvReading, PaddingOfScheduleAndMessageNumbers)
{
    EXPECT_EQ(CmdSources::Pad3(QStringLiteral("7")), QStringLiteral("007"));
    EXPECT_EQ(CmdSources::Pad3(QStringLiteral("001")), QStringLiteral("001"));
    EXPECT_EQ(CmdSources::Pad3(QVariant()), QStringLiteral("000"));
    EXPECT_EQ(CmdSources::Pad3(QStringLiteral("0007")), QStringLiteral("007"));
    EXPECT_EQ(CmdSources::Pad3(QStringLiteral("1234")), std::nullopt) << "more than its three places";
    EXPECT_EQ(CmdSources::Pad3(QStringLiteral("A1")), QStringLiteral("A1"));
}

// A product database file made here: Vesk numbers employees in ID, Brix in EmpID.
class ProductSource : public SetupTest {
protected:
    Platform::Database product;

    void make(const QString &idColumn, const QStringList &extra)
    {
        const QString path = file(QStringLiteral("product.db"));
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
            raw.setDatabaseName(path);
            ASSERT_TRUE(raw.open());
            QSqlQuery q(raw);
            QStringList sql{
                QStringLiteral("CREATE TABLE Employee (%1 TEXT, FirstName TEXT, LastName TEXT, DepartmentNo TEXT, "
                               "ScheduleNo TEXT, MsgNo TEXT, SupervisorLevel TEXT, Status INTEGER)")
                    .arg(idColumn),
                QStringLiteral("CREATE TABLE Department (DepartmentNo TEXT, Description TEXT)"),
                QStringLiteral("CREATE TABLE Schedule (ScheduleNo TEXT, Description TEXT)"),
                QStringLiteral("CREATE TABLE [Schedule Days] (ScheduleNo TEXT, TheDay INTEGER, StartTime TEXT, EndTime TEXT)")};
            for (const QString &s : sql + extra)
                ASSERT_TRUE(q.exec(s)) << s.toStdString();
            raw.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("maker"));
        product = Platform::Database::open(path);
    }
};

TEST_F(ProductSource, NoActiveEmployeesGivesNoNodeNotEvenAll)
{
    make(QStringLiteral("ID"), {QStringLiteral("INSERT INTO Employee VALUES ('1','Ann','Lee',NULL,NULL,NULL,NULL,0)")});
    EXPECT_TRUE(groupsOf(product, Kind::Vesk, 0, false).empty());
}

TEST_F(ProductSource, DepartmentsWithoutActiveEmployeesGetNoNodeAndNoDepartmentComesFirst)
{
    make(QStringLiteral("ID"),
         {QStringLiteral("INSERT INTO Department VALUES ('D1','Shop'), ('D2','Empty'), ('D3','Office')"),
          QStringLiteral("INSERT INTO Employee VALUES ('3','Cy','Ng','D3','1','4','2',1), "
                         "('1','Ann','Lee','D1',NULL,NULL,NULL,1), ('2','Bo','Poe',NULL,'002','012','1',-1), "
                         "('9','Old','Gone','D2','001','001','',0)")});
    EXPECT_EQ(shape(groupsOf(product, Kind::Vesk, 1, false)),
              QStringList({"[No Department]", "2,Bo 0020121", "[D1 Shop]", "1,Ann 000000", "[D3 Office]",
                           "3,Cy 0010042"}));
}

TEST_F(ProductSource, ScheduleGroupingStartsWithNoScheduleAndAMissingScheduleEndsInABlank)
{
    make(QStringLiteral("EmpID"),
         {QStringLiteral("INSERT INTO Schedule VALUES ('001','Days')"),
          QStringLiteral("INSERT INTO Employee VALUES ('1','Ann','Lee',NULL,'005',NULL,NULL,1), "
                         "('2','Bo','Poe',NULL,NULL,'003','1',1), ('3','Cy','Ng',NULL,'001','002',NULL,1)")});
    EXPECT_EQ(shape(groupsOf(product, Kind::Brix, 2, false)),
              QStringList({"[No Schedule]", "2,Bo 0000031", "[001 Days]", "3,Cy 001002", "[005 ]", "1,Ann 005000"}));
}

TEST_F(ProductSource, MessagesFromClkMsgsWhenPresentElseMessageNeverBoth)
{
    make(QStringLiteral("ID"), {QStringLiteral("CREATE TABLE Message (No TEXT, Text TEXT)"),
                                QStringLiteral("INSERT INTO Message VALUES ('5','T')")});
    ASSERT_EQ(CmdSources::ProductMessageTable(product), QStringLiteral("Message"));
    auto list = CmdSources::Messages(product, QStringLiteral("Message"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].shown, QStringLiteral("005 T"));
    product.execute(QStringLiteral("CREATE TABLE ClkMsgs (No TEXT, Text TEXT)"));
    product.execute(QStringLiteral("INSERT INTO ClkMsgs VALUES ('0012','Twelve')"));
    ASSERT_EQ(CmdSources::ProductMessageTable(product), QStringLiteral("ClkMsgs"));
    list = CmdSources::Messages(product, QStringLiteral("ClkMsgs"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].shown, QStringLiteral("012 Twelve"));
}

TEST_F(ProductSource, ScheduleWithoutDaysIsFoundButEmptyAndAnUnknownOneIsNotFound)
{
    make(QStringLiteral("ID"), {QStringLiteral("INSERT INTO Schedule VALUES ('001','Days'), ('2','Nights')"),
                                QStringLiteral("INSERT INTO [Schedule Days] VALUES ('2',3,'22:00','06:00'), "
                                               "('2',2,'10:00 PM','6:00 AM')")});
    const auto items = CmdSources::Schedules(product, Kind::Vesk);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].text, QStringLiteral("002 Nights"));
    const auto read = CmdSources::ScheduleRows(product, Kind::Vesk,
                                               {items[1], {QStringLiteral("009"), QStringLiteral("009"), {}}, items[0]});
    ASSERT_EQ(read.size(), 3u);
    const CmdFile::Schedule &nights = read[0], &unknown = read[1], &days = read[2];
    EXPECT_TRUE(days.found);
    EXPECT_TRUE(days.days.empty());
    EXPECT_EQ(nights.number, QStringLiteral("002"));
    ASSERT_EQ(nights.days.size(), 2u);
    EXPECT_EQ(nights.days[0].TheDay.toInt(), 2) << "stored value used by the query, rows by TheDay";
    EXPECT_FALSE(unknown.found);
}

class TextSource : public SetupTest {
protected:
    void load(const char *table, const char *name, const QByteArray &bytes, const QStringList &required,
              const QStringList &positional = {})
    {
        writeFile(QString::fromLatin1(name), bytes);
        CmdSources::LoadTextTable(db(), QString::fromLatin1(table), file(QString::fromLatin1(name)), required,
                                  positional, {QStringLiteral("ScheduleNo"), QStringLiteral("MsgNo")});
    }
    void TearDown() override
    {
        for (const char *t : {"Employee", "Schedule", "ClkMsgs"})
            CmdSources::DropTextTable(db(), QString::fromLatin1(t));
        SetupTest::TearDown();
    }
};

TEST_F(TextSource, HeaderInAnyCaseAndOrderAndNumbersPaddedAsTheyLoad)
{
    load("Employee", "emp.csv",
         "emp,msgno,LASTNAME,FirstName,ScheduleNo,DepartmentNo,SupervisorLevel\r\n"
         "10,4,Lee,Ann,,,\r\n11,,Poe,Bo,7,D1,2\r\n12,,Ng,Cy,000,D1,\r\n",
         CmdSources::EmployeeColumns());
    load("Schedule", "sch.csv", "ScheduleNo,Description,TheDay,StartTime,EndTime\n7,Late,2,08:00,17:00\n",
         CmdSources::ScheduleColumns());
    EXPECT_EQ(shape(groupsOf(db(), Kind::Text, 0, true)),
              QStringList({"[ALL]", "10,Ann 000004", "11,Bo 0070002", "12,Cy 000000"}));
    EXPECT_EQ(shape(groupsOf(db(), Kind::Text, 2, true)),
              QStringList({"[No Schedule]", "10,Ann 000004", "12,Cy 000000", "[007 Late]", "11,Bo 0070002"}));
    EXPECT_EQ(shape(groupsOf(db(), Kind::Text, 1, true)),
              QStringList({"[No Department]", "10,Ann 000004", "[D1]", "11,Bo 0070002", "12,Cy 000000"}));
    const auto schedules = CmdSources::Schedules(db(), Kind::Text);
    ASSERT_EQ(schedules.size(), 1u);
    EXPECT_EQ(schedules[0].text, QStringLiteral("007 Late"));
    EXPECT_EQ(CmdSources::ScheduleRows(db(), Kind::Text, schedules).at(0).days.size(), 1u);
}

TEST_F(TextSource, WithoutTheScheduleFileTheGroupsAreTheEmployeesOwnNumbers)
{
    load("Employee", "emp.csv", "EmpID,FirstName,LastName,DepartmentNo,ScheduleNo,MsgNo,SupervisorLevel\n"
                                "1,A,B,,3,,\n2,C,D,,003,,\n3,E,F,,000,,\n",
         CmdSources::EmployeeColumns());
    EXPECT_EQ(shape(groupsOf(db(), Kind::Text, 2, false)),
              QStringList({"[No Schedule]", "3,E 000000", "[003]", "1,A 003000", "2,C 003000"}));
}

TEST_F(TextSource, AMissingColumnIsNamed)
{
    try {
        load("Employee", "emp.csv", "EmpID,FirstName,LastName,ScheduleNo,MsgNo,SupervisorLevel\n1,A,B,,,\n",
             CmdSources::EmployeeColumns());
        FAIL() << "loaded without DepartmentNo";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.description(), QStringLiteral("emp.csv has no column DepartmentNo."));
    }
}

TEST_F(TextSource, MessageFileReadByPositionWithOrWithoutHeader)
{
    const QStringList cols{QStringLiteral("MsgNo"), QStringLiteral("Message")};
    load("ClkMsgs", "m1.csv", "5,\"Hello, you\"\n12,Bye\n", {}, cols);
    auto list = CmdSources::Messages(db(), QStringLiteral("ClkMsgs"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].shown, QStringLiteral("005 Hello, you"));
    load("ClkMsgs", "m2.csv", "No,Text\n5,Hi\n", {}, cols);
    list = CmdSources::Messages(db(), QStringLiteral("ClkMsgs"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].shown, QStringLiteral("005 Hi"));
}

TEST_F(TextSource, MessageFileWithFurtherColumnsAndTrailingCommasKeepsEveryMessage)
{
    load("ClkMsgs", "m3.csv", "No,Text,Note,\r\n5,\"  Hi, you \",first,\r\n6,Bye,,\r\n7,\" \",x\r\n", {},
         {QStringLiteral("MsgNo"), QStringLiteral("Message")});
    QStringList shown;
    for (const auto &m : CmdSources::Messages(db(), QStringLiteral("ClkMsgs")))
        shown << m.shown;
    EXPECT_EQ(shown, QStringList({"005   Hi, you ", "006 Bye", "007  "})) << "quoted blanks are the text's own";
}

TEST_F(TextSource, ASourceThatIsItsOwnCopyKeepsItsContent)
{
    writeFile(QStringLiteral("Data/Employee.txt"), "EmpID\n1\n");
    CmdSources::CopyIntoData(file(QStringLiteral("Data/Employee.txt")), file(QStringLiteral("Data/Employee.txt")));
    QFile f(file(QStringLiteral("Data/Employee.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("EmpID\n1\n"));
    writeFile(QStringLiteral("src.csv"), "EmpID\n2\n");
    CmdSources::CopyIntoData(file(QStringLiteral("src.csv")), file(QStringLiteral("Data/Employee.txt")));
    f.seek(0);
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("EmpID\n2\n"));
}

} // namespace
