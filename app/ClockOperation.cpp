#include "app/ClockOperation.h"

#include "app/LongOperation.h"
#include "platform/ui.h"

#include <QThread>

namespace {

int &yieldDepth()
{
    static int depth = 0;
    return depth;
}

} // namespace

ClockOperation::ClockOperation(const QString &what, QWidget *form)
{
    if (reentered())
        return;
    m_acquired = true;
    const std::vector<LongOperation *> &ops = LongOperation::running();
    if (!ops.empty()) {
        m_serving = ops.back();
        return;
    }
    m_own = std::make_unique<LongOperation>(form, what);
    m_serving = m_own.get();
}

ClockOperation::~ClockOperation() = default;

bool ClockOperation::stopRequested() const
{
    return m_serving != nullptr && m_serving->stopRequested();
}

bool ClockOperation::running()
{
    return !LongOperation::running().empty();
}

QString ClockOperation::runningName()
{
    const std::vector<LongOperation *> &ops = LongOperation::running();
    return ops.empty() ? QString() : ops.front()->what();
}

bool ClockOperation::reentered()
{
    const int depth = eventDepth();
    for (const LongOperation *op : LongOperation::running()) {
        if (depth > op->startDepth())
            return true;
    }
    return false;
}

void ClockOperation::showRefusal(const QString &refused)
{
    QString text = refused + QStringLiteral(" while a clock operation is running");
    const QString name = runningName();
    if (!name.isEmpty())
        text += QStringLiteral(" (") + name + QLatin1Char(')');
    Platform::Ui::msgBox(text + QLatin1Char('.'), Platform::Ui::Style::Exclamation);
}

bool ClockOperation::refuseWhileRunning(const QString &refused)
{
    if (!running())
        return false;
    showRefusal(refused);
    return true;
}

ClockOperation::Yield::Yield()
{
    ++yieldDepth();
}

ClockOperation::Yield::~Yield()
{
    --yieldDepth();
}

int ClockOperation::eventDepth()
{
    return yieldDepth() + QThread::currentThread()->loopLevel();
}
