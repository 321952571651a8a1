#include "app/AppMain.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>

namespace {

using Platform::Ui::Answer;
using Platform::Ui::FileAnswer;

TEST(FunctionKeyCodes, CharactersAndCodesConvertBothWays)
{
    const struct {
        const char *text;
        int code;
    } table[] = {{"0", 0}, {"7", 7}, {"9", 9}, {":", 10}, {";", 11}, {"<", 12},
                 {"=", 13}, {">", 14}, {"?", 15}, {" ", 16}, {"!", 17}};
    for (const auto &row : table) {
        EXPECT_EQ(AppMain::FuncKeyCharToCode(QString::fromLatin1(row.text)), row.code) << row.text;
        EXPECT_EQ(AppMain::FuncKeyCodeToChar(row.code), QString::fromLatin1(row.text)) << row.code;
    }
    EXPECT_EQ(AppMain::FuncKeyCodeToChar(18), QString());
    EXPECT_EQ(AppMain::FuncKeyCharToCode(QStringLiteral("12")), 12);
}

TEST(FunctionKeyCodes, UnknownCharacterIsATypeMismatch)
{
    try {
        AppMain::FuncKeyCharToCode(QStringLiteral("@"));
        FAIL();
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::TypeMismatch);
    }
}

TEST(PunchDates, StampsFormatMonthOrDayFirstAndShortStampsKeepSeparators)
{
    const struct {
        const char *stamp;
        const char *us;
        const char *eu;
    } table[] = {
        {"0312251730", "12/25/03,17:30", "25/12/03,17:30"},
        {"031225173045", "12/25/03,17:30", "25/12/03,17:30"},
        {"", "//,:", "//,:"},
        {"0312", "12//03,:", "/12/03,:"},
        {"03122517", "12/25/03,17:", "25/12/03,17:"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(AppMain::FormatPunchDateUS(QString::fromLatin1(row.stamp)), QString::fromLatin1(row.us)) << row.stamp;
        EXPECT_EQ(AppMain::FormatPunchDateEU(QString::fromLatin1(row.stamp)), QString::fromLatin1(row.eu)) << row.stamp;
    }
}

TEST(Paths, ExtractPathKeepsTheLastSeparator)
{
    EXPECT_EQ(AppMain::ExtractPath(QStringLiteral("C:\\data\\poll.txt")), QStringLiteral("C:\\data\\"));
    EXPECT_EQ(AppMain::ExtractPath(QStringLiteral("/srv/tev/Data/poll.txt")), QStringLiteral("/srv/tev/Data/"));
    EXPECT_EQ(AppMain::ExtractPath(QStringLiteral("poll.txt")), QString());
    EXPECT_EQ(AppMain::ExtractPath(QStringLiteral("/srv/tev/")), QStringLiteral("/srv/tev/"));
}

class Helpers : public TevHome {};

TEST_F(Helpers, GetAppPathEndsInExactlyOneSeparator)
{
    qputenv("TEV_HOME", "/");
    EXPECT_EQ(AppMain::GetAppPath(), QStringLiteral("/"));
    qputenv("TEV_HOME", "/opt/tev");
    EXPECT_EQ(AppMain::GetAppPath(), QStringLiteral("/opt/tev/"));
}

TEST_F(Helpers, ErrorBoxTitleAppendsTheActiveErrorNumberOrZero)
{
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    AppMain::ShowErrorMsg(QString(), QStringLiteral("plain"));
    {
        Platform::ActiveError active(3024, QStringLiteral("missing"));
        AppMain::ShowErrorMsg(QString(), QStringLiteral("while 3024"));
    }
    AppMain::ShowErrorMsg(QStringLiteral("904"), QStringLiteral("Acces to Registry Denied."));

    const auto &shown = Platform::Ui::shown();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0].kind, QStringLiteral("beep"));
    EXPECT_EQ(shown[1].title, QStringLiteral("Kovra Error#: 0"));
    EXPECT_EQ(shown[1].style, 16);
    EXPECT_EQ(shown[3].title, QStringLiteral("Kovra Error#: 3024"));
    EXPECT_EQ(shown[5].title, QStringLiteral("Kovra Error#: 9040"));
}

