#include "setup/frmDldFile.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "setup/ClkMsgs.h"
#include "setup/ClockParms.h"
#include "setup/CmdWalk.h"
#include "setup/FuncKeys.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <deque>

namespace {

using CmdSources::Kind;

void showError(const Platform::Error &e)
{
    const Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), e.description());
}

template <class T>
T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QCheckBox *box(const char *name, const char *caption)
{
    return named(new QCheckBox(QString::fromUtf8(caption)), name);
}

QLabel *label(const char *name, const QString &caption = QString())
{
    auto *l = named(new QLabel(caption), name);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QPushButton *button(const char *name, const char *caption)
{
    return named(new QPushButton(QString::fromLatin1(caption)), name);
}

bool ticked(const QCheckBox *b)
{
    return b->checkState() == Qt::Checked;
}

QTreeWidget *tree(const char *name)
{
    auto *t = named(new QTreeWidget, name);
    t->setHeaderHidden(true);
    t->setColumnCount(1);
    return t;
}

// A tree lays its items out only when first painted, and a screen reader
// finds no item before that, nor learns of them after: lay them out now.
void exposeItems(QTreeWidget *tree)
{
    tree->doItemsLayout();
}

// Checkable, never tristate by itself: a group's tick is the user's alone.
QTreeWidgetItem *node(const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    return item;
}

} // namespace

