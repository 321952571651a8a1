#include "app/Screen.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/error.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
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

namespace {

// Sees a key before the control with the focus does, so that a grid which
// takes Tab for itself, and a tab widget around it, cannot keep it.
class GridKeysFilter : public QObject {
public:
    GridKeysFilter(QWidget *form, QAbstractItemView *grid, QAbstractButton *close, QAbstractButton *choose)
        : QObject(form), m_form(form), m_grid(grid), m_close(close), m_choose(choose)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *to = qobject_cast<QWidget *>(object);
        if (event->type() != QEvent::KeyPress || !to || !m_grid || !(to == m_form || m_form->isAncestorOf(to)))
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool inGrid = to == m_grid || m_grid->isAncestorOf(to);
        const bool onGrid = to == m_grid || to == m_grid->viewport();
        if (inGrid && (mods & Qt::ControlModifier) && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            leaveGrid(key->key() == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
            // Escape in a cell's editor takes back the edit; the next one closes.
            if ((inGrid && !onGrid) || !m_close)
                return false;
            m_close->click();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier && m_choose &&
            onGrid && m_grid->currentIndex().isValid()) {
            const int row = m_grid->currentIndex().row();
            if (m_grid->selectionModel() && !m_grid->selectionModel()->isRowSelected(row, QModelIndex()))
                m_grid->selectionModel()->select(m_grid->currentIndex(),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            m_choose->click();
            return true;
        }
        return false;
    }

private:
    // To the next (or previous) control of the form that takes the focus by
    // Tab, passing over the grid's own parts.
    void leaveGrid(bool forward)
    {
        QWidget *w = m_grid;
        for (;;) {
            w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
            if (!w || w == m_grid)
                return;
            if (w == m_grid.data() || m_grid->isAncestorOf(w) || !m_form->isAncestorOf(w))
                continue;
            if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() && w->isVisibleTo(m_form)) {
                w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return;
            }
        }
    }

    QWidget *m_form;
    QPointer<QAbstractItemView> m_grid;
    QPointer<QAbstractButton> m_close, m_choose;
};

} // namespace

void GridScreenKeys(QWidget *form, QAbstractItemView *grid, QAbstractButton *close, QAbstractButton *choose)
{
    new GridKeysFilter(form, grid, close, choose);
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
