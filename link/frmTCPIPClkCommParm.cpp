#include "link/frmTCPIPClkCommParm.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "link/ClockListDelegate.h"
#include "link/HostsFile.h"
#include "link/TCPIP.h"
#include "link/TcpClockModel.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSqlError>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

bool isSelectedClockRow(const QAbstractItemModel *model, int row)
{
    const qint32 selected = TCPIP::state().SelTCPIPClock.ScreenID;
    const QVariant cell = model->index(row, TcpClockModel::ScreenID).data();
    return selected >= 1 && !cell.isNull() && cell.toString() == QString::number(selected);
}

// Numbers only in Clock# and the octets; an octet that is not one stays in edit.
class TcpClockDelegate : public ClockListDelegate {
public:
    explicit TcpClockDelegate(QObject *parent)
        : ClockListDelegate([parent](int row) { return isSelectedClockRow(static_cast<QTableView *>(parent)->model(), row); },
                            parent)
    {
    }

protected:
    QWidget *cellEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() == TcpClockModel::Poll)
            return nullptr;  // its check box is all there is to it
        if (index.column() == TcpClockModel::Description)
            return QStyledItemDelegate::createEditor(parent, option, index);
        // A plain box for the numbers: it fits the narrow octet columns, and Tab moves on from it.
        auto *line = new QLineEdit(parent);
        line->setFrame(false);
        line->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,9}")), line));
        return line;
    }

    bool refusesText(QWidget *editor, const QModelIndex &index) const override
    {
        const auto *model = qobject_cast<const TcpClockModel *>(index.model());
        const auto *line = qobject_cast<QLineEdit *>(editor);
        return model && line && model->refusesOctet(index, line->text());
    }
};

// Each flag as the settings keep it after a save.
QString flagText(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

frmTCPIPClkCommParm::frmTCPIPClkCommParm()
{
    setObjectName(QStringLiteral("frmTCPIPClkCommParm"));
    setWindowTitle(QStringLiteral("TCP/IP Clocks"));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));

    auto *clocks = new QWidget;
    TDBGrid1 = new QTableView(clocks);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TDBGrid1->setItemDelegate(new TcpClockDelegate(TDBGrid1));
    Label1 = new QLabel(QStringLiteral("Host Address"), clocks);
    Label1->setObjectName(QStringLiteral("Label1"));
    auto *address = new QHBoxLayout;
    address->addWidget(Label1);
    for (int i = 0; i < 4; ++i) {
        hostaddress[i] = new QLineEdit(QStringLiteral("000"), clocks);
        hostaddress[i]->setObjectName(QStringLiteral("hostaddress%1").arg(i));
        hostaddress[i]->setToolTip(QStringLiteral("Host Address Octet %1").arg(i + 1));
        hostaddress[i]->setAccessibleName(hostaddress[i]->toolTip());
        hostaddress[i]->setMaxLength(3);
        hostaddress[i]->setFixedWidth(48);
        address->addWidget(hostaddress[i]);
    }
    address->addStretch();
    auto *clocksLayout = new QVBoxLayout(clocks);
    clocksLayout->addWidget(TDBGrid1);
    clocksLayout->addLayout(address);
    SSTab1->addTab(clocks, QStringLiteral("Clocks"));

    auto *options = new QWidget;
    Frame1 = new QGroupBox(options);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    const auto check = [this](const char *name, const char *caption, const char *tip) {
        auto *box = new QCheckBox(QString::fromLatin1(caption), Frame1);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(QString::fromLatin1(tip));
        return box;
    };
    chkTCPIPAddressing = check("chkTCPIPAddressing", "TCP/IP ADDRESSING", "Enable IP Address Stamp In Log File");
    chkTerminalIDStamp = check("chkTerminalIDStamp", "TERMINAL ID STAMP", "Enable Terminal ID Stamp In Log File");
    chkEnableTCPIPACK = check("chkEnableTCPIPACK", "ENABLE TCP/IP ACK", "Enable Debug Tracking File");
    auto *frameLayout = new QVBoxLayout(Frame1);
    for (QCheckBox *box : {chkTCPIPAddressing, chkTerminalIDStamp, chkEnableTCPIPACK})
        frameLayout->addWidget(box);
    auto *optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(Frame1);
    optionsLayout->addStretch();
    SSTab1->addTab(options, QStringLiteral("TCP/IP Options"));

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdSave = button("cmdSave", "Save");
    cmdRefresh = button("cmdRefresh", "Refresh");
    cmdClose = button("cmdClose", "Close");
    AppMain::GridScreenKeys(this, TDBGrid1, cmdClose);
    connect(cmdSave, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSave_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdRefresh_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClose_Click(); }));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdSave, cmdRefresh, cmdClose})
        buttons->addWidget(b);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1);
    layout->addLayout(buttons);
    resize(620, 380);

    auto *del = new QShortcut(QKeySequence::Delete, TDBGrid1, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, AppMain::Guarded([this] { TDBGrid1_Delete(); }));

    AppMain::Guard([this] { Form_Load(); });
}

