#include "link/frmSelTCPIPClk.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "link/TCPIP.h"
#include "link/TcpClockModel.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

frmSelTCPIPClk::frmSelTCPIPClk()
{
    setObjectName(QStringLiteral("frmSelTCPIPClk"));
    setWindowTitle(QStringLiteral("Select TCP/IP Clock"));

    TDBGrid1 = new QTableView(this);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);

    const auto button = [this](const QString &name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(name);
        return b;
    };
    cmdSelClk[0] = button(QStringLiteral("cmdSelClk0"), "Save");
    cmdSelClk[1] = button(QStringLiteral("cmdSelClk1"), "Select");
    cmdClear = button(QStringLiteral("cmdClear"), "Clear");
    cmdCancel = button(QStringLiteral("cmdCancel"), "Cancel");
    AppMain::GridScreenKeys(this, TDBGrid1, cmdCancel, cmdSelClk[1]);
    for (int i = 0; i < 2; ++i)
        connect(cmdSelClk[i], &QPushButton::clicked, this, AppMain::Guarded([this, i] { cmdSelClk_Click(i); }));
    connect(cmdClear, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClear_Click(); }));
    connect(cmdCancel, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdCancel_Click(); }));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdSelClk[0], cmdSelClk[1], cmdClear, cmdCancel})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TDBGrid1);
    layout->addLayout(buttons);
    resize(560, 320);

    AppMain::Guard([this] { Form_Load(); });
}

void frmSelTCPIPClk::ShowModal()
{
    AppMain::ShowModal(new frmSelTCPIPClk, AppMain::TopEdge(TCPIP::kFormTopTwips));
}

void frmSelTCPIPClk::Form_Load()
{
    Data1 = new TcpClockModel(AppMain::state().MainDb, false, this);
    if (Data1->lastError().isValid())
        throw Platform::databaseError(Data1->lastError());
    TDBGrid1->setModel(Data1);
    TDBGrid1->hideColumn(TcpClockModel::Poll);
    TDBGrid1->horizontalHeader()->setStretchLastSection(true);
    AppMain::ShowAllColumns(TDBGrid1, TcpClockModel::kWidestOctet);
    TDBGrid1->setMinimumHeight(200);
    HighlightSelectedClock();
}

void frmSelTCPIPClk::HighlightSelectedClock()
{
    const qint32 selected = TCPIP::state().SelTCPIPClock.ScreenID;
    if (selected < 1)
        return;
    for (int row = 0; row < Data1->rowCount(); ++row) {
        if (Data1->index(row, TcpClockModel::ScreenID).data().toString() == QString::number(selected)) {
            TDBGrid1->selectRow(row);
            return;
        }
    }
}

QModelIndexList frmSelTCPIPClk::markedRows() const
{
    // A TcpClocks that could not be read leaves the grid without a model: nothing is marked.
    const QItemSelectionModel *selection = TDBGrid1->selectionModel();
    return selection ? selection->selectedRows() : QModelIndexList();
}

void frmSelTCPIPClk::cmdSelClk_Click(int index)
{
    const QModelIndexList marked = markedRows();
    if (marked.isEmpty()) {
        Platform::Ui::msgBox(QStringLiteral("No clock selected!"),
                             Platform::Ui::Style::OkOnly | Platform::Ui::Style::Exclamation);
        return;
    }
    const int row = marked.front().row();
    // A row that is no clock throws here: nothing is selected and the form stays open.
    TCPIP::state().SelTCPIPClock = TCPIP::ClockFromRow(Data1->record(row));
    if (index == 0) {
        TCPIP::state().TCPIPSettings.DefaultClock = Data1->index(row, TcpClockModel::ScreenID).data().toString();
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("DefaultClock"),
                              TCPIP::state().TCPIPSettings.DefaultClock);
    }
    TCPIP::ShowSelectedClock();
    AppMain::CloseScreen(this);
}

void frmSelTCPIPClk::cmdClear_Click()
{
    if (markedRows().isEmpty())
        return;
    TDBGrid1->clearSelection();
    TCPIP::state().SelTCPIPClock.ScreenID = 0;
    TCPIP::ShowSelectedClock();
}

void frmSelTCPIPClk::cmdCancel_Click()
{
    AppMain::CloseScreen(this);
}
