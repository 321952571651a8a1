#include "SetupFixture.h"

#include "setup/ClockParms.h"
#include "setup/frmStpClkParm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <memory>

namespace {

using ClkSetup::kRS;

QString relays(const QStringList &times)
{
    return QStringLiteral("LPB03") + times.join(kRS);
}

// Every edited position holds a character no control lists, so a write to a
// wrong position or string shows.
AppMain::ClockParmRec unlisted()
{
    AppMain::ClockParmRec r;
    r.ClockParameters = QStringLiteral("LPB00XXXXXXXX");
    r.FunctionKeys = QStringLiteral("LPB02XXXX");
    r.RelayTimeOut = relays({"XXXX", "XXXX", "XXXX", "XXXX", "XXXX", "XXXX"});
    r.BadgeLen = QStringLiteral("LPB05X");
    r.ClockDisplay = QStringLiteral("LPB06XX");
    r.MsgAck = QStringLiteral("LMB01XX");
    r.BadgeValidation = QStringLiteral("LEB01XXXXXXXXXXXXX");
    r.BadgeFilter = QStringLiteral("LPB040") + kRS + QStringLiteral("12");
    return r;
}

bool operator==(const AppMain::ClockParmRec &a, const AppMain::ClockParmRec &b)
{
    return a.ClockParameters == b.ClockParameters && a.FunctionKeys == b.FunctionKeys &&
           a.RelayTimeOut == b.RelayTimeOut && a.BadgeLen == b.BadgeLen && a.ClockDisplay == b.ClockDisplay &&
           a.MsgAck == b.MsgAck && a.BadgeValidation == b.BadgeValidation && a.BadgeFilter == b.BadgeFilter;
}

class ClockParmScreen : public SetupTest {
protected:
    std::unique_ptr<frmStpClkParm> open()
    {
        return std::make_unique<frmStpClkParm>();
    }

    static void choose(frmStpClkParm *f, const QString &control, const QString &value)
    {
        if (auto *option = f->findChild<QRadioButton *>(control)) {
            option->click();
        } else if (auto *combo = f->findChild<QComboBox *>(control)) {
            const int index = combo->findText(value);
            ASSERT_GE(index, 0) << value.toStdString();
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        } else if (auto *box = f->findChild<QCheckBox *>(control)) {
            box->click();
        } else if (auto *edit = f->findChild<QLineEdit *>(control)) {
            edit->setText(value);
            emit edit->textEdited(value);
            emit edit->editingFinished();
        } else {
            FAIL() << "no control " << control.toStdString();
        }
    }

