#include "link/frmSetTime.h"

#include "app/AppMain.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QCloseEvent>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

constexpr int kTopTwips = 100;
constexpr int kShortestDataReply = 5;
// How a refused operation names the one running meanwhile.
const QString kOperationName = QStringLiteral("set time");

QByteArray yymmdd(const QDate &date)
{
    return date.toString(QStringLiteral("yyMMdd")).toLatin1();
}

Platform::CommControl &port()
{
    return *frmMDI::instance()->MSComm1;
}

} // namespace

frmSetTime::frmSetTime()
{
    setObjectName(QStringLiteral("frmSetTime"));
    setWindowTitle(QStringLiteral("Clock Date/Time"));

    const auto group = [this](const char *name, const char *caption) {
        auto *g = new QGroupBox(QString::fromLatin1(caption), this);
        g->setObjectName(QString::fromLatin1(name));
        return g;
    };
    const auto button = [](QWidget *parent, const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), parent);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    const QString shortDate = QLocale().dateFormat(QLocale::ShortFormat);

    Frame1 = group("Frame1", "Set Clock Date/Time");
    lblDate = new QLabel(QStringLiteral("Date"), Frame1);
    DTPDateSet = new QDateEdit(Frame1);
    DTPDateSet->setObjectName(QStringLiteral("DTPDateSet"));
    DTPDateSet->setDisplayFormat(shortDate);
    lblDate->setBuddy(DTPDateSet);
    lblTime = new QLabel(QStringLiteral("Time"), Frame1);
    DTPTimeSet = new QTimeEdit(Frame1);
    DTPTimeSet->setObjectName(QStringLiteral("DTPTimeSet"));
    DTPTimeSet->setDisplayFormat(QLocale().timeFormat(QLocale::ShortFormat));
    lblTime->setBuddy(DTPTimeSet);
    cmdSetTime = button(Frame1, "cmdSetTime", "Set &Time");
    auto *f1 = new QGridLayout(Frame1);
    f1->addWidget(lblDate, 0, 0);
    f1->addWidget(DTPDateSet, 0, 1);
    f1->addWidget(lblTime, 1, 0);
    f1->addWidget(DTPTimeSet, 1, 1);
    f1->addWidget(cmdSetTime, 0, 2, 2, 1);

    Frame2 = group("Frame2", "Set Daylight Saving Date");
    lblDaylight = new QLabel(QStringLiteral("Date"), Frame2);
    DTPDaylightSet = new QDateEdit(Frame2);
    DTPDaylightSet->setObjectName(QStringLiteral("DTPDaylightSet"));
    DTPDaylightSet->setDisplayFormat(shortDate);
    lblDaylight->setBuddy(DTPDaylightSet);
    cmdSetDate = button(Frame2, "cmdSetDate", "Set &Date");
    auto *f2 = new QGridLayout(Frame2);
    f2->addWidget(lblDaylight, 0, 0);
    f2->addWidget(DTPDaylightSet, 0, 1);
    f2->addWidget(cmdSetDate, 0, 2);

    SSFrame2 = group("SSFrame2", "Get Clock Date/Time");
    cmdGetTime = button(SSFrame2, "cmdGetTime", "&Get Time");
    lblClockTime = new QLabel(QStringLiteral("Date       Time    "), SSFrame2);
    txtClockTime = new QLineEdit(SSFrame2);
    txtClockTime->setObjectName(QStringLiteral("txtClockTime"));
    txtClockTime->setReadOnly(true);
    lblClockTime->setBuddy(txtClockTime);
    auto *f3 = new QGridLayout(SSFrame2);
    f3->addWidget(lblClockTime, 0, 0);
    f3->addWidget(txtClockTime, 1, 0);
    f3->addWidget(cmdGetTime, 1, 1);

    SSFrame1 = group("SSFrame1", "Terminal Response");
    txtResponse = new QLineEdit(SSFrame1);
    txtResponse->setObjectName(QStringLiteral("txtResponse"));
    txtResponse->setReadOnly(true);
    auto *f4 = new QVBoxLayout(SSFrame1);
    f4->addWidget(txtResponse);

    cmdClose = button(this, "cmdClose", "Close");
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(Frame2);
    layout->addWidget(SSFrame2);
    layout->addWidget(SSFrame1);
    layout->addLayout(bottom);

    connect(cmdSetTime, &QPushButton::clicked, this, AppMain::Guarded([this] { SetTimeSerialClk(); }));
    connect(cmdGetTime, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdGetTime_Click(); }));
    connect(cmdSetDate, &QPushButton::clicked, this, AppMain::Guarded([this] { SetDayLightSavSerialClk(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));

    const QDateTime now = QDateTime::currentDateTime();
    DTPDateSet->setDate(now.date());
    DTPDaylightSet->setDate(now.date());
    DTPTimeSet->setTime(now.time());
}

std::optional<QString> frmSetTime::ClockTimeText(const QByteArray &reply)
{
    if (reply.size() < kShortestDataReply)
        return std::nullopt;
    const qsizetype p = reply.indexOf("BT01");
    if (p < 0)
        return std::nullopt;
    const QString date = QString::fromLatin1(reply.mid(p + 4, 6));
    const QString time = QString::fromLatin1(reply.mid(p + 10, 6));
    const QString dateText = date.mid(2, 2) + QLatin1Char('/') + date.mid(4, 2) + QLatin1Char('/') + date.left(2);
    QString timeText = time.left(2) + QLatin1Char(':') + time.mid(2, 2) + QLatin1Char(':') + time.mid(4, 2);
    const QTime parsed = QTime::fromString(timeText, QStringLiteral("HH:mm:ss"));
    if (parsed.isValid()) {
        // AM and PM in English whatever the locale: the clock's own convention.
        const int hour12 = parsed.hour() % 12 == 0 ? 12 : parsed.hour() % 12;
        timeText = QStringLiteral("%1:%2 %3")
                       .arg(hour12, 2, 10, QLatin1Char('0'))
                       .arg(parsed.minute(), 2, 10, QLatin1Char('0'))
                       .arg(parsed.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    }
    return dateText + QStringLiteral("   ") + timeText;
}

bool frmSetTime::selectAccepted()
{
    SerialClk::State &s = SerialClk::state();
    txtResponse->clear();
    if (!s.ClockPortOpen && !SerialClk::OpenSelectedClockPort(port()))
        return false;
    if (!SerialClk::SendToPort(port(), SerialClk::BuildSelectMsg(s.SelClock.CtrlAddr, s.SelClock.TermAddr)))
        return false;
    const QByteArray reply = SerialClk::ReadPortReply(port());
    if (reply.isEmpty()) {
        txtResponse->setText(SerialClk::kNotResponding);
        return false;
    }
    if (SerialClk::ReplyHas(reply, s.NAK)) {
        txtResponse->setText(SerialClk::kNotReady);
        return false;
    }
    return SerialClk::ReplyHas(reply, s.ACK);
}

void frmSetTime::sendAndShow(const QByteArray &command, const QString &okText)
{
    const SerialClk::State &s = SerialClk::state();
    if (!SerialClk::SendToPort(port(), SerialClk::BuildDataFrame(s.SelClock.CtrlAddr, s.SelClock.TermAddr, command)))
        return;
    SerialClk::ShowResponse(SerialClk::ReadPortReply(port()), okText, txtResponse);
}

void frmSetTime::SetTimeSerialClk()
{
    SerialClk::BusyGuard exchange(this, kOperationName);
    if (!exchange || !selectAccepted())
        return;
    // The pickers as they stand now, after the clock took the select.
    const QByteArray command = "T00" + yymmdd(DTPDateSet->date()) +
                               DTPTimeSet->time().toString(QStringLiteral("HHmmss")).toLatin1() +
                               SerialClk::state().RS.toLatin1();
    sendAndShow(command, QStringLiteral("Time is set!"));
}

void frmSetTime::SetDayLightSavSerialClk()
{
    SerialClk::BusyGuard exchange(this, kOperationName);
    if (!exchange || !selectAccepted())
        return;
    const QByteArray command = "T20" + yymmdd(DTPDaylightSet->date()) + SerialClk::state().RS.toLatin1();
    sendAndShow(command, QStringLiteral("Daylight saving date is set!"));
}

void frmSetTime::cmdGetTime_Click()
{
    if (Platform::Ui::msgBox(QStringLiteral("WARNING: Clock data should be polled first."),
                             Platform::Ui::Style::OkCancel) != Platform::Ui::Answer::Ok)
        return;
    GetTimeSerialClk();
}

void frmSetTime::GetTimeSerialClk()
{
    SerialClk::BusyGuard exchange(this, kOperationName);
    if (!exchange)
        return;
    try {
        if (!selectAccepted())
            return;
        const SerialClk::State &s = SerialClk::state();
        const int ctrl = s.SelClock.CtrlAddr;
        const int term = s.SelClock.TermAddr;
        if (!SerialClk::SendToPort(port(), SerialClk::BuildDataFrame(ctrl, term, "T10" + s.RS.toLatin1())))
            return;
        const QByteArray reply = SerialClk::ReadPortReply(port());
        if (reply.isEmpty()) {
            txtResponse->setText(SerialClk::kNotResponding);
            return;
        }
        if (!SerialClk::ReplyHas(reply, s.ACK))
            return;
        SerialClk::SendToPort(port(), SerialClk::BuildPollMsg(ctrl, term));
        const std::optional<QString> shown = ClockTimeText(SerialClk::ReadPortReply(port()));
        if (!shown)
            return;
        txtClockTime->setText(*shown);
        SerialClk::SendToPort(port(), SerialClk::BuildAckMsg(ctrl, term));
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

void frmSetTime::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event))
        return;
    event->accept();
}

namespace SerialClk {

void InstallSetTimeHook()
{
    mdiHooks().showSetTime = [] { AppMain::OneScreen<frmSetTime>::show(AppMain::TopEdge(kTopTwips)); };
}

} // namespace SerialClk
