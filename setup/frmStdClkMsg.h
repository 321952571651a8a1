#pragma once

#include <QSqlTableModel>
#include <QStringList>
#include <QWidget>

#include <array>

class QPushButton;
class QTableView;

// The clock prompts of ClkMsg as the grid edits them: each edit is stored at
// once; an edit the table refuses shows the error box and is undone. A last,
// empty row takes a new prompt, stored once its number is given.
class ClkMsgModel : public QSqlTableModel {
    Q_OBJECT
public:
    enum Column { PromptName, PromptNo, Prompt };

    ClkMsgModel(QObject *parent, const QSqlDatabase &db, const QString &targetType);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The row that takes a new prompt.
    int newRow() const { return QSqlTableModel::rowCount(); }

private:
    // Throws with the reason when the grid may not store `value` in `column`.
    void check(int column, const QString &value) const;
    bool storeNewRow();

    QString m_targetType;
    std::array<QString, 3> m_new;
};

// "Clock Messages Setup".
class frmStdClkMsg : public QWidget {
    Q_OBJECT
public:
    frmStdClkMsg();

    QTableView *TDBGrid1;
    QPushButton *cmdClose;
    ClkMsgModel *Data1 = nullptr;   // none when opening failed
};
