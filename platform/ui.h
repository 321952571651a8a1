#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

// Message boxes, input boxes and file dialogs: the one place the program
// shows them, and the one place tests replace. With a script installed
// nothing modal is ever shown: answers come from the script's queue and
// everything shown is recorded.
namespace Platform::Ui {

// Styles as the program writes them: buttons + icon + default button.
namespace Style {
constexpr int OkOnly = 0;
constexpr int OkCancel = 1;
constexpr int AbortRetryIgnore = 2;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256;
constexpr int DefaultButton3 = 512;
}

enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// The program's title, on every box that names no other.
inline const QString AppTitle = QStringLiteral("Kovra-TEV");

// The box opens in front of the program's windows, wide enough to show its title.
Answer msgBox(const QString &text, int style = Style::OkOnly, const QString &title = AppTitle);
void beep();

// The width a window needs for its title bar to show `title` whole.
int widthForTitle(const QWidget *window, const QString &title);

// Returns nullopt when the user cancelled.
std::optional<QString> inputBox(const QString &prompt, const QString &title = AppTitle,
                                const QString &defaultText = QString());

// The open and save dialog with the properties the program sets on it.
// "Filter" is the description|pattern|description|pattern form.
struct FileDialog {
    QString DialogTitle;
    QString InitDir;
    QString Filter;
    QString FileName;
    int Flags = 0;
    bool CancelError = false;

    // With CancelError set a cancel throws Platform::Error 32755.
    void ShowOpen(QWidget *owner = nullptr);
    void ShowSave(QWidget *owner = nullptr);
};

// The hourglass while a long operation holds the window thread, for as long as this lives.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// ---- test script ----
struct Shown {
    QString kind;   // "msgbox", "input", "open", "save", "beep"
    QString title;
    QString text;   // the message, the prompt, or the dialog's filter
    int style = 0;  // message box style, or the dialog's flags
    QString initDir;
};

// A scripted file-dialog answer: a file name, or a cancel.
struct FileAnswer {
    QString fileName;
    bool cancel = false;
};

void installScript();     // from now on nothing modal is shown
void removeScript();
// Called as each scripted box or dialog is shown, to look at the windows around it.
void onShown(std::function<void(const Shown &)> hook);
bool scripted();
void queueAnswer(Answer answer);
void queueInput(std::optional<QString> text);
void queueFile(FileAnswer answer);
const std::vector<Shown> &shown();
void clearShown();
// Boxes that found the queue empty took their default answer ("title: text"
// of each); tests check there are none.
QStringList unscriptedBoxes();
int unscriptedCount();
// Scripted answers, inputs and file answers that no box or dialog took; tests check this is 0 too.
int unusedCount();

} // namespace Platform::Ui