void frmTCPIPClkCommParm::Form_Load()
{
    const TCPIP::TCPIPSettingsRec &t = TCPIP::state().TCPIPSettings;
    for (int i = 0; i < 4; ++i)
        hostaddress[i]->setText(QStringLiteral("%1").arg(qint64(AppMain::Val(t.HostAddr[i])), 3, 10, QLatin1Char('0')));
    chkTCPIPAddressing->setChecked(t.TCPIPAddress);
    chkTerminalIDStamp->setChecked(t.TerminalID);
    chkEnableTCPIPACK->setChecked(t.TCPIPACK);

    Data1 = new TcpClockModel(AppMain::state().MainDb, true, this);
    if (Data1->lastError().isValid())
        throw Platform::databaseError(Data1->lastError());
    TDBGrid1->setModel(Data1);
    TDBGrid1->horizontalHeader()->setStretchLastSection(true);
    AppMain::ShowAllColumns(TDBGrid1, TcpClockModel::kWidestOctet);
    TDBGrid1->setMinimumHeight(200);
    // The description grows with what is typed into it.
    TDBGrid1->horizontalHeader()->setSectionResizeMode(TcpClockModel::Description, QHeaderView::ResizeToContents);
    // A completed row is written as soon as the user leaves it; the cursor
    // stays on the cell the user moved to, though the list is read again. Tab
    // past a new clock's last cell waits on the new-row line for the next; a
    // new clock refused waits there to be mended.
    connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            AppMain::Guarded([this](const QModelIndex &current, const QModelIndex &previous) {
                const bool nextClock = Data1->tabsPastNewRow(current, previous);
                if (m_placingCursor || (current.row() == previous.row() && !nextClock))
                    return;
                int column = current.column();
                const bool written = Data1->writePending();
                int row = qMin(current.row(), Data1->rowCount() - 1);
                if (nextClock || (!written && Data1->newRowStarted())) {
                    row = Data1->rowCount() - 1;
                    column = written ? TcpClockModel::ScreenID : previous.column();
                }
                if (row >= 0 && (!TDBGrid1->currentIndex().isValid() || row != TDBGrid1->currentIndex().row())) {
                    m_placingCursor = true;
                    TDBGrid1->setCurrentIndex(Data1->index(row, column));
                    m_placingCursor = false;
                }
            }));
}

void frmTCPIPClkCommParm::closeEvent(QCloseEvent *event)
{
    // A clock typed and not yet written is written, or refused with its box, never dropped unseen.
    if (Data1)
        AppMain::Guard([this] { Data1->writePending(); });
    event->accept();
}

void frmTCPIPClkCommParm::TDBGrid1_Delete()
{
    const QModelIndex current = TDBGrid1->currentIndex();
    if (!current.isValid())
        return;
    if (Data1->isBlankRow(current.row())) {
        Data1->discardNewRow();
        return;
    }
    if (isSelectedClockRow(Data1, current.row())) {
        Platform::Ui::msgBox(QStringLiteral("You cannot delete the selected clock!"));
        return;
    }
    Data1->removeRow(current.row());
    Data1->writePending();
}

void frmTCPIPClkCommParm::cmdSave_Click()
{
    // Each step is shown on failure and the next still runs.
    const auto step = [](const std::function<void()> &fn) { AppMain::Guard(fn); };
    step([this] { Data1->writePending(); });
    step([this] { Hostfile(); });
    TCPIP::TCPIPSettingsRec &t = TCPIP::state().TCPIPSettings;
    struct Flag {
        QCheckBox *box;
        bool *value;
        const char *setting;
    };
    const Flag flags[] = {
        {chkTCPIPAddressing, &t.TCPIPAddress, "TCPIPAddress"},
        {chkTerminalIDStamp, &t.TerminalID, "TerminalID"},
        {chkEnableTCPIPACK, &t.TCPIPACK, "TCPIPACK"},
    };
    for (const Flag &flag : flags) {
        step([&flag] {
            *flag.value = flag.box->isChecked();
            AppMain::SaveRegValue(QStringLiteral("TCPIP"), QString::fromLatin1(flag.setting), flagText(*flag.value));
        });
    }
    step([this, &t] {
        double sum = 0;
        for (QLineEdit *box : hostaddress)
            sum += AppMain::Val(box->text());
        if (sum == 0) {
            Platform::Ui::msgBox(QStringLiteral("Invalid host address!"),
                                 Platform::Ui::Style::OkOnly | Platform::Ui::Style::Critical);
            return;
        }
        for (int i = 0; i < 4; ++i) {
            t.HostAddr[i] = hostaddress[i]->text();
            AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("HostAddr%1").arg(i + 1), t.HostAddr[i]);
        }
    });
}

void frmTCPIPClkCommParm::Hostfile()
{
    std::array<QString, 4> boxes;
    for (int i = 0; i < 4; ++i)
        boxes[i] = hostaddress[i]->text();
    TCPIP::WriteHostsFile(AppMain::state().MainDb, TCPIP::HostsPath(),
                          AppMain::state().AppPath + QStringLiteral("hosts.template"), boxes);
}

void frmTCPIPClkCommParm::cmdRefresh_Click()
{
    Data1->select();
}

void frmTCPIPClkCommParm::cmdClose_Click()
{
    AppMain::CloseScreen(this);
}
