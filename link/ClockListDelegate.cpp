#include "link/ClockListDelegate.h"

#include "platform/ui.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QStyle>

namespace {
const char *const kCell = "clockListCell";

bool commitsAndMoves(int key)
{
    return key == Qt::Key_Tab || key == Qt::Key_Backtab;
}

bool commits(int key)
{
    return commitsAndMoves(key) || key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

ClockListDelegate::ClockListDelegate(std::function<bool(int row)> selectedRow, QObject *parent)
    : QStyledItemDelegate(parent), m_selectedRow(std::move(selectedRow))
{
}

QWidget *ClockListDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    if (m_selectedRow(index.row())) {
        if (!m_moving)
            Platform::Ui::msgBox(QStringLiteral("You cannot edit the selected clock data!"));
        return nullptr;
    }
    QWidget *editor = cellEditor(parent, option, index);
    if (editor)
        editor->setProperty(kCell, QVariant::fromValue(QPersistentModelIndex(index)));
    return editor;
}

QWidget *ClockListDelegate::cellEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    return QStyledItemDelegate::createEditor(parent, option, index);
}

bool ClockListDelegate::refusesText(QWidget *, const QModelIndex &) const
{
    return false;
}

void ClockListDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    // A refusal's box must not make the editor commit a second time as it loses the focus.
    m_boxShown = true;
    QStyledItemDelegate::setModelData(editor, model, index);
    m_boxShown = false;
}

bool ClockListDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *editor = qobject_cast<QWidget *>(object);
    if (editor && m_boxShown && event->type() == QEvent::FocusOut)
        return true;
    if (!editor || event->type() != QEvent::KeyPress)
        return QStyledItemDelegate::eventFilter(object, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (!commits(key))
        return QStyledItemDelegate::eventFilter(object, event);
    const QPersistentModelIndex cell = editor->property(kCell).value<QPersistentModelIndex>();
    m_boxShown = true;
    const bool refused = cell.isValid() && refusesText(editor, cell);
    m_boxShown = false;
    if (refused) {
        editor->setFocus();
        return true;
    }
    m_moving = commitsAndMoves(key);
    const bool handled = QStyledItemDelegate::eventFilter(object, event);
    m_moving = false;
    return handled;
}

bool ClockListDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if ((index.flags() & Qt::ItemIsUserCheckable) && m_selectedRow(index.row()) && togglesCheck(event, option, index)) {
        Platform::Ui::msgBox(QStringLiteral("You cannot edit the selected clock data!"));
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

// As the check box's own handling decides it: a left click released on the
// box, or Space on the cell.
bool ClockListDelegate::togglesCheck(QEvent *event, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        return key == Qt::Key_Space || key == Qt::Key_Select;
    }
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    QStyleOptionViewItem shown(option);
    initStyleOption(&shown, index);
    const QWidget *widget = option.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    return mouse->button() == Qt::LeftButton &&
           style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &shown, widget)
               .contains(mouse->position().toPoint());
}
