#include "app/Screen.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/error.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace AppMain {

namespace {
// An exception that is not the program's own error: the old run time's
// "internal error" is the closest number it had.
constexpr int kInternalError = 51;
}

bool Guard(const std::function<void()> &handler) noexcept
{
    try {
        try {
            handler();
            return true;
        } catch (const Platform::Error &e) {
            Platform::ActiveError active(e);
            ShowErrorMsg(QString(), e.description());
        } catch (const std::exception &e) {
            Platform::ActiveError active(kInternalError, QString::fromLocal8Bit(e.what()));
            ShowErrorMsg(QString(), QString::fromLocal8Bit(e.what()));
        }
    } catch (...) {
        // Showing the error failed too: nothing more can be said without a box.
    }
    return false;
}

QMdiSubWindow *ShowInMdi(QWidget *form, Placement where)
{
    QMdiArea *area = frmMDI::instance()->mdiArea;
    form->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *sub = area->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(form->windowTitle());
    sub->adjustSize();
    const QSize size = sub->size();
    const QSize room = area->viewport()->size();
    const int left = qMax(0, (room.width() - size.width()) / 2);
    const int top = where.topTwips < 0 ? qMax(0, (room.height() - size.height()) / 2) : TwipsToPixels(where.topTwips);
    sub->move(left, top);
    sub->show();
    area->setActiveSubWindow(sub);
    return sub;
}

void ActivateScreen(QWidget *form)
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget())) {
        sub->showNormal();
        sub->mdiArea()->setActiveSubWindow(sub);
    } else {
        form->show();
        form->raise();
        form->activateWindow();
    }
}

void CloseScreen(QWidget *form)
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget()))
        sub->close();
    else
        form->close();
}

} // namespace AppMain