    QStringList registry() const { return dump(QStringLiteral("Registry")); }
};

TEST_F(ClockParmScreen, EachControlWritesExactlyItsPositionsOfItsString)
{
    struct Row {
        const char *control;
        const char *choice;
        ClkSetup::ParmField field;
        QString expected;
    };
    using F = ClkSetup::ParmField;
    const Row rows[] = {
        {"optSixOnly", "", F::ClockParameters, "LPB006XXXXXXX"},
        {"optAnyLen", "", F::ClockParameters, "LPB000XXXXXXX"},
        {"optAllowed", "", F::ClockParameters, "LPB00X1XXXXXX"},
        {"optNotAllowed", "", F::ClockParameters, "LPB00X0XXXXXX"},
        {"cmbTimeElapsed", "2 Minutes", F::ClockParameters, "LPB00XX1XXXXX"},
        {"cmbTimeElapsed", "10 Minutes", F::ClockParameters, "LPB00XX9XXXXX"},
        {"cmbPromptTimeOut", "6 Seconds", F::ClockParameters, "LPB00XXX6XXXX"},
        {"cmbMsgTimeOut", "1 Second", F::ClockParameters, "LPB00XXXX1XXX"},
        {"optAmericanDate", "", F::ClockParameters, "LPB00XXXXX0XX"},
        {"optEuropeanDate", "", F::ClockParameters, "LPB00XXXXX1XX"},
        {"optIdleBadge(0)", "", F::ClockParameters, "LPB00XXXXXX0X"},
        {"optIdleBadge(1)", "", F::ClockParameters, "LPB00XXXXXX1X"},
        {"optActiveLPunch", "", F::FunctionKeys, "LPB021XXX"},
        {"optInActiveLPunch", "", F::FunctionKeys, "LPB020XXX"},
        {"optActiveHoursWorked", "", F::FunctionKeys, "LPB02XX1X"},
        {"optInActiveHoursWorked", "", F::FunctionKeys, "LPB02XX0X"},
        {"mskRelayTime(0)", "5", F::RelayTimeOut, relays({"0005", "XXXX", "XXXX", "XXXX", "XXXX", "XXXX"})},
        {"mskRelayTime(3)", "", F::RelayTimeOut, relays({"XXXX", "XXXX", "XXXX", "0000", "XXXX", "XXXX"})},
        {"mskRelayTime(5)", "1234", F::RelayTimeOut, relays({"XXXX", "XXXX", "XXXX", "XXXX", "XXXX", "1234"})},
        {"optBadgeLen6", "", F::BadgeLen, "LPB050"},
        {"optBadgeLen12", "", F::BadgeLen, "LPB051"},
        {"chkFuncKeyPrompt", "", F::ClockDisplay, "LPB061X"},
        {"chkIdlePrompt", "", F::ClockDisplay, "LPB06X1"},
        {"ssoptNoMsgAck", "", F::MsgAck, "LMB0100"},
        {"ssoptMsgTimeOut", "", F::MsgAck, "LMB0110"},
        {"ssoptMsgWait", "", F::MsgAck, "LMB0111"},
        {"optValidation", "", F::BadgeValidation, "LEB011XXXXXXXXXXXX"},
        {"optNoValidation", "", F::BadgeValidation, "LEB010XXXXXXXXXXXX"},
    };
    for (const Row &row : rows) {
        AppMain::state().ClkParm = unlisted();
        auto f = open();
        choose(f.get(), QString::fromLatin1(row.control), QString::fromLatin1(row.choice));
        AppMain::ClockParmRec expected = unlisted();
        ClkSetup::parmField(expected, row.field) = row.expected;
        EXPECT_TRUE(f->copies() == expected)
            << row.control << " " << row.choice << ": "
            << ClkSetup::parmField(f->copies(), row.field).toStdString();
    }
}

TEST_F(ClockParmScreen, UnlistedCharactersSelectNothingAndSaveKeepsThem)
{
    AppMain::state().ClkParm = unlisted();
    const QStringList before = registry();
    auto f = open();
    for (QRadioButton *option : f->findChildren<QRadioButton *>())
        EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
    for (QComboBox *combo : {f->cmbTimeElapsed, f->cmbPromptTimeOut, f->cmbMsgTimeOut})
        EXPECT_EQ(combo->currentIndex(), -1) << combo->objectName().toStdString();
    for (QLineEdit *box : f->mskRelayTime)
        EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(f->chkIdlePrompt->checkState(), Qt::PartiallyChecked);

    // Leaving a relay box without typing in it writes nothing either.
    emit f->mskRelayTime[2]->editingFinished();
    f->cmdSave->click();
    EXPECT_EQ(registry(), before);
    EXPECT_TRUE(AppMain::state().ClkParm == unlisted());
}

TEST_F(ClockParmScreen, OpenAndSaveOrDefaultAndCloseStoreNothing)
{
    const QStringList before = registry();
    const AppMain::ClockParmRec loaded = AppMain::state().ClkParm;
    {
        auto f = open();
        EXPECT_TRUE(f->copies() == loaded) << "showing the strings wrote into the copies";
        f->cmdSave->click();
    }
    EXPECT_EQ(registry(), before);
    {
        auto f = open();
        f->cmdDefault->click();
        f->cmdClose->click();
    }
    EXPECT_EQ(registry(), before);
    EXPECT_TRUE(AppMain::state().ClkParm == loaded);
}

TEST_F(ClockParmScreen, AfterDefaultAGreyedDisplayBoxTurnsAtOneClick)
{
    AppMain::state().ClkParm = unlisted();
    auto f = open();
    f->cmdDefault->click();   // function-key prompt 0, idle prompt 1
    f->chkIdlePrompt->click();
    f->chkFuncKeyPrompt->click();
    EXPECT_EQ(f->chkIdlePrompt->checkState(), Qt::Unchecked);
    EXPECT_EQ(f->chkFuncKeyPrompt->checkState(), Qt::Checked);
    EXPECT_EQ(f->copies().ClockDisplay, QStringLiteral("LPB0610"));
}

TEST_F(ClockParmScreen, DefaultOverFirstRunRelayTimesSavesRelayTimeOutAlone)
{
    auto f = open();
    f->cmdDefault->click();
    EXPECT_EQ(f->mskRelayTime[0]->text(), QStringLiteral("5000"));
    EXPECT_EQ(f->mskRelayTime[1]->text(), QStringLiteral("0000"));
    f->cmdSave->click();
    const QStringList rows = registry();
    ASSERT_EQ(rows.size(), 1) << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(rows[0], QStringLiteral("Clock PARM|RelayTimeOut|") + relays({"5000", "0000", "0000", "0000", "0000", "0000"}));
    EXPECT_EQ(AppMain::state().ClkParm.RelayTimeOut, relays({"5000", "0000", "0000", "0000", "0000", "0000"}));
}

TEST_F(ClockParmScreen, BadgeFilterIsRebuiltFromItsListsAtSave)
{
    const struct {
        const char *start;
        const char *count;
        QString stored;
    } rows[] = {
        {"12", "6", QStringLiteral("LPB0411") + kRS + QStringLiteral("6")},
        {"1", "12", QStringLiteral("LPB040") + kRS + QStringLiteral("12")},
        {"40", "1", QStringLiteral("LPB0439") + kRS + QStringLiteral("1")},
    };
    for (const auto &row : rows) {
        auto f = open();
        choose(f.get(), QStringLiteral("cboBadgeFilteringStartPos"), QString::fromLatin1(row.start));
        choose(f.get(), QStringLiteral("cboBadgeFilterNoOfChar"), QString::fromLatin1(row.count));
        f->cmdSave->click();
        EXPECT_EQ(AppMain::state().ClkParm.BadgeFilter, row.stored);
        EXPECT_EQ(AppMain::GetRegValue(AppMain::OpenRegKey(db(), QStringLiteral("Clock PARM")),
                                       QStringLiteral("BadgeFilter"), QString()),
                  row.stored);
        // Reopening shows what was stored.
        auto again = open();
        EXPECT_EQ(again->cboBadgeFilteringStartPos->currentText(), QString::fromLatin1(row.start));
        EXPECT_EQ(again->cboBadgeFilterNoOfChar->currentText(), QString::fromLatin1(row.count));
    }
}

TEST_F(ClockParmScreen, FilterOutsideTheListsAndTooShortStringsNeitherCrashNorChange)
{
    AppMain::ClockParmRec odd = unlisted();
    odd.BadgeFilter = QStringLiteral("LPB0450") + kRS + QStringLiteral("13");
    odd.ClockParameters = QStringLiteral("LPB00");
    odd.RelayTimeOut = QStringLiteral("LPB0312");
    odd.MsgAck = QStringLiteral("LMB010");
    AppMain::state().ClkParm = odd;
    const QStringList before = registry();

    auto f = open();
    EXPECT_EQ(f->cboBadgeFilteringStartPos->currentIndex(), -1);
    EXPECT_EQ(f->cboBadgeFilterNoOfChar->currentIndex(), -1);
    choose(f.get(), QStringLiteral("optSixOnly"), {});
    choose(f.get(), QStringLiteral("ssoptMsgWait"), {});
    choose(f.get(), QStringLiteral("mskRelayTime(4)"), QStringLiteral("77"));
    choose(f.get(), QStringLiteral("cmbPromptTimeOut"), QStringLiteral("2 Seconds"));
    EXPECT_TRUE(f->copies() == odd) << "a position past the end was written";
    f->cmdSave->click();
    EXPECT_EQ(registry(), before) << "the filter with no number shown was rebuilt";

    AppMain::state().ClkParm.BadgeFilter.clear();
    auto empty = open();
    empty->cmdSave->click();
    EXPECT_EQ(registry(), before);
}

TEST_F(ClockParmScreen, WriteRefusedMidSaveShowsTheBoxAndClkParmMatchesTheStore)
{
    db().execute(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON Registry WHEN NEW.RegField = 'BadgeValidation' "
        "BEGIN SELECT RAISE(ABORT, 'badge validation is locked'); END"));
    const AppMain::ClockParmRec old = AppMain::state().ClkParm;
    auto f = open();
    choose(f.get(), QStringLiteral("optSixOnly"), {});          // ClockParameters, stored before
    choose(f.get(), QStringLiteral("optNoValidation"), {});     // refused
    choose(f.get(), QStringLiteral("ssoptMsgWait"), {});        // MsgAck, after the refusal
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    f->cmdSave->click();

