// The command-file download to one serial clock, the terminal text boxes and
// the badge and schedule count query.
#include "link/SerialClk.h"
#include "link/SerialClkDetail.h"

#include "app/AppMain.h"
#include "link/frmCancelSend.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTextCursor>

#include <algorithm>

namespace SerialClk {

namespace {

constexpr int kTerminalTextLimit = 16000;
constexpr int kTerminalTextDrop = 4096;
constexpr char kBackspace = 8;
constexpr qsizetype kBadgeDigits = 3;
const QString kCloseCommand = QStringLiteral("O10");
const QString kCountCommand = QStringLiteral("S01");
const QByteArray kCountAnswer = QByteArrayLiteral("BS01");
const QString kUnableToSend = QStringLiteral("Unable to send command!");

// A command file's lines: each ends at CR LF, LF or CR; text after the last
// line end is a line of its own.
QList<QByteArray> splitLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines << content.mid(start, i - start);
        if (c == '\r' && i + 1 < content.size() && content.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < content.size())
        lines << content.mid(start);
    return lines;
}

QByteArray readCommandFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int number = QFileInfo::exists(path) ? Platform::ErrorNo::PermissionDenied : Platform::ErrorNo::FileNotFound;
        throw Platform::Error(number, QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Platform::Error(Platform::ErrorNo::BadFileNameOrNumber,
                              QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return content;
}

void informationBox(const QString &text)
{
    Platform::Ui::msgBox(text, Platform::Ui::Style::OkOnly | Platform::Ui::Style::Information);
}

// The reply to a select or a data frame: False (after telling the user when
// there is something to tell) unless the clock accepted.
bool accepted(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        Platform::Ui::msgBox(kNotResponding);
        return false;
    }
    if (ReplyHas(reply, state().NAK)) {
        Platform::Ui::msgBox(kNotReady);
        return false;
    }
    return ReplyHas(reply, state().ACK);
}

} // namespace

void DownloadFileSerial(Platform::CommControl &comm, const QString &path, int controller, int terminal,
                        const QString &clockName)
{
    BusyGuard guard(nullptr, QStringLiteral("download"));
    if (!guard)
        return;
    State &s = state();
    QPointer<frmCancelSend> dialog = frmCancelSend::instance();
    // However it ends, the download leaves the flag set and the window hidden.
    struct End {
        ~End() { frmCancelSend::EndDownload(); }
    } end;

    try {
        dialog->SetUpForSerial(QStringLiteral("Downloading configuration file to clock: ") + clockName +
                               QStringLiteral(" ..."));
        const QByteArray content = readCommandFile(path);
        const int maximum = int(std::max<qsizetype>(1, content.size()));
        dialog->ProgressBar1->setMinimum(1);
        dialog->ProgressBar1->setMaximum(maximum);
        dialog->ProgressBar1->setVisible(true);
        dialog->ProgressBar1->setValue(1);
        dialog->show();
        s.CancelSend = false;

        // Closing the window the download serves counts as Cancel.
        const auto cancelled = [&] { return s.CancelSend || guard.stopRequested(); };
        qsizetype progress = 1;
        bool stopped = false;
        for (const QByteArray &line : splitLines(content)) {
            // A clock that answers at once leaves the exchange no wait to yield
            // in: the window would neither paint nor hear Cancel until the end.
            WaitForEvents(Platform::Clock::seconds(), 0);
            if ((stopped = cancelled()))
                break;
            if (!SendCommandWithRetry(comm, line, controller, terminal)) {
                frmCancelSend::EndDownload();
                informationBox(kNotResponding);
                return;
            }
            progress += line.size();
            if (dialog)
                dialog->ProgressBar1->setValue(int(std::min<qsizetype>(progress, maximum)));
        }
        if (stopped || cancelled()) {
            SendCommandWithRetry(comm, kCloseCommand, controller, terminal);
        } else {
            frmCancelSend::EndDownload();
            Platform::Ui::msgBox(QStringLiteral("File downloaded successfully!"));
        }
    } catch (const Platform::Error &e) {
        frmCancelSend::EndDownload();
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

void AppendTerminalText(QPlainTextEdit *box, const QString &text)
{
    // Counted as the box's own text, each line end two characters.
    QString shown = box->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (shown.size() > kTerminalTextLimit)
        shown = shown.mid(kTerminalTextDrop);
    qsizetype start = shown.size();
    QString added = text;
    for (qsizetype at = added.indexOf(QChar(kBackspace)); at >= 0; at = added.indexOf(QChar(kBackspace))) {
        if (at == 0) {
            // A leading backspace takes back the box's last character.
            if (!shown.isEmpty())
                start = shown.size() - 1;
            added.remove(0, 1);
        } else {
            added.remove(at - 1, 2);
        }
    }
    box->setPlainText(shown.left(start) + added + QStringLiteral("\r\n"));
    box->moveCursor(QTextCursor::End);
}

void ShowBadgeScheduleCount(Platform::CommControl &comm)
{
    BusyGuard guard;
    if (!guard)
        return;
    State &s = state();
    if (!s.ClockPortOpen && !OpenSelectedClockPort(comm))
        return;
    const int controller = s.SelClock.CtrlAddr;
    const int terminal = s.SelClock.TermAddr;

    if (!SendToPort(comm, BuildSelectMsg(controller, terminal))) {
        informationBox(kUnableToSend);
        return;
    }
    if (!accepted(ReadPortReply(comm)))
        return;
    if (!SendToPort(comm, BuildDataFrame(controller, terminal, kCountCommand + s.RS))) {
        informationBox(kUnableToSend);
        return;
    }
    if (!accepted(ReadPortReply(comm)))
        return;
    SendToPort(comm, BuildPollMsg(controller, terminal));
    const QByteArray reply = ReadPortReply(comm);
    const qsizetype at = reply.indexOf(kCountAnswer);
    if (at < 0)
        return;
    const QString counts = Platform::Ansi::decode(reply.mid(at + kCountAnswer.size(), 2 * kBadgeDigits));
    informationBox(QStringLiteral("No of Badges = ") + counts.left(kBadgeDigits) + QStringLiteral("\r\n") +
                   QStringLiteral("No of Schedules = ") + counts.mid(kBadgeDigits, kBadgeDigits));
    SendToPort(comm, BuildAckMsg(controller, terminal));
}

} // namespace SerialClk
