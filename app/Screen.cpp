#include "app/Screen.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/error.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>

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

QIcon ProgramIcon()
{
    const QColor ink(0x1F, 0x4E, 0x79);
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF face(size * 0.06, size * 0.06, size * 0.88, size * 0.88);
        painter.setPen(QPen(ink, size / 16.0 + 0.5));
        painter.setBrush(QColor(0xF4, 0xF7, 0xFB));
        painter.drawEllipse(face);
        // The hands at three o'clock.
        painter.setPen(QPen(ink, size / 12.0 + 0.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(face.center(), face.center() + QPointF(0, -size * 0.30));
        painter.drawLine(face.center(), face.center() + QPointF(size * 0.22, 0));
        icon.addPixmap(picture);
    }
    return icon;
}

QSize OpeningSize(QWidget *form)
{
    form->ensurePolished();
    QSize size = form->sizeHint().expandedTo(form->minimumSizeHint()).expandedTo(form->minimumSize());
    if (form->testAttribute(Qt::WA_Resized))
        size = size.expandedTo(form->size());
    return size;
}

void ShowAllColumns(QTableView *grid, const QString &narrowest)
{
    grid->ensurePolished();
    grid->resizeColumnsToContents();
    QHeaderView *columns = grid->horizontalHeader();
    if (!narrowest.isEmpty()) {
        // A cell's text sits between the margins the item delegate keeps, beside the grid line.
        const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        const int least = grid->fontMetrics().horizontalAdvance(narrowest) + margins + 1;
        for (int c = 0; c < columns->count(); ++c) {
            if (!columns->isSectionHidden(c) && columns->sectionSize(c) < least)
                columns->resizeSection(c, least);
        }
    }
    // Room for the scroll bar too: once the rows outgrow the grid it would cover the last column.
    const QHeaderView *rows = grid->verticalHeader();
    grid->setMinimumWidth(2 * grid->frameWidth() + (rows->isHidden() ? 0 : rows->sizeHint().width()) +
                          columns->length() + grid->verticalScrollBar()->sizeHint().width());
}

void FocusFirstControl(QWidget *form)
{
    for (QWidget *w = form->nextInFocusChain(); w && w != form && form->isAncestorOf(w); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() && w->isVisibleTo(form)) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

QMdiSubWindow *ShowInMdi(QWidget *form, Placement where)
{
    QMdiArea *area = frmMDI::instance()->mdiArea;
    const QSize wanted = OpeningSize(form);
    form->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *sub = area->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(form->windowTitle());
    // The sub-window's title bar and frame come around the form's own size.
    const QSize frame = sub->sizeHint() - form->sizeHint();
    const QSize size = (wanted + frame).expandedTo(sub->minimumSizeHint());
    sub->resize(size);
    const QSize room = area->viewport()->size();
    const int left = qMax(0, (room.width() - size.width()) / 2);
    const int top = where.topTwips < 0 ? qMax(0, (room.height() - size.height()) / 2) : TwipsToPixels(where.topTwips);
    sub->move(left, top);
    sub->show();
    area->setActiveSubWindow(sub);
    FocusFirstControl(form);
    return sub;
}

void PlaceOnScreen(QWidget *form, Placement where)
{
    form->resize(OpeningSize(form));
    CenterForm(form);
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (screen && where.topTwips >= 0)
        form->move(form->x(), screen->geometry().top() + TwipsToPixels(where.topTwips));
    FocusFirstControl(form);
}

void ShowModal(QWidget *form, Placement where)
{
    QPointer<QWidget> shown = form;
    // A dialog of the main window stays in front of it.
    if (frmMDI *main = frmMDI::existing())
        form->setParent(main, form->windowFlags());
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowFlag(Qt::Dialog);
    form->setWindowModality(Qt::ApplicationModal);
    PlaceOnScreen(form, where);
    form->show();
    if (!shown)
        return;
    QEventLoop loop;
    QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
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
