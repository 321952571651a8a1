// The hosts file the link library reads: its rewrite byte for byte, and how
// it reaches the disk.
#include "app/AppMain.h"
#include "link/HostsFile.h"
#include "platform/error.h"
#include "tests/support/fixture/TevHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Rows = std::vector<TCPIP::HostsClockRow>;
using Boxes = std::array<QString, 4>;

const Boxes kHome = {"192", "168", "1", "010"};
const QByteArray kHostLine = "192.168.1.10   tevhost001\r\n";

TEST(HostsRewrite, KeepsOtherLinesDropsProgramLinesEndsEveryLineInCrLf)
{
    struct Case {
        const char *what;
        QByteArray old;
        Boxes boxes;
        Rows rows;
        QByteArray expected;
    };
    const Case cases[] = {
        {"localhost and a comment kept first", "127.0.0.1 localhost\r\n# mine\r\n", kHome,
         {{7, {192, 168, 1, 57}}},
         "127.0.0.1 localhost\r\n# mine\r\n" + kHostLine + "192.168.1.57    tevterm007\r\n"},
        {"program lines and comments naming them dropped, capitals kept",
         "10.0.0.1   tevhost001\r\n# tevterm list\r\n10.0.0.2    tevterm002\r\n10.0.0.3 TEVTERM003\r\n#TEVHOST\r\n"
         "x tevhostess\r\n",
         kHome, {}, "10.0.0.3 TEVTERM003\r\n#TEVHOST\r\n" + kHostLine},
        {"no rows", "", kHome, {}, kHostLine},
        {"clocks 7, 128, 1000", "", kHome,
         {{7, {10, 0, 0, 7}}, {128, {10, 0, 0, 8}}, {1000, {0, 0, 0, 0}}},
         kHostLine + "10.0.0.7    tevterm007\r\n10.0.0.8    tevterm128\r\n0.0.0.0    tevterm1000\r\n"},
        {"all-zero boxes", "", {"000", "000", "000", "000"}, {}, "0.0.0.0   tevhost001\r\n"},
        {"box without a number", "", {"x", " 7", "", "1"}, {}, "0.7.0.1   tevhost001\r\n"},
        {"LF only", "127.0.0.1 localhost\n1.2.3.4 tevhost001\n::1 ip6\n", kHome, {},
         "127.0.0.1 localhost\r\n::1 ip6\r\n" + kHostLine},
        {"CR only", "a\r1.2.3.4 tevterm001\rb\r", kHome, {}, "a\r\nb\r\n" + kHostLine},
        {"no final line end", "a\r\nb", kHome, {}, "a\r\nb\r\n" + kHostLine},
        {"blank lines kept", "a\r\n\r\n\nb\r\n", kHome, {}, "a\r\n\r\n\r\nb\r\n" + kHostLine},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray once = TCPIP::RewriteHosts(c.old, c.boxes, c.rows);
        EXPECT_EQ(once, c.expected);
        EXPECT_EQ(TCPIP::RewriteHosts(once, c.boxes, c.rows), once) << "a second save changed the file";
    }
}

// Root passes every permission check: drop that for a scope so a read-only
// folder refuses the write as it does for a user.
class WithoutOverride {
public:
    WithoutOverride() { set(false); }
    ~WithoutOverride() { set(true); }

private:
    static void set(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &header, data) != 0)
            return;
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
            const unsigned bit = 1u << (cap % 32);
            if (on)
                data[cap / 32].effective |= data[cap / 32].permitted & bit;
            else
                data[cap / 32].effective &= ~bit;
        }
        syscall(SYS_capset, &header, data);
    }
};

class HostsOnDisk : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (3, 10, 0, 0, 3)"));
        QDir(home()).mkpath(QStringLiteral("etc"));
        hosts = file(QStringLiteral("etc/hosts"));
    }
    void write() { TCPIP::WriteHostsFile(AppMain::state().MainDb, hosts, file(QStringLiteral("hosts.template")), kHome); }
    QByteArray read(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList entries(const QString &folder) const { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System); }

    QString hosts;
    const QByteArray clockLine = "10.0.0.3    tevterm003\r\n";
};

TEST_F(HostsOnDisk, MissingHostsFileStartsFromTheTemplateWhichStaysAsItWas)
{
    writeFile(QStringLiteral("hosts.template"), "127.0.0.1\tlocalhost\n");
    write();
    EXPECT_EQ(read(hosts), "127.0.0.1\tlocalhost\r\n" + kHostLine + clockLine);
    EXPECT_EQ(read(file(QStringLiteral("hosts.template"))), "127.0.0.1\tlocalhost\n");
    EXPECT_FALSE(QFile::exists(QStringLiteral("hosts.tev"))) << "a working copy was left in the current folder";
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("hosts.tev"))));
}

TEST_F(HostsOnDisk, UnwritableFolderGivesTheErrorAndLeavesTheOldBytes)
{
    writeFile(QStringLiteral("etc/hosts"), "127.0.0.1 localhost\r\n10.9.9.9 tevterm001\r\n");
    QFile::setPermissions(file(QStringLiteral("etc")), QFile::ReadOwner | QFile::ExeOwner);
    {
        WithoutOverride asUser;
        EXPECT_THROW(write(), Platform::Error);
    }
    QFile::setPermissions(file(QStringLiteral("etc")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(read(hosts), "127.0.0.1 localhost\r\n10.9.9.9 tevterm001\r\n");
    EXPECT_EQ(entries(file(QStringLiteral("etc"))), QStringList{QStringLiteral("hosts")});
}

TEST_F(HostsOnDisk, FailureBeforeTheWriteLeavesTheOldBytes)
{
    writeFile(QStringLiteral("etc/hosts"), "127.0.0.1 localhost\r\n10.9.9.9 tevterm001\r\n");
    AppMain::state().MainDb.execute(QStringLiteral("DROP TABLE TcpClocks"));
    EXPECT_THROW(write(), Platform::Error);
    EXPECT_EQ(read(hosts), "127.0.0.1 localhost\r\n10.9.9.9 tevterm001\r\n");
}

TEST_F(HostsOnDisk, SymbolicLinkStaysALinkAndItsTargetKeepsItsMode)
{
    writeFile(QStringLiteral("etc/hosts"), "127.0.0.1 localhost\r\n");
    QFile::setPermissions(hosts, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QString link = file(QStringLiteral("hosts"));
    ASSERT_TRUE(QFile::link(hosts, link));
    TCPIP::WriteHostsFile(AppMain::state().MainDb, link, file(QStringLiteral("hosts.template")), kHome);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read(hosts), "127.0.0.1 localhost\r\n" + kHostLine + clockLine);
    EXPECT_EQ(QFileInfo(hosts).permissions() & 0x7077,
              QFileDevice::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup) & 0x7077);
    EXPECT_EQ(entries(file(QStringLiteral("etc"))), QStringList{QStringLiteral("hosts")});
}

} // namespace