frmDldFile::frmDldFile()
{
    setObjectName(QStringLiteral("frmDldFile"));
    setWindowTitle(QStringLiteral("Create/Download Commands File"));
    CmdFilePath = AppMain::AppFile(QStringLiteral("Data\\TEVCMD.DLD"));

    SSTab1 = named(new QTabWidget, "SSTab1");
    SSTab1->setUsesScrollButtons(false);   // the window opens wide enough to show every tab

    // General Setup
    auto *general = new QWidget;
    auto *gl = new QVBoxLayout(general);
    chkSetClockParm = box("chkSetClockParm", "Set Clock Parameters ");
    lblsetclockParm = label("lblsetclockParm");
    chkBadgeFilter = box("chkBadgeFilter", "Badge Filtering");
    lblBadgeFilter = label("lblBadgeFilter");
    chkSetRelay = box("chkSetRelay", "Relay Activation Time");
    lblSetRelay = label("lblSetRelay");
    chkDisplayDate = box("chkDisplayDate", "Display Date/Time");
    lblDisplayDateTime = label("lblDisplayDateTime");
    chkBadgeValidation = box("chkBadgeValidation", "Set Badge Validation");
    lblBadgeValidation = label("lblBadgeValidation");
    for (QWidget *w : std::initializer_list<QWidget *>{chkSetClockParm, lblsetclockParm, chkBadgeFilter, lblBadgeFilter,
                                                       chkSetRelay, lblSetRelay, chkDisplayDate, lblDisplayDateTime,
                                                       chkBadgeValidation, lblBadgeValidation})
        gl->addWidget(w);
    gl->addStretch();
    SSTab1->addTab(general, QStringLiteral("General Setup"));

    // Clock Message
    auto *prompts = new QWidget;
    auto *pl = new QVBoxLayout(prompts);
    tdbClkMsg = named(new QTableView, "tdbClkMsg");
    dtaClkMsg = new QSqlQueryModel(this);
    dtaClkMsg->setObjectName(QStringLiteral("dtaClkMsg"));
    tdbClkMsg->setModel(dtaClkMsg);
    tdbClkMsg->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tdbClkMsg->setSelectionBehavior(QAbstractItemView::SelectRows);
    tdbClkMsg->setSelectionMode(QAbstractItemView::MultiSelection);
    tdbClkMsg->horizontalHeader()->setStretchLastSection(true);
    cmdSelAllClkMsg = button("cmdSelAllClkMsg", "&Select All");
    cmdClearClkMsg = button("cmdClearClkMsg", "&Deselect All");
    pl->addWidget(tdbClkMsg);
    auto *pb = new QHBoxLayout;
    pb->addWidget(cmdSelAllClkMsg);
    pb->addWidget(cmdClearClkMsg);
    pb->addStretch();
    pl->addLayout(pb);
    SSTab1->addTab(prompts, QStringLiteral("Clock Message"));

    // Function Keys
    auto *keys = new QWidget;
    auto *kl = new QVBoxLayout(keys);
    kl->addWidget(new QLabel(QStringLiteral("Function Keys Setup Commands")));
    chkFuncKeys = box("chkFuncKeys", "Set Function Keys");
    lblFuncKeys = label("lblFuncKeys");
    kl->addWidget(chkFuncKeys);
    kl->addWidget(lblFuncKeys);
    for (int i = 0; i < 4; ++i) {
        chkFunc[i] = named(new QCheckBox(QStringLiteral("F%1").arg(i + 1)), "");
        chkFunc[i]->setObjectName(QStringLiteral("chkFunc(%1)").arg(i));
        lblFuncDef[i] = label("", QStringLiteral("-> Not Defined"));
        lblFuncDef[i]->setObjectName(QStringLiteral("lblFuncDef(%1)").arg(i));
        auto *row = new QHBoxLayout;
        row->addWidget(chkFunc[i]);
        row->addWidget(lblFuncDef[i], 1);
        kl->addLayout(row);
    }
    kl->addStretch();
    SSTab1->addTab(keys, QStringLiteral("Function Keys"));

    // Employee Record
    auto *emps = new QWidget;
    auto *el = new QVBoxLayout(emps);
    chkEraseEmp = box("chkEraseEmp", "Erase existing employee records on the clock");
    cboEmpGroups = named(new QComboBox, "cboEmpGroups");
    TreeView1 = tree("TreeView1");
    txtTotalEmp = named(new QLineEdit(QStringLiteral("0")), "txtTotalEmp");
    txtTotalEmp->setReadOnly(true);
    chkEmpSch = box("chkEmpSch", "Download selected employee schedules");
    chkEmpMsg = box("chkEmpMsg", "Download selected employee messages");
    el->addWidget(chkEraseEmp);
    auto *er = new QHBoxLayout;
    er->addWidget(new QLabel(QStringLiteral("Select By:")));
    er->addWidget(cboEmpGroups);
    er->addStretch();
    er->addWidget(new QLabel(QStringLiteral("Total Records:")));
    er->addWidget(txtTotalEmp);
    el->addLayout(er);
    el->addWidget(TreeView1);
    el->addWidget(chkEmpSch);
    el->addWidget(chkEmpMsg);
    SSTab1->addTab(emps, QStringLiteral("Employee Record"));

    // Employee Schedule
    auto *schs = new QWidget;
    auto *sl = new QVBoxLayout(schs);
    chkEraseSch = box("chkEraseSch", "Erase existing schedule records on the clock");
    TreeView2 = tree("TreeView2");
    cmdSelectAllSch = button("cmdSelectAllSch", "&Select All");
    cmdDeselectallSch = button("cmdDeselectallSch", "&Deselect All");
    sl->addWidget(chkEraseSch);
    sl->addWidget(TreeView2);
    auto *sb = new QHBoxLayout;
    sb->addWidget(cmdSelectAllSch);
    sb->addWidget(cmdDeselectallSch);
    sb->addStretch();
    sl->addLayout(sb);
    SSTab1->addTab(schs, QStringLiteral("Employee Schedule"));

    // Employee Message
    auto *msgs = new QWidget;
    auto *ml = new QVBoxLayout(msgs);
    chkEraseEmpMsgs = box("chkEraseEmpMsgs", "Erase existing employee messages");
    lstEmpMsgs = named(new QListWidget, "lstEmpMsgs");
    lstEmpMsgs->setSelectionMode(QAbstractItemView::MultiSelection);
    cmdSelEmpMsgs = button("cmdSelEmpMsgs", "&Select All");
    cmdClearEmpMsgs = button("cmdClearEmpMsgs", "&Deselect All");
    chkMsgAck = box("chkMsgAck", "Message Acknowldegement");
    ml->addWidget(chkEraseEmpMsgs);
    ml->addWidget(lstEmpMsgs);
    auto *mb = new QHBoxLayout;
    mb->addWidget(cmdSelEmpMsgs);
    mb->addWidget(cmdClearEmpMsgs);
    mb->addStretch();
    ml->addLayout(mb);
    ml->addWidget(chkMsgAck);
    SSTab1->addTab(msgs, QStringLiteral("Employee Message"));

    // Scope and buttons
    auto *frame = named(new QGroupBox(QStringLiteral("Clock")), "Frame1");
    optSelClk = named(new QRadioButton(QStringLiteral("Selected clock")), "optSelClk");
    optAllClk = named(new QRadioButton(QStringLiteral("All clocks")), "optAllClk");
    optSelClk->setChecked(true);
    auto *fl = new QHBoxLayout(frame);
    fl->addWidget(optSelClk);
    fl->addWidget(optAllClk);
    cmdBldFile = button("cmdBldFile", "Build");
    cmdSend = button("cmdSend", "Send");
    cmdClose = button("cmdClose", "Close");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(frame);
    bottom->addStretch();
    bottom->addWidget(cmdBldFile);
    bottom->addWidget(cmdSend);
    bottom->addWidget(cmdClose);
    auto *top = new QVBoxLayout(this);
    top->addWidget(SSTab1);
    top->addLayout(bottom);

    connect(TreeView1, &QTreeWidget::itemChanged, this, AppMain::Guarded([this](QTreeWidgetItem *i, int) { treeTicked(i); }));
    connect(TreeView2, &QTreeWidget::itemChanged, this, AppMain::Guarded([this](QTreeWidgetItem *i, int) { scheduleTicked(i); }));
    connect(cboEmpGroups, &QComboBox::activated, this, AppMain::Guarded([this](int) { regroup(); }));
    connect(SSTab1, &QTabWidget::currentChanged, this, AppMain::Guarded([this](int i) { tabShown(i); }));
    connect(cmdSelectAllSch, &QPushButton::clicked, this, AppMain::Guarded([this] { setTicked(TreeView2, true); }));
    connect(cmdDeselectallSch, &QPushButton::clicked, this, AppMain::Guarded([this] { setTicked(TreeView2, false); }));
    connect(cmdSelEmpMsgs, &QPushButton::clicked, this, AppMain::Guarded([this] { lstEmpMsgs->selectAll(); }));
    connect(cmdClearEmpMsgs, &QPushButton::clicked, this, AppMain::Guarded([this] { lstEmpMsgs->clearSelection(); }));
    connect(cmdSelAllClkMsg, &QPushButton::clicked, this, AppMain::Guarded([this] { selectAllPrompts(); }));
    connect(cmdClearClkMsg, &QPushButton::clicked, this, AppMain::Guarded([this] { clearPrompts(); }));
    connect(tdbClkMsg->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { promptSelectionChanged(); });
    connect(cmdBldFile, &QPushButton::clicked, this, AppMain::Guarded([this] { Build(); }));
    connect(cmdSend, &QPushButton::clicked, this, AppMain::Guarded([this] { Send(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));

    const Platform::Ui::BusyCursor busy;
    try {
        load();
    } catch (const Platform::Error &e) {
        showError(e);   // the window opens with what was read, and its unload closes what was opened
    }
}

frmDldFile::~frmDldFile()
{
    const Platform::Database &main = AppMain::state().MainDb;
    try {
        if (m_kind == Kind::Text && main.isOpen()) {
            CmdSources::DropTextTable(main, QStringLiteral("Schedule"));
            CmdSources::DropTextTable(main, QStringLiteral("Employee"));
        }
    } catch (const Platform::Error &e) {
        showError(e);
    }
}

const Platform::Database &frmDldFile::source() const
{
    return m_kind == Kind::Text ? AppMain::state().MainDb : m_product;
}

void frmDldFile::load()
{
    const QString type = AppMain::settings().TargetType;
    m_kind = CmdSources::KindOf(type);

    const ClkSetup::SetupCaptions c = ClkSetup::SetupCommandCaptions(AppMain::state().ClkParm);
    lblsetclockParm->setText(c.lblsetclockParm);
    lblBadgeFilter->setText(c.lblBadgeFilter);
    lblBadgeValidation->setText(c.lblBadgeValidation);
    lblDisplayDateTime->setText(c.lblDisplayDateTime);
    lblSetRelay->setText(c.lblSetRelay);
    chkMsgAck->setText(c.chkMsgAck);
    lblFuncKeys->setText(c.lblFuncKeys);

    dtaClkMsg->setQuery(ClkSetup::PromptQuery(type), AppMain::state().MainDb.handle());
    if (dtaClkMsg->lastError().isValid())
        showError(Platform::databaseError(dtaClkMsg->lastError()));
    while (dtaClkMsg->canFetchMore())
        dtaClkMsg->fetchMore();
    dtaClkMsg->setHeaderData(0, Qt::Horizontal, QStringLiteral("Prompt Name"));
    dtaClkMsg->setHeaderData(1, Qt::Horizontal, QStringLiteral("Prompt#"));
    dtaClkMsg->setHeaderData(2, Qt::Horizontal, QStringLiteral("Prompt"));

    if (m_kind == Kind::Text)
        loadTextSources();
    else if (m_kind != Kind::None)
        loadProduct();
    exposeItems(TreeView2);
}

void frmDldFile::loadTextSources()
{
    disableFuncKeys();
    const Platform::Database &main = AppMain::state().MainDb;
    const auto &files = AppMain::settings().TextFileSettings.TextSourceFile;
    const QStringList padded{QStringLiteral("ScheduleNo"), QStringLiteral("MsgNo")};
    struct Source {
        const char *missing;
        const char *copy;
        const char *table;
        QStringList required;
        QStringList positional;
    };
    const Source sources[3] = {
        {"Employee file does not exist!", "Data\\Employee.txt", "Employee", CmdSources::EmployeeColumns(), {}},
        {"Schedule file does not exist!", "Data\\Schedule.txt", "Schedule", CmdSources::ScheduleColumns(), {}},
        {"Message file does not exist!", "Data\\ClkMsgs.txt", "ClkMsgs", {},
         {QStringLiteral("MsgNo"), QStringLiteral("Message")}},
    };
    for (int i = 0; i < 3; ++i) {
        const Source &s = sources[i];
        if (files[i].isEmpty())
            continue;
        if (!QFileInfo::exists(files[i])) {
            Platform::Ui::msgBox(QString::fromLatin1(s.missing));
            continue;
        }
        const QString copy = AppMain::AppFile(QString::fromLatin1(s.copy));
        try {
            CmdSources::CopyIntoData(files[i], copy);
            CmdSources::LoadTextTable(main, QString::fromLatin1(s.table), copy, s.required, s.positional, padded);
            SourceFileFound[i] = true;
        } catch (const Platform::Error &e) {
            showError(e);   // the source then counts as missing
            continue;
        }
        try {
            if (i == 0) {
                cboEmpGroups->addItems({QStringLiteral("Employee"), QStringLiteral("Department"), QStringLiteral("Schedule")});
            } else if (i == 1) {
                m_schedules = CmdSources::Schedules(main, Kind::Text);
                for (const auto &item : m_schedules) {
                    QTreeWidgetItem *n = node(item.text);
                    n->setData(0, Number, item.number);
                    TreeView2->addTopLevelItem(n);
                }
            } else {
                const auto list = CmdSources::Messages(main, QStringLiteral("ClkMsgs"));
                CmdSources::DropTextTable(main, QStringLiteral("ClkMsgs"));
                addMessages(list);
            }
        } catch (const Platform::Error &e) {
            showError(e);
        }
    }
    if (cboEmpGroups->count() > 0) {
        cboEmpGroups->setCurrentIndex(0);
        regroup();
    }
}

void frmDldFile::loadProduct()
{
    // Its own connection: a poll's or a posting's TargetDb, and its statements, stay whatever the window does.
    if (!KovraDS::OpenTargetFile(m_product)) {
        TargetDbOpen = false;
        chkEmpMsg->setCheckState(Qt::Unchecked);
        chkEmpSch->setCheckState(Qt::Unchecked);
        disableFuncKeys();
        return;
    }
    TargetDbOpen = true;
    const Platform::Database &target = m_product;
    try {
        // A product without a message table has no messages, and says nothing.
        const QString table = CmdSources::ProductMessageTable(target);
        if (!table.isEmpty())
            addMessages(CmdSources::Messages(target, table));
    } catch (const Platform::Error &e) {
        showError(e);
    }
    try {
        m_schedules = CmdSources::Schedules(target, m_kind);
        for (const auto &item : m_schedules) {
            QTreeWidgetItem *n = node(item.text);
            n->setData(0, Number, item.number);
            TreeView2->addTopLevelItem(n);
        }
    } catch (const Platform::Error &e) {
        showError(e);
    }
    cboEmpGroups->addItems({QStringLiteral("Employee"), QStringLiteral("Department"), QStringLiteral("Schedule")});
    cboEmpGroups->setCurrentIndex(0);
    regroup();
    try {
        m_grace = CmdSources::LoadGracePeriod(m_product, m_kind);
    } catch (const Platform::Error &e) {
        showError(e);
    }
    if (m_kind == Kind::Vesk) {
        disableFuncKeys();
        return;
    }
    try {
        m_funcQuery = ClkSetup::FuncNumQuery(AppMain::state().MainDb);
        for (int i = 0; i < 4; ++i)
            lblFuncDef[i]->setText(ClkSetup::FuncKeyText(ClkSetup::ReadFuncKey(m_funcQuery, chkFunc[i]->text())));
    } catch (const Platform::Error &e) {
        showError(e);
    }
}

void frmDldFile::addMessages(const std::vector<CmdSources::MessageItem> &list)
{
    for (const auto &m : list) {
        auto *entry = new QListWidgetItem(m.shown, lstEmpMsgs);
        entry->setData(Number, m.number);
        entry->setData(FirstName, m.text);
    }
}

void frmDldFile::disableFuncKeys()
{
    for (int i = 0; i < 4; ++i) {
        chkFunc[i]->setCheckState(Qt::Unchecked);
        chkFunc[i]->setEnabled(false);
        lblFuncDef[i]->setEnabled(false);
    }
}

void frmDldFile::regroup()
{
    const QSignalBlocker block(TreeView1);
    TreeView1->clear();
    txtTotalEmp->setText(QStringLiteral("0"));
    // What was read before a failure (a missing table or column) is shown.
    std::vector<CmdSources::EmpGroup> groups;
    try {
        CmdSources::EmployeeGroups(source(), m_kind, cboEmpGroups->currentIndex(), SourceFileFound[1], groups);
    } catch (const Platform::Error &e) {
        showError(e);
    }
    for (const auto &g : groups) {
        QTreeWidgetItem *group = node(g.text);
        for (const CmdFile::Employee &e : g.employees) {
            QTreeWidgetItem *n = node(QStringLiteral("%1,%2 %3").arg(e.number, e.firstName, e.lastName));
            n->setData(0, Number, e.number);
            n->setData(0, FirstName, e.firstName);
            n->setData(0, LastName, e.lastName);
            n->setData(0, Tag, e.tag);
            n->setData(0, Unfit, e.unfit);
            group->addChild(n);
        }
        TreeView1->addTopLevelItem(group);
        group->setExpanded(g.expanded);
    }
    exposeItems(TreeView1);
}

void frmDldFile::treeTicked(QTreeWidgetItem *item)
{
    const QSignalBlocker block(TreeView1);   // our own ticks raise nothing
    const bool on = item->checkState(0) == Qt::Checked;
    int count = txtTotalEmp->text().toInt();
    if (item->childCount() == 0) {
        count += on ? 1 : -1;
    } else {
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem *child = item->child(i);
            if ((child->checkState(0) == Qt::Checked) != on) {
                child->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
                count += on ? 1 : -1;
            }
        }
    }
    txtTotalEmp->setText(QString::number(count));
}

void frmDldFile::scheduleTicked(QTreeWidgetItem *item)
{
    const QSignalBlocker block(TreeView2);
    for (int i = 0; i < item->childCount(); ++i)
        item->child(i)->setCheckState(0, item->checkState(0));
}

void frmDldFile::setTicked(QTreeWidget *tree, bool on)
{
    const QSignalBlocker block(tree);
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        (*it)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

void frmDldFile::tabShown(int index)
{
    if (index == 4 && ticked(chkEmpSch))
        SelEmpSch();
    else if (index == 5 && ticked(chkEmpMsg))
        SelEmpMsgs();
}

void frmDldFile::SelEmpSch()
{
    setTicked(TreeView2, false);
    const QSignalBlocker block(TreeView2);
    // The nodes of each three-character start, in tree order: an employee
    // ticks the first of them not yet ticked, so a schedule is ticked once.
    QHash<QString, std::deque<QTreeWidgetItem *>> byNumber;
    for (int i = 0; i < TreeView2->topLevelItemCount(); ++i)
        byNumber[TreeView2->topLevelItem(i)->text(0).left(3)].push_back(TreeView2->topLevelItem(i));
    for (QTreeWidgetItemIterator it(TreeView1, QTreeWidgetItemIterator::NoChildren | QTreeWidgetItemIterator::Checked); *it;
         ++it) {
        const QString number = (*it)->data(0, Tag).toString().left(3);
        if (number == QLatin1String("000") || number.size() < 3)
            continue;
        auto found = byNumber.find(number);
        if (found == byNumber.end() || found->empty())
            continue;
        found->front()->setCheckState(0, Qt::Checked);
        found->pop_front();
    }
}

void frmDldFile::SelEmpMsgs()
{
    QHash<QString, int> first;
    for (int i = lstEmpMsgs->count() - 1; i >= 0; --i)   // the first entry of a number wins
        first.insert(lstEmpMsgs->item(i)->text().left(3), i);
    std::vector<bool> chosen(lstEmpMsgs->count(), false);
    for (QTreeWidgetItemIterator it(TreeView1, QTreeWidgetItemIterator::NoChildren | QTreeWidgetItemIterator::Checked); *it;
         ++it) {
        const QString number = (*it)->data(0, Tag).toString().mid(3, 3);
        if (number == QLatin1String("000"))
            continue;
        if (const auto found = first.constFind(number); found != first.cend())
            chosen[*found] = true;
    }
    // One selection of row ranges, set once: entry by entry, each change
    // compares the whole selection, which grows with the square of the list.
    QItemSelection selection;
    for (int i = 0; i < lstEmpMsgs->count(); ++i) {
        if (!chosen[i])
            continue;
        int last = i;
        while (last + 1 < lstEmpMsgs->count() && chosen[last + 1])
            ++last;
        selection.select(lstEmpMsgs->model()->index(i, 0), lstEmpMsgs->model()->index(last, 0));
        i = last;
    }
    lstEmpMsgs->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

std::vector<bool> frmDldFile::selectedPromptRows() const
{
    std::vector<bool> selected(dtaClkMsg->rowCount(), false);
    for (const QItemSelectionRange &range : tdbClkMsg->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom() && row < static_cast<int>(selected.size()); ++row)
            selected[row] = true;
    }
    return selected;
}

void frmDldFile::promptSelectionChanged()
{
    // Keep the rows in the order they were chosen; Qt's selection keeps none.
    // One pass over the selection: Select All changes a thousand rows at once.
    std::vector<bool> selected = selectedPromptRows();
    std::vector<int> still;
    for (int row : m_promptOrder) {
        if (row < static_cast<int>(selected.size()) && selected[row]) {
            still.push_back(row);
            selected[row] = false;
        }
    }
    // Several rows new at once (a drag, Select All) come in row order.
    for (int row = 0; row < static_cast<int>(selected.size()); ++row) {
        if (selected[row])
            still.push_back(row);
    }
    m_promptOrder = std::move(still);
}

void frmDldFile::selectAllPrompts()
{
    while (dtaClkMsg->canFetchMore())
        dtaClkMsg->fetchMore();
    // One selection of the rows not yet chosen, set at once: row by row, each
    // change would recount the whole selection.
    const std::vector<bool> selected = selectedPromptRows();
    QItemSelection rest;
    for (int row = 0; row < static_cast<int>(selected.size()); ++row) {
        if (selected[row])
            continue;
        int last = row;
        while (last + 1 < static_cast<int>(selected.size()) && !selected[last + 1])
            ++last;
        rest.select(dtaClkMsg->index(row, 0), dtaClkMsg->index(last, dtaClkMsg->columnCount() - 1));
        row = last;
    }
    if (!rest.isEmpty())
        tdbClkMsg->selectionModel()->select(rest, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void frmDldFile::clearPrompts()
{
    tdbClkMsg->selectionModel()->clearSelection();
    m_promptOrder.clear();
}

CmdFile::Content frmDldFile::content()
{
    CmdFile::Content c;
    c.parm = AppMain::state().ClkParm;
    c.setClockParm = ticked(chkSetClockParm);
    c.badgeFilter = ticked(chkBadgeFilter);
    c.funcKeysParm = ticked(chkFuncKeys);
    c.setRelay = ticked(chkSetRelay);
    c.displayDate = ticked(chkDisplayDate);
    c.msgAck = ticked(chkMsgAck);
    c.badgeValidation = ticked(chkBadgeValidation);
    for (int row : m_promptOrder) {
        const QSqlRecord r = dtaClkMsg->record(row);
        c.prompts.push_back({r.value(QStringLiteral("PromptNo")).toString(), r.value(QStringLiteral("Prompt")).toString()});
    }
    if (ticked(chkEmpMsg))
        SelEmpMsgs();
    c.eraseEmpMsgs = ticked(chkEraseEmpMsgs);
    for (int i = 0; i < lstEmpMsgs->count(); ++i) {
        const QListWidgetItem *m = lstEmpMsgs->item(i);
        if (m->isSelected())
            c.messages.push_back({m->data(Number).toString(), m->data(FirstName).toString()});
    }
    c.eraseSch = ticked(chkEraseSch);
    c.today = CmdFile::Today();
    if (ticked(chkEmpSch))
        SelEmpSch();
    const bool schedules = m_kind == Kind::Text ? SourceFileFound[1] : TargetDbOpen;
    if (schedules) {
        c.grace = m_kind == Kind::Text ? 0 : m_grace;
        std::vector<CmdSources::ScheduleItem> chosen;
        for (int i = 0; i < TreeView2->topLevelItemCount(); ++i) {
            if (TreeView2->topLevelItem(i)->checkState(0) == Qt::Checked)
                chosen.push_back(m_schedules[i]);
        }
        c.schedules = CmdSources::ScheduleRows(source(), m_kind, chosen);
    }
    c.funcKeySection = m_kind == Kind::Brix;
    for (int i = 0; i < 4 && c.funcKeySection; ++i) {
        if (ticked(chkFunc[i]) && m_funcQuery.isValid())
            c.funcKeys.push_back({chkFunc[i]->text(), ClkSetup::ReadFuncKey(m_funcQuery, chkFunc[i]->text())});
    }
    c.eraseEmp = ticked(chkEraseEmp);
    for (QTreeWidgetItemIterator it(TreeView1, QTreeWidgetItemIterator::NoChildren | QTreeWidgetItemIterator::Checked); *it;
         ++it) {
        if ((*it)->parent() == nullptr)
            continue;   // a group, not an employee
        c.employees.push_back({(*it)->data(0, Number).toString(), (*it)->data(0, FirstName).toString(),
                               (*it)->data(0, LastName).toString(), (*it)->data(0, Tag).toString(),
                               (*it)->data(0, Unfit).toString()});
    }
    return c;
}

void frmDldFile::Build()
{
    if (m_walking)
        return;
    CmdFile::Content c;
    try {
        c = content();
    } catch (const Platform::Error &e) {
        CmdFile::ShowNotBuilt(e, e.description());   // which table or column, in the database's words
        return;
    }
    if (!CmdFile::Build(c, CmdFilePath))
        return;
    if (Platform::Ui::msgBox(QStringLiteral("File created successfully! Would you like to download it to the clock(s)?"),
                             Platform::Ui::Style::YesNo) == Platform::Ui::Answer::Yes)
        Send();
}

void frmDldFile::Send()
{
    if (m_walking)
        return;
    // Begun inside another clock operation's yield, every clock of the walk would be refused in turn.
    ClockOperation operation(QStringLiteral("download"), this);
    if (!operation)
        return ClockOperation::showRefusal(QStringLiteral("The file cannot be downloaded"));
    const CmdWalk::Scope scope = optSelClk->isChecked()  ? CmdWalk::Scope::Selected
                                 : optAllClk->isChecked() ? CmdWalk::Scope::All
                                                          : CmdWalk::Scope::None;
    // A Build during the walk would rewrite the file a download reads.
    m_walking = true;
    cmdBldFile->setEnabled(false);
    cmdSend->setEnabled(false);
    struct Restore {
        frmDldFile *f;
        ~Restore()
        {
            f->m_walking = false;
            f->cmdBldFile->setEnabled(true);
            f->cmdSend->setEnabled(true);
        }
    } restore{this};
    CmdWalk::Send(CmdWalk::Link(), AppMain::state().MainDb, CmdFilePath, AppMain::settings().ClockInterface, scope,
                  [&operation] { return operation.stopRequested(); });
}

void frmDldFile::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event)) {
        CmdWalk::Link().CancelSend();   // the clock being sent stops; the walk ends after it
        return;
    }
    QWidget::closeEvent(event);
}