    const QStringList boxes = errorBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("badge validation is locked"))) << boxes[0].toStdString();

    AppMain::ClockParmRec stored = old;
    const Platform::Snapshot rs = AppMain::OpenRegKey(db(), QStringLiteral("Clock PARM"));
    stored.ClockParameters = AppMain::GetRegValue(rs, QStringLiteral("ClockParameters"), old.ClockParameters);
    stored.BadgeValidation = AppMain::GetRegValue(rs, QStringLiteral("BadgeValidation"), old.BadgeValidation);
    stored.MsgAck = AppMain::GetRegValue(rs, QStringLiteral("MsgAck"), old.MsgAck);
    EXPECT_EQ(stored.ClockParameters, QStringLiteral("LPB0061063011"));
    EXPECT_EQ(stored.MsgAck, old.MsgAck);
    EXPECT_TRUE(AppMain::state().ClkParm == stored);
}

TEST(SetupCaptions, DecodedAsTheBuilderShowsThem)
{
    AppMain::ClockParmRec p;
    p.ClockParameters = QStringLiteral("LPB0061173101");
    p.BadgeLen = QStringLiteral("LPB050");
    p.BadgeFilter = QStringLiteral("LPB040") + kRS + QStringLiteral("12");
    p.BadgeValidation = QStringLiteral("LEB011000000000000");
    p.ClockDisplay = QStringLiteral("LPB0610");
    p.MsgAck = QStringLiteral("LMB0111");
    p.FunctionKeys = QStringLiteral("LPB020100");
    p.RelayTimeOut = relays({"0000", "5000", "0001", "0002", "0003", "9999"});

    const ClkSetup::SetupCaptions c = ClkSetup::SetupCommandCaptions(p);
    EXPECT_EQ(c.lblsetclockParm, QStringLiteral("-> Input Badge Length = 6\r\n"
                                                "-> Output badge length = 6\r\n"
                                                "-> Keyboard input allowed\r\n"
                                                "-> Time elapse before badge may be read again = 1\r\n"
                                                "-> Prompt display timeout = 7\r\n"
                                                "-> Message display time = 3\r\n"
                                                "-> European Date Display"));
    EXPECT_EQ(c.lblBadgeFilter, QStringLiteral("-> Starting from position 0 read 12 characters"));
    EXPECT_EQ(c.lblBadgeValidation, QStringLiteral("-> Validate"));
    EXPECT_EQ(c.lblDisplayDateTime, QStringLiteral("-> Function Keys = Yes\r\n-> Idle Prompt = No"));
    EXPECT_EQ(c.lblSetRelay, QStringLiteral("-> Idle Function = 0000\r\n-> F1 = 5000\r\n-> F2 = 0001\r\n"
                                            "-> F3 = 0002\r\n-> F4 = 0003\r\n-> F5 = 9999\r\n"));
    EXPECT_EQ(c.chkMsgAck, QStringLiteral("Message Acknowledgement -> Enable and wait"));
    EXPECT_EQ(c.lblFuncKeys, QStringLiteral("-> Last Punch function disabled\r\n"
                                            "-> Week to date hours worked function disabled"));

    const struct {
        const char *field;
        QString value;
        QString (*caption)(const ClkSetup::SetupCaptions &);
        QString expected;
    } rows[] = {
        {"MsgAck", "LMB0100", [](const ClkSetup::SetupCaptions &x) { return x.chkMsgAck; },
         "Message Acknowledgement -> Disable"},
        {"MsgAck", "LMB0110", [](const ClkSetup::SetupCaptions &x) { return x.chkMsgAck; },
         "Message Acknowledgement -> Enable and timeout"},
        {"BadgeValidation", "LEB01X", [](const ClkSetup::SetupCaptions &x) { return x.lblBadgeValidation; },
         "-> Do Not validate"},
        {"BadgeFilter", "LPB0411" + QString(kRS) + "6", [](const ClkSetup::SetupCaptions &x) { return x.lblBadgeFilter; },
         "-> Starting from position 11 read 6 characters"},
        // A character that is no code shows as it stands.
        {"ClockParameters", "LPB0060X73101",
         [](const ClkSetup::SetupCaptions &x) { return x.lblsetclockParm.split("\r\n").value(3); },
         "-> Time elapse before badge may be read again = X"},
        {"ClockParameters", "LPB000", [](const ClkSetup::SetupCaptions &x) { return x.lblsetclockParm.split("\r\n").value(2); },
         "-> Keyboard input allowed"},
    };
    for (const auto &row : rows) {
        AppMain::ClockParmRec q = p;
        const QString name = QString::fromLatin1(row.field);
        if (name == QLatin1String("MsgAck"))
            q.MsgAck = row.value;
        else if (name == QLatin1String("BadgeValidation"))
            q.BadgeValidation = row.value;
        else if (name == QLatin1String("BadgeFilter"))
            q.BadgeFilter = row.value;
        else
            q.ClockParameters = row.value;
        EXPECT_EQ(row.caption(ClkSetup::SetupCommandCaptions(q)), row.expected) << row.value.toStdString();
    }
}

} // namespace
