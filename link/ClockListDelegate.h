#pragma once

#include <QStyledItemDelegate>

#include <functional>

// The cell editors of an editable clock list. An edit the user begins on the
// selected clock's row is refused with its box; the cursor's own move onto
// that row (Tab or Shift+Tab from the cell before) opens no editor there and
// says nothing. A cell whose typed text is refused stays in edit with it.
class ClockListDelegate : public QStyledItemDelegate {
public:
    // `selectedRow` tells whether a row is the selected clock's.
    ClockListDelegate(std::function<bool(int row)> selectedRow, QObject *parent);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const final;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

protected:
    // The editor of a cell that may be edited; nullptr for none.
    virtual QWidget *cellEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const;
    // True, after its box, when the text of `editor` cannot go into `index`.
    virtual bool refusesText(QWidget *editor, const QModelIndex &index) const;
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    bool togglesCheck(QEvent *event, const QStyleOptionViewItem &option, const QModelIndex &index) const;

    std::function<bool(int)> m_selectedRow;
    bool m_moving = false;            // the view moves its editor on to the next cell
    mutable bool m_boxShown = false;  // a box of ours took the focus from the editor
};
