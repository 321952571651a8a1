#include "platform/ui.h"

#include "platform/error.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

#include <deque>

namespace Platform::Ui {

namespace {

struct Script {
    bool on = false;
    std::deque<Answer> answers;
    std::deque<std::pair<bool, QString>> inputs;  // (answered, text)
    std::deque<FileAnswer> files;
    std::vector<Shown> shown;
    QStringList unscripted;  // "title: text" of each box that found no answer
    std::function<void(const Shown &)> onShown;

    void record(Shown entry)
    {
        shown.push_back(std::move(entry));
        if (onShown)
            onShown(shown.back());
    }
};

Script &script()
{
    static Script s;
    return s;
}

int buttonsOf(int style)
{
    return style & 0x0F;
}

Answer defaultAnswer(int style)
{
    static const Answer first[] = {Answer::Ok, Answer::Ok, Answer::Abort,
                                   Answer::Yes, Answer::Yes, Answer::Retry};
    static const Answer second[] = {Answer::Ok, Answer::Cancel, Answer::Retry,
                                    Answer::No, Answer::No, Answer::Cancel};
    const int b = buttonsOf(style) <= 5 ? buttonsOf(style) : 0;
    if (style & Style::DefaultButton2)
        return second[b];
    if ((style & Style::DefaultButton3) && b == 2)
        return Answer::Ignore;
    if ((style & Style::DefaultButton3) && b == 3)
        return Answer::Cancel;
    return first[b];
}

QMessageBox::StandardButtons buttonsFor(int style)
{
    switch (buttonsOf(style)) {
    case Style::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Style::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case Style::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Style::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Style::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon iconFor(int style)
{
    switch (style & 0x70) {
    case Style::Critical: return QMessageBox::Critical;
    case Style::Question: return QMessageBox::Question;
    case Style::Exclamation: return QMessageBox::Warning;
    case Style::Information: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

Answer answerFor(int button)
{
    switch (button) {
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ignore: return Answer::Ignore;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Ok;
    }
}

// A box belongs to the window the user works in, or to the program's main
// window when none of ours is active (a window just hidden gave up the
// activation): a box of its own would open behind the program.
QWidget *activeOwner(QWidget *owner)
{
    if (owner)
        return owner;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow *>(window) && window->isVisible())
            return window;
    }
    return nullptr;
}

// "Text (*.txt)|*.txt|All (*.*)|*.*" as Qt's ";;" list; the description
// already names the pattern, so the pair collapses into "Text (*.txt)".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        const qsizetype open = description.indexOf(QLatin1Char('('));
        if (open >= 0)
            description = description.left(open).trimmed();
        entries << QStringLiteral("%1 (%2)").arg(description, pattern);
    }
    return entries.join(QStringLiteral(";;"));
}

void showFileDialog(FileDialog &dialog, bool save, QWidget *owner)
{
    Script &s = script();
    QString chosen;
    bool cancelled = false;
    if (s.on) {
        s.record({save ? QStringLiteral("save") : QStringLiteral("open"), dialog.DialogTitle, dialog.Filter,
                  dialog.Flags, dialog.InitDir});
        if (s.files.empty()) {
            s.unscripted << dialog.DialogTitle + QStringLiteral(": ") + dialog.Filter;
            cancelled = true;
        } else {
            cancelled = s.files.front().cancel;
            chosen = s.files.front().fileName;
            s.files.pop_front();
        }
    } else {
        QFileDialog box(activeOwner(owner), dialog.DialogTitle, dialog.InitDir, qtFilter(dialog.Filter));
        box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // The program tests for an existing file itself and asks before replacing.
        box.setFileMode(QFileDialog::AnyFile);
        box.setOption(QFileDialog::DontConfirmOverwrite);
        if (!dialog.FileName.isEmpty())
            box.selectFile(dialog.FileName);
        if (box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty())
            chosen = box.selectedFiles().first();
        else
            cancelled = true;
    }
    if (cancelled) {
        if (dialog.CancelError)
            throw Error(ErrorNo::DialogCancelled, QStringLiteral("Cancel was selected."));
        return;
    }
    dialog.FileName = chosen;
}

} // namespace

Answer msgBox(const QString &text, int style, const QString &title)
{
    Script &s = script();
    if (s.on) {
        s.record({QStringLiteral("msgbox"), title, text, style, {}});
        if (s.answers.empty()) {
            s.unscripted << title + QStringLiteral(": ") + text;
            return defaultAnswer(style);
        }
        const Answer a = s.answers.front();
        s.answers.pop_front();
        return a;
    }
    QMessageBox box(iconFor(style), title, text, buttonsFor(style), activeOwner(nullptr));
    // A message box sizes itself to its text; a longer title would be cut.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(&box, title), 0), grid->rowCount(), 0, 1, grid->columnCount());
    if (style & Style::DefaultButton2) {
        const auto buttons = box.buttons();
        if (buttons.size() > 1)
            box.setDefaultButton(qobject_cast<QPushButton *>(buttons[1]));
    }
    return answerFor(box.exec());
}

int widthForTitle(const QWidget *window, const QString &title)
{
    // Title bars commonly set their text in bold, beside the icon and three buttons.
    constexpr int kTitleBarControls = 150;
    QFont font = window->font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarControls;
}

void beep()
{
    Script &s = script();
    if (s.on) {
        s.record({QStringLiteral("beep"), {}, {}, 0, {}});
        return;
    }
    QApplication::beep();
}

std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    Script &s = script();
    if (s.on) {
        s.record({QStringLiteral("input"), title, prompt, 0, {}});
        if (s.inputs.empty()) {
            s.unscripted << title + QStringLiteral(": ") + prompt;
            return std::nullopt;
        }
        const auto [answered, text] = s.inputs.front();
        s.inputs.pop_front();
        if (!answered)
            return std::nullopt;
        return text;
    }
    bool ok = false;
    const QString text = QInputDialog::getText(activeOwner(nullptr), title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

namespace {
bool hasWidgets()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}
} // namespace

BusyCursor::BusyCursor()
{
    if (hasWidgets())
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    if (hasWidgets())
        QApplication::restoreOverrideCursor();
}

void FileDialog::ShowOpen(QWidget *owner)
{
    showFileDialog(*this, false, owner);
}

void FileDialog::ShowSave(QWidget *owner)
{
    showFileDialog(*this, true, owner);
}

void installScript()
{
    script() = Script{};
    script().on = true;
}

void removeScript()
{
    script() = Script{};
}

void onShown(std::function<void(const Shown &)> hook)
{
    script().onShown = std::move(hook);
}

bool scripted()
{
    return script().on;
}

void queueAnswer(Answer answer)
{
    script().answers.push_back(answer);
}

void queueInput(std::optional<QString> text)
{
    script().inputs.emplace_back(text.has_value(), text.value_or(QString()));
}

void queueFile(FileAnswer answer)
{
    script().files.push_back(std::move(answer));
}

const std::vector<Shown> &shown()
{
    return script().shown;
}

void clearShown()
{
    script().shown.clear();
}

QStringList unscriptedBoxes()
{
    return script().unscripted;
}

int unscriptedCount()
{
    return int(script().unscripted.size());
}

int unusedCount()
{
    const Script &s = script();
    return int(s.answers.size() + s.inputs.size() + s.files.size());
}

} // namespace Platform::Ui
