#include "app/LongOperation.h"

#include "app/ClockOperation.h"
#include "app/Screen.h"

#include <QCloseEvent>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct PendingClose {
    QPointer<QWidget> form;
    LongOperation::Scope scope;
};

std::vector<LongOperation *> &runningList()
{
    static std::vector<LongOperation *> list;
    return list;
}

std::vector<PendingClose> &pendingCloses()
{
    static std::vector<PendingClose> list;
    return list;
}

} // namespace

LongOperation::LongOperation(QWidget *form, QString what)
    : m_form(form), m_what(std::move(what)), m_startDepth(ClockOperation::eventDepth())
{
    runningList().push_back(this);
}

LongOperation::~LongOperation()
{
    auto &ops = runningList();
    ops.erase(std::remove(ops.begin(), ops.end(), this), ops.end());

    auto &closes = pendingCloses();
    for (auto it = closes.begin(); it != closes.end();) {
        const bool stillBusy = it->form && std::any_of(ops.begin(), ops.end(), [&](const LongOperation *op) {
                                   return op->belongsTo(it->form, it->scope);
                               });
        if (stillBusy) {
            ++it;
            continue;
        }
        // Queued: the loop's own handler is still on the stack and may touch the form.
        if (QWidget *form = it->form)
            QTimer::singleShot(0, form, AppMain::Guarded([form] { form->close(); }));
        it = closes.erase(it);
    }
}

bool LongOperation::belongsTo(const QWidget *form, Scope scope) const
{
    if (scope == Scope::Everything)
        return true;
    return m_form && (m_form == form || form->isAncestorOf(m_form));
}

bool LongOperation::deferClose(QWidget *form, QCloseEvent *event, Scope scope)
{
    bool busy = false;
    for (LongOperation *op : runningList()) {
        if (op->belongsTo(form, scope)) {
            op->requestStop();
            busy = true;
        }
    }
    if (!busy)
        return false;
    event->ignore();
    auto &closes = pendingCloses();
    const bool queued = std::any_of(closes.begin(), closes.end(), [&](const PendingClose &p) {
        return p.form == form;
    });
    if (!queued)
        closes.push_back({form, scope});
    return true;
}

const std::vector<LongOperation *> &LongOperation::running()
{
    return runningList();
}
