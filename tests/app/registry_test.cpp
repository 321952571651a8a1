#include "app/Registry.h"
#include "platform/ui.h"
#include "platform/winreg.h"
#include "tests/support/fixture/TevHome.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

const QString kProduct = QStringLiteral("KOVRA VESK\\2.6.4");
const QString kSection = QStringLiteral("Company Settings");
const QString kGroup = QStringLiteral("Software/Velmor/KOVRA VESK/2.6.4/Company Settings");

class MachineSettings : public TevHome {
protected:
    QString read(const QString &name, const QString &defaultValue)
    {
        return Registry::ReadWinRegValue(kProduct, kSection, name, defaultValue);
    }
    void store(const QString &name, const QString &value)
    {
        QSettings ini(Platform::WinReg::iniPath(), QSettings::IniFormat);
        ini.setValue(kGroup + QLatin1Char('/') + name, value);
    }
    QVariant stored(const QString &name)
    {
        QSettings ini(Platform::WinReg::iniPath(), QSettings::IniFormat);
        return ini.value(kGroup + QLatin1Char('/') + name);
    }
};

TEST_F(MachineSettings, MissingSectionGetsItsDefaultWrittenOnce)
{
    EXPECT_EQ(read(QStringLiteral("WorkDay"), QStringLiteral("2")), QStringLiteral("2"));
    EXPECT_EQ(stored(QStringLiteral("WorkDay")).toString(), QStringLiteral("2"));

    // The section exists now: another value's default is returned, not written, and no box.
    EXPECT_EQ(read(QStringLiteral("GraceP"), QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_FALSE(stored(QStringLiteral("GraceP")).isValid());
    EXPECT_TRUE(Platform::Ui::shown().empty());
}

TEST_F(MachineSettings, StoredValuesComeBackWholeAndEmptyGivesTheDefault)
{
    store(QStringLiteral("WorkDay"), QStringLiteral("3"));
    store(QStringLiteral("DayStartTime"), QStringLiteral("06:30"));
    store(QStringLiteral("RoundTotal"), QString());
    store(QStringLiteral("GraceP"), QString(255, QLatin1Char('9')));

    EXPECT_EQ(read(QStringLiteral("WorkDay"), QStringLiteral("2")), QStringLiteral("3"));
    EXPECT_EQ(read(QStringLiteral("DayStartTime"), QStringLiteral("00:00")), QStringLiteral("06:30"));
    EXPECT_EQ(read(QStringLiteral("RoundTotal"), QStringLiteral("5")), QStringLiteral("5"));
    // Too long for the read: the default, without a box.
    EXPECT_EQ(read(QStringLiteral("GraceP"), QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_TRUE(Platform::Ui::shown().empty());
}

TEST_F(MachineSettings, ReadOnlyFileStillGivesItsValues)
{
    store(QStringLiteral("WorkDay"), QStringLiteral("4"));
    QFile(Platform::WinReg::iniPath()).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    EXPECT_EQ(read(QStringLiteral("WorkDay"), QStringLiteral("2")), QStringLiteral("4"));
    EXPECT_TRUE(Platform::Ui::shown().empty());
}

TEST_F(MachineSettings, UnreadableFileIsAccessDeniedAndGivesTheDefault)
{
    // A folder in the file's place cannot be read, whoever runs the test.
    QDir().mkpath(Platform::WinReg::iniPath());
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);

    EXPECT_EQ(read(QStringLiteral("WorkDay"), QStringLiteral("2")), QStringLiteral("2"));

    std::vector<Platform::Ui::Shown> boxes;
    for (const auto &s : Platform::Ui::shown()) {
        if (s.kind == QLatin1String("msgbox"))
            boxes.push_back(s);
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Acces to Registry Denied."));
    EXPECT_EQ(boxes[0].title, QStringLiteral("Kovra Error#: 9040"));
}

TEST_F(MachineSettings, ErrorCodesWithoutAMessageShowNothing)
{
    Registry::ShowWinRegError(2);
    Registry::ShowWinRegError(234);
    EXPECT_TRUE(Platform::Ui::shown().empty());
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Registry::ShowWinRegError(1009);
    ASSERT_EQ(Platform::Ui::shown().size(), 2u);
    EXPECT_EQ(Platform::Ui::shown()[1].title, QStringLiteral("Kovra Error#: 9000"));
    EXPECT_EQ(Platform::Ui::shown()[1].text, QStringLiteral("Corrupt Registry Database!"));
}

} // namespace