TEST_F(Helpers, BrowseOpenLoopsOnMissingAndHiddenFilesUntilAnExistingOne)
{
    writeFile(QStringLiteral("Data/TEVCMD.DLD"), "O00");
    writeFile(QStringLiteral("Data/.hidden.dld"), "O00");
    Platform::Ui::queueFile({file(QStringLiteral("Data/nothere.dld"))});
    Platform::Ui::queueFile({file(QStringLiteral("Data/.hidden.dld"))});
    Platform::Ui::queueFile({file(QStringLiteral("Data/TEVCMD.DLD"))});
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);

    Platform::Ui::FileDialog dialog;
    const QString chosen = AppMain::BrowseOpenFile(dialog, file(QStringLiteral("Data/")),
                                                   QStringLiteral("TEV Clock Commands File"), 1);

    EXPECT_EQ(chosen, file(QStringLiteral("Data/TEVCMD.DLD")));
    std::vector<QString> messages;
    for (const auto &s : Platform::Ui::shown()) {
        if (s.kind == QLatin1String("msgbox"))
            messages.push_back(s.text);
        if (s.kind == QLatin1String("open")) {
            EXPECT_EQ(s.title, QStringLiteral("TEV Clock Commands File"));
            EXPECT_EQ(s.text, QStringLiteral("Download Files (*.dld)|*.dld|Log Files (*.LOG)|*.log|"
                                             "Data Files (*.dat)|*.dat|All Files (*.*)|*.*"));
        }
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], file(QStringLiteral("Data/nothere.dld")) + QStringLiteral(" not found!"));
    EXPECT_EQ(messages[1], file(QStringLiteral("Data/.hidden.dld")) + QStringLiteral(" not found!"));
}

TEST_F(Helpers, BrowseOpenCancelGivesNothingAndOtherKindsKeepTheFilter)
{
    Platform::Ui::queueFile({QString(), true});
    Platform::Ui::FileDialog dialog;
    dialog.Filter = QStringLiteral("Mine (*.x)|*.x");

    EXPECT_EQ(AppMain::BrowseOpenFile(dialog, home(), QStringLiteral("Clock Data File"), 7), QString());
    ASSERT_EQ(Platform::Ui::shown().size(), 1u);
    EXPECT_EQ(Platform::Ui::shown()[0].text, QStringLiteral("Mine (*.x)|*.x"));
}

TEST_F(Helpers, BrowseSaveAsksBeforeReplacingAndDeletesOnYes)
{
    AppMain::state().AppPath = home();
    writeFile(QStringLiteral("old.log"), "old");
    const QString name = file(QStringLiteral("old.log"));
    Platform::Ui::queueFile({name});
    Platform::Ui::queueAnswer(Answer::No);
    Platform::Ui::queueFile({name});
    Platform::Ui::queueAnswer(Answer::Yes);

    Platform::Ui::FileDialog dialog;
    EXPECT_EQ(AppMain::BrowseSaveFile(dialog, QStringLiteral("Find Data File")), name);

    EXPECT_FALSE(QFile::exists(name));
    EXPECT_EQ(dialog.Flags, 0x80004);
    int questions = 0;
    for (const auto &s : Platform::Ui::shown()) {
        if (s.kind == QLatin1String("msgbox")) {
            ++questions;
            EXPECT_EQ(s.text, QStringLiteral("Replace existing file - ") + name + QLatin1Char('?'));
            EXPECT_EQ(s.style, 52);
            EXPECT_EQ(s.title, QStringLiteral("Kovra-TEV"));
        }
        if (s.kind == QLatin1String("open")) {
            EXPECT_EQ(s.initDir, home());
        }
    }
    EXPECT_EQ(questions, 2);
}

TEST_F(Helpers, BrowseSaveOfANewNameReturnsItWithoutAsking)
{
    AppMain::state().AppPath = home();
    Platform::Ui::queueFile({file(QStringLiteral("new.log"))});
    Platform::Ui::FileDialog dialog;
    EXPECT_EQ(AppMain::BrowseSaveFile(dialog, QStringLiteral("Find Data File")), file(QStringLiteral("new.log")));
    EXPECT_EQ(Platform::Ui::shown().size(), 1u);
}

} // namespace
