#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

class QCloseEvent;

// A loop that yields to the event queue (a poll, a download) registers itself
// for as long as it runs. Closing its form, or the main window, then sets the
// loop's stop flag instead of destroying the widgets the loop still works on;
// the form closes once the loop has unwound. The clock-operation guard
// (ClockOperation) reads this list.
class LongOperation {
public:
    // form: the window whose close stops this loop; the main window's close stops every loop.
    // what: how a refusal names it while it runs ("TCP/IP poll").
    explicit LongOperation(QWidget *form, QString what = QString());
    ~LongOperation();
    LongOperation(const LongOperation &) = delete;
    LongOperation &operator=(const LongOperation &) = delete;

    // The loop tests this after each yield and unwinds when it is set.
    bool stopRequested() const { return m_stop; }
    void requestStop() { m_stop = true; }

    enum class Scope { Form, Everything };

    // From a closeEvent: while a loop of this form (or, with Everything, any
    // loop) runs, stop it, refuse this close and close the form again after
    // the last such loop has unwound. Returns true when the close was deferred.
    static bool deferClose(QWidget *form, QCloseEvent *event, Scope scope = Scope::Form);

    // The running loops, oldest first.
    static const std::vector<LongOperation *> &running();

    const QString &what() const { return m_what; }
    // ClockOperation::eventDepth() when it began.
    int startDepth() const { return m_startDepth; }

private:
    bool belongsTo(const QWidget *form, Scope scope) const;

    QPointer<QWidget> m_form;
    QString m_what;
    int m_startDepth = 0;
    bool m_stop = false;
};
