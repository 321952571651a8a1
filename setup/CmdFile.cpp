#include "setup/CmdFile.h"

#include "platform/ansi.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "setup/ClkMsgs.h"
#include "setup/ClockParms.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTime>

namespace CmdFile {

namespace {

const QString RS = QString(ClkSetup::kRS);

std::optional<QDate> &todayOverride()
{
    static std::optional<QDate> day;
    return day;
}

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The one rule for the numbers a record carries in three places (prompt,
// schedule, and the employee's schedule and message): exactly three digits
// as written, after whatever padding the builder gives the number.
bool threeDigits(const QString &number)
{
    return number.size() == 3 && allDigits(number);
}

// Why the texts of a record cannot go into the file, or empty when they can.
// The record's RS separators come from its layout alone: an RS, a line end or
// any other control character inside a text would add a field or a line and
// shift the fixed positions after it.
QString unwritable(std::initializer_list<QString> texts)
{
    try {
        for (const QString &text : texts)
            Platform::Ansi::checkTyped(text);
    } catch (const Platform::Error &e) {
        return e.description();
    }
    return QString();
}

// Digits without the zeros in front; "0" stays.
QString withoutLeadingZeros(const QString &digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == QLatin1Char('0'))
        ++zeros;
    return digits.mid(zeros);
}

// Schedule window bounds are five digits; a start before Sunday 00:00 is
// written as the week's first minute.
QString minutes5(int value)
{
    return QStringLiteral("%1").arg(value, 5, 10, QLatin1Char('0'));
}

std::optional<int> dayNumber(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    const QString text = value.toString().trimmed();
    if (!allDigits(text) || text.size() > 2)
        return std::nullopt;
    const int day = text.toInt();
    if (day < 1 || day > 7)
        return std::nullopt;
    return day;
}

} // namespace

std::optional<Refusal> CheckSetupString(const QString &name, const QString &value)
{
    const QString record = QStringLiteral("Setup string %1").arg(name);
    if (!Platform::Ansi::canEncode(value))
        return Refusal{record, QStringLiteral("it holds a character the clock's character set lacks")};
    // Its RS separators are its own layout; no other control character is.
    const QString why = unwritable({QString(value).remove(ClkSetup::kRS)});
    if (!why.isEmpty())
        return Refusal{record, why};
    return std::nullopt;
}

namespace {

void setupLines(const Content &c, Result &r)
{
    struct Item {
        bool ticked;
        const char *name;
        const QString &value;
    };
    const Item items[] = {
        {c.setClockParm, "ClockParameters", c.parm.ClockParameters},
        {c.setClockParm, "BadgeLen", c.parm.BadgeLen},
        {c.badgeFilter, "BadgeFilter", c.parm.BadgeFilter},
        {c.funcKeysParm, "FunctionKeys", c.parm.FunctionKeys},
        {c.setRelay, "RelayTimeOut", c.parm.RelayTimeOut},
        {c.displayDate, "ClockDisplay", c.parm.ClockDisplay},
        {c.msgAck, "MsgAck", c.parm.MsgAck},
        {c.badgeValidation, "BadgeValidation", c.parm.BadgeValidation},
    };
    for (const Item &item : items) {
        if (!item.ticked)
            continue;
        if (const std::optional<Refusal> refused = CheckSetupString(QLatin1String(item.name), item.value))
            r.refused.push_back(*refused);
        else
            r.lines << item.value + RS;
    }
}

// Why a prompt cannot be one, or empty.
QString promptRefusal(const QString &promptNo, const QString &prompt)
{
    if (!threeDigits(promptNo))
        return QStringLiteral("its prompt number \"%1\" is not three digits").arg(promptNo);
    if (prompt.size() > ClkSetup::kPromptLength)
        return QStringLiteral("the prompt is longer than %1 characters").arg(ClkSetup::kPromptLength);
    return unwritable({promptNo, prompt});
}

void promptLines(const Content &c, Result &r)
{
    for (const Prompt &p : c.prompts) {
        if (const std::optional<Refusal> refused = CheckPrompt(p.PromptNo, p.Prompt))
            r.refused.push_back(*refused);
        else
            r.lines << PromptLine(p.PromptNo, p.Prompt);
    }
}

void messageLines(const Content &c, Result &r)
{
    if (c.eraseEmpMsgs)
        r.lines << QStringLiteral("LME01") + RS;
    for (const Message &m : c.messages) {
        const QString name = QStringLiteral("Message %1").arg(m.number);
        const std::optional<QString> number = ThreeDigits(m.number);
        if (!number) {
            r.refused.push_back({name, QStringLiteral("its number is not digits")});
            continue;
        }
        const QString why = unwritable({m.text});
        if (why.isEmpty())
            r.lines << QStringLiteral("LMC01") + *number + RS + m.text + RS;
        else
            r.refused.push_back({name, why});
    }
}

void scheduleLines(const Content &c, Result &r)
{
    if (c.eraseSch)
        r.lines << QStringLiteral("LSE01") + RS;
    r.lines << QStringLiteral("LSB01") + WeekSunday(c.today).toString(QStringLiteral("yyMMdd")) + RS;

    for (const Schedule &s : c.schedules) {
        if (!s.found)
            continue;   // the source has no such schedule: nothing to send
        const QString name = QStringLiteral("Schedule %1").arg(s.number);
        if (!threeDigits(s.number)) {
            r.refused.push_back({name, QStringLiteral("its number is not three digits")});
            continue;
        }
        if (s.days.empty()) {
            r.refused.push_back({name, QStringLiteral("it has no day rows")});
            continue;
        }
        QStringList windows;
        QString why;
        for (const ScheduleDay &d : s.days) {
            const std::optional<int> day = dayNumber(d.TheDay);
            const std::optional<int> start = MinutesOfDay(d.StartTime);
            const std::optional<int> end = MinutesOfDay(d.EndTime);
            if (!day) {
                why = QStringLiteral("day \"%1\" is not a day from 1 to 7").arg(d.TheDay.toString());
                break;
            }
            if (!start || !end) {
                why = QStringLiteral("day %1 has a time that cannot be read").arg(*day);
                break;
            }
            const int from = std::max(0, *start + (*day - 1) * 1440 - c.grace);
            const int to = (*start < *end ? *end + (*day - 1) * 1440 : *end + *day * 1440) + c.grace;
            if (to < 0 || to > 99999) {
                why = QStringLiteral("day %1 ends outside the week's minutes").arg(*day);
                break;
            }
            if (from > to) {   // a grace below zero can close a window altogether
                why = QStringLiteral("day %1 starts after it ends with a grace of %2 minutes").arg(*day).arg(c.grace);
                break;
            }
            windows << QStringLiteral("LSC01") + s.number + QLatin1Char(' ') + minutes5(from) + minutes5(to) + RS;
        }
        if (why.isEmpty())
            r.lines << windows;
        else
            r.refused.push_back({name, why});
    }
}

void funcKeyLines(const Content &c, Result &r)
{
    if (!c.funcKeySection)
        return;
    for (const FuncKey &k : c.funcKeys) {
        const QString digit = k.caption.right(1);
        QStringList group{QStringLiteral("LFE0") + digit + RS};
        QString why;
        if (k.def.mapped) {
            const QString prompt = k.def.FunctionPrompt.left(ClkSetup::kFunctionPromptLength)
                                       .leftJustified(ClkSetup::kFunctionPromptLength, QLatin1Char(' '));
            QString fields;
            for (const ClkSetup::FuncKeyField &f : k.def.fields) {
                why = promptRefusal(f.PromptNo, f.Prompt);
                if (!why.isEmpty())
                    break;
                group << PromptLine(f.PromptNo, f.Prompt);
                fields += f.FieldLength + f.DecimalPoint;
            }
            while (fields.size() < 8)
                fields += QLatin1Char('0');
            group << QStringLiteral("LFB0") + digit + prompt + fields + RS;
            if (why.isEmpty())
                why = unwritable({prompt, fields});
        }
        if (why.isEmpty())
            r.lines << group;
        else
            r.refused.push_back({QStringLiteral("Function key %1").arg(k.caption), why});
    }
}

void employeeLines(const Content &c, Result &r)
{
    if (c.eraseEmp)
        r.lines << QStringLiteral("LEE01") + RS;
    const int width = c.parm.BadgeLen.mid(5, 1) == QLatin1String("0") ? 6 : 12;
    for (const Employee &e : c.employees) {
        const QString name = QStringLiteral("Employee %1 (%2 %3)").arg(e.number, e.firstName, e.lastName);
        // Zeros in front are the picture's own: "0000042" fits six places.
        const QString badge = withoutLeadingZeros(e.number.trimmed());
        if (!allDigits(badge) || badge.size() > width) {
            r.refused.push_back({name, QStringLiteral("the badge is not 1 to %1 digits").arg(width)});
            continue;
        }
        if (!e.unfit.isEmpty()) {
            r.refused.push_back({name, e.unfit});
            continue;
        }
        if (!threeDigits(e.tag.left(3)) || !threeDigits(e.tag.mid(3, 3))) {
            r.refused.push_back({name, QStringLiteral("its schedule or message number is not three digits")});
            continue;
        }
        // The whole stored first name is checked, not only the word written.
        const QString why = unwritable({e.firstName, e.tag});
        if (!why.isEmpty()) {
            r.refused.push_back({name, why});
            continue;
        }
        const QString first = e.firstName.trimmed().section(QLatin1Char(' '), 0, 0).left(12);
        r.lines << QStringLiteral("LEC01") + badge.rightJustified(width, QLatin1Char('0'))
                       + first.rightJustified(12, QLatin1Char(' ')) + e.tag + QStringLiteral("0000") + RS;
    }
}

} // namespace

QString PromptLine(const QString &promptNo, const QString &prompt)
{
    return QStringLiteral("LPC01") + promptNo + RS + prompt + RS;
}

std::optional<Refusal> CheckPrompt(const QString &promptNo, const QString &prompt)
{
    const QString why = promptRefusal(promptNo, prompt);
    if (why.isEmpty())
        return std::nullopt;
    return Refusal{QStringLiteral("Clock prompt %1").arg(promptNo), why};
}

Result Compose(const Content &c)
{
    Result r;
    r.lines << QStringLiteral("O00") + RS << QStringLiteral("D00 Downloading...") + RS;
    setupLines(c, r);
    promptLines(c, r);
    messageLines(c, r);
    scheduleLines(c, r);
    funcKeyLines(c, r);
    employeeLines(c, r);
    r.lines << QStringLiteral("D00 Download Complete!!") + RS + QStringLiteral("003") + RS;
    r.lines << QStringLiteral("O10") + RS;
    return r;
}

QByteArray Encode(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += Platform::Ansi::encode(line) + "\r\n";
    return bytes;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Platform::Error(Platform::ErrorNo::PathNotFound,
                              QStringLiteral("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(folder)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Platform::Error(Platform::ErrorNo::PermissionDenied, file.errorString());
}

bool Build(const Content &content, const QString &path)
{
    const Result r = Compose(content);
    if (!r.refused.empty()) {
        ShowRefused(r.refused);
        return false;
    }
    try {
        WriteFile(path, Encode(r.lines));
    } catch (const Platform::Error &e) {
        ShowNotBuilt(e);
        return false;
    }
    return true;
}

void ShowNotBuilt(const Platform::Error &e, const QString &cause)
{
    const Platform::ActiveError active(e);
    QString text = QStringLiteral("Clock commands file \"TEVCMD.DLD\" was not built successfully!");
    if (!cause.isEmpty())
        text += QLatin1Char('\n') + cause;
    AppMain::ShowErrorMsg(QString(), text);
}

void ShowRefused(const std::vector<Refusal> &refused)
{
    Platform::Ui::msgBox(RefusalText(refused), Platform::Ui::Style::OkOnly | Platform::Ui::Style::Exclamation);
}

QString RefusalText(const std::vector<Refusal> &refused)
{
    QStringList text{QStringLiteral("These records cannot be written to the command file:")};
    const int shown = std::min<int>(kMaxListed, static_cast<int>(refused.size()));
    for (int i = 0; i < shown; ++i)
        text << QStringLiteral("%1: %2").arg(refused[i].record, refused[i].reason);
    if (static_cast<int>(refused.size()) > shown)
        text << QStringLiteral("and %1 more").arg(static_cast<int>(refused.size()) - shown);
    return text.join(QLatin1Char('\n'));
}

QDate WeekSunday(const QDate &day)
{
    return day.addDays(-(day.dayOfWeek() % 7));   // Qt: Monday 1 .. Sunday 7
}

QDate Today()
{
    return todayOverride() ? *todayOverride() : QDate::currentDate();
}

void SetTodayForTests(std::optional<QDate> day)
{
    todayOverride() = day;
}

std::optional<int> MinutesOfDay(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.typeId() == QMetaType::QTime)
        return value.toTime().isValid() ? std::optional<int>(value.toTime().msecsSinceStartOfDay() / 60000) : std::nullopt;
    if (value.typeId() == QMetaType::QDateTime)
        return MinutesOfDay(value.toDateTime().time());
    static const QRegularExpression time(
        QStringLiteral("(?:^|[\\sT])(\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?:\\s*([AaPp])[Mm])?$"));
    const QRegularExpressionMatch m = time.match(value.toString().trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    int hours = m.captured(1).toInt();
    const int minutes = m.captured(2).toInt();
    if (minutes > 59 || (m.hasCaptured(3) && m.captured(3).toInt() > 59))
        return std::nullopt;
    if (m.hasCaptured(4)) {
        if (hours < 1 || hours > 12)
            return std::nullopt;
        hours %= 12;
        if (m.captured(4).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0)
            hours += 12;
    } else if (hours > 23) {
        return std::nullopt;
    }
    return hours * 60 + minutes;
}

std::optional<QString> ThreeDigits(const QString &number)
{
    const QString digits = number.trimmed();
    if (!allDigits(digits))
        return std::nullopt;
    return withoutLeadingZeros(digits).rightJustified(3, QLatin1Char('0'));
}

} // namespace CmdFile
