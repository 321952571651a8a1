#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <type_traits>
#include <utility>

class QAbstractButton;
class QAbstractItemView;
class QMdiSubWindow;
class QTableView;

// What every screen of the program leans on: one guard where Qt calls into
// our code, and one way to show a screen inside the main window.
namespace AppMain {

// Runs code that Qt calls (a menu command, a button, a timer, a close). An
// error is shown with ShowErrorMsg, its number in the title, and the program
// goes on: no exception ever crosses into Qt. False when one was shown.
bool Guard(const std::function<void()> &handler) noexcept;

namespace Detail {
// Written as a template of its own so that the branch not taken is never
// compiled for a handler that cannot take it.
template <class H, class... A>
void CallGuarded(const H &handler, A &&...args)
{
    if constexpr (std::is_invocable_v<const H &, A...>)
        Guard([&] { handler(std::forward<A>(args)...); });
    else
        Guard([&] { handler(); });
}
} // namespace Detail

// A slot that runs its handler under Guard: with the signal's arguments when
// the handler takes them, with none otherwise.
template <class F>
auto Guarded(F handler)
{
    return [handler = std::move(handler)](auto &&...args) {
        Detail::CallGuarded(handler, std::forward<decltype(args)>(args)...);
    };
}

// The program's own icon (a clock face), on every window of the program.
QIcon ProgramIcon();

// The old screens measure in twips, 15 to a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }

// Where a screen first shows in the main window: centred, or centred across
// with its top edge at a given height.
struct Placement {
    int topTwips = -1;  // below 0: centred both ways
};
constexpr Placement Centred{};
constexpr Placement TopEdge(int twips) { return Placement{twips}; }

// The size a screen opens at: the size it set for itself, never smaller
// than its controls need, so nothing of it is cut off.
QSize OpeningSize(QWidget *form);
// Sizes a grid's columns to their captions and contents, each at least as
// wide as `narrowest`, and keeps the grid wide enough to show them all whole.
void ShowAllColumns(QTableView *grid, const QString &narrowest = QString());
// Gives the focus to the first control of the form's tab order, so the keys
// reach the screen as soon as it opens.
void FocusFirstControl(QWidget *form);

// The keys of a screen built around a grid, in Qt's manner: Tab moves
// within the grid, Ctrl+Tab and Ctrl+Shift+Tab leave it for the control
// after or before it, Escape (no cell in edit) is the screen's `close`, and
// on a chooser Enter marks the current row and is its `choose`.
void GridScreenKeys(QWidget *form, QAbstractItemView *grid, QAbstractButton *close,
                    QAbstractButton *choose = nullptr);

// Puts `form` in a sub-window of the main window's MDI area at its opening
// size, placed, shown and focused; the sub-window and the form are deleted
// when it closes.
QMdiSubWindow *ShowInMdi(QWidget *form, Placement where);
// A screen shown as a window of its own (modal): its opening size, placed
// on the screen as `where` says.
void PlaceOnScreen(QWidget *form, Placement where);
// Shows `form` as a modal window in front of the main window, placed on the
// screen, and returns once it has closed (it is deleted on close).
void ShowModal(QWidget *form, Placement where);
// Brings a screen already shown to the front.
void ActivateScreen(QWidget *form);
// A screen's own Close: closes its sub-window when it has one, so its close
// handler runs once and nothing empty stays behind.
void CloseScreen(QWidget *form);

// The one instance of a screen: created on first use, a second call
// activates it, gone when it closes. Form needs a default constructor.
template <class Form>
class OneScreen {
public:
    static Form *existing() { return s_form.data(); }
    static Form *show(Placement where = Centred)
    {
        if (s_form) {
            ActivateScreen(s_form);
            return s_form;
        }
        Form *form = new Form;
        s_form = form;
        ShowInMdi(form, where);
        return form;
    }

private:
    static inline QPointer<Form> s_form;
};

// The one instance of a window of its own, outside the main window (the
// splash, the About box, the cancel and progress windows): created on first
// use, gone when it is deleted. The form makes this its friend when its
// constructor is private.
template <class Form>
class OneWindow {
public:
    static Form *instance()
    {
        if (!s_form)
            s_form = new Form;
        return s_form;
    }
    static Form *existing() { return s_form.data(); }

private:
    static inline QPointer<Form> s_form;
};

} // namespace AppMain
