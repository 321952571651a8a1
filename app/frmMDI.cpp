#include "app/frmMDI.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmAbout.h"
#include "platform/comm/serialcomm.h"
#include "platform/error.h"
#include "platform/help.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <type_traits>

namespace {

frmMDI *mainWindow = nullptr;

constexpr int kStatusResetMs = 2000;
constexpr int kPortPictureSize = 20;
// The longest texts the link code writes into each status panel (a clock
// name of average length in the third): no panel is narrower than these.
constexpr const char *kPanelSamples[StatusPanels::kPanels] = {
    "Status: Receive Buffer Overflow", "Settings: COM16,19200,o,8,2", "Clock: Receiving Door Addr: 32", "",
    "TCP/IP Clock: 128"};
constexpr int kSparePanel = 3;   // the fourth, which nothing writes
constexpr int kPanelPadding = 8;
const QString kStatusPrefix = QStringLiteral("Status: ");
const QString kCommErrorTitle = QStringLiteral("Click Cancel to close port, OK to ignore.");
const QString kPortTooltip = QStringLiteral("Toggles Port");
const QString kHelpIndexCache = QStringLiteral("Kovra TEV.gid");
const QString kOldDatabaseFilter = QStringLiteral("Data Files (Clock102.mdb)|Clock102.mdb");

struct CommEventText {
    int code;
    const char *text;
};

// Sends (1) and receives (2) are not reported; codes missing here are "unknown".
constexpr CommEventText kCommEventTexts[] = {
    {3, "Change in CTS Detected"},  {4, "Change in DSR Detected"},    {5, "Change in CD Detected"},
    {6, "The Phone is Ringing"},    {7, "End of File Detected"},      {1001, "Break Received"},
    {1002, "CTS Timeout"},          {1003, "DSR Timeout"},            {1004, "Framing Error"},
    {1006, "Overrun Error"},        {1007, "Carrier Detect Timeout"}, {1008, "Receive Buffer Overflow"},
    {1009, "Parity Error"},         {1010, "Transmit Buffer Full"},   {1011, "Error retrieving DCB"},
};

QString commEventText(int code)
{
    if (code == Platform::CommEvSend || code == Platform::CommEvReceive)
        return QString();
    for (const CommEventText &entry : kCommEventTexts) {
        if (entry.code == code)
            return QString::fromLatin1(entry.text);
    }
    return QStringLiteral("Unknown error or event");
}

// Help and the web page open in the desktop's own viewer; without one the menu
// item would seem to do nothing.
void cannotOpen(const QString &fileOrAddress)
{
    Platform::Ui::msgBox(QStringLiteral("Could not open ") + fileOrAddress,
                         Platform::Ui::Style::OkOnly | Platform::Ui::Style::Exclamation);
}

void run(const std::function<void()> &hook)
{
    if (hook)
        AppMain::Guard(hook);
}

quint8 clockInterface()
{
    return AppMain::settings().ClockInterface;
}

QPixmap portPicture(const QColor &colour)
{
    QPixmap picture(kPortPictureSize, kPortPictureSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, kPortPictureSize - 5, kPortPictureSize - 5));
    return picture;
}

// Until the serial layer connects its own: the control and the pictures only.
void switchPortOnly(bool open)
{
    frmMDI *w = frmMDI::existing();
    if (!w || !w->MSComm1)
        return;
    try {
        if (w->MSComm1->PortOpen() != open)
            w->MSComm1->setPortOpen(open);
    } catch (const Platform::Error &) {
        // A port that cannot be switched is reported by the port layer, not here.
    }
    w->ShowPortState(w->MSComm1->PortOpen());
}

struct MenuRow {
    const char *menu;          // top menu object name, set on its first row
    const char *menuCaption;
    QAction *frmMDI::*item;    // nullptr: a separator
    const char *name;
    const char *caption;
};

constexpr MenuRow kMenus[] = {
    {"mnuSetup", "&Setup", &frmMDI::mnuSetupAppSettings, "mnuSetupAppSettings", "&Application Settings"},
    {"mnuSetup", nullptr, nullptr, nullptr, nullptr},
    {"mnuSetup", nullptr, &frmMDI::mnuSetupClkParm, "mnuSetupClkParm", "Clock &Parameters"},
    {"mnuSetup", nullptr, &frmMDI::mnuSetupFuncKeys, "mnuSetupFuncKeys", "&Function Keys"},
    {"mnuSetup", nullptr, &frmMDI::mnuSetupStdMsgs, "mnuSetupStdMsgs", "Clock &Messages"},
    {"mnuSetup", nullptr, &frmMDI::mnuSetupPollContMsg, "mnuSetupPollContMsg", "Continuous Poll Messages"},
    {"mnuSetup", nullptr, nullptr, nullptr, nullptr},
    {"mnuSetup", nullptr, &frmMDI::mnuSetupExit, "mnuSetupExit", "E&xit"},
    {"mnuComm", "&Communication", &frmMDI::mnuCommPollParm, "mnuCommPollParm", "&Poll/Delay Parameters"},
    {"mnuComm", nullptr, nullptr, nullptr, nullptr},
    {"mnuComm", nullptr, &frmMDI::mnuCommClkCommParm, "mnuCommClkCommParm", "&Clock Communication Parameters"},
    {"mnuComm", nullptr, &frmMDI::mnuCommSelectClk, "mnuCommSelectClk", "&Select Clock"},
    {"mnuComm", nullptr, nullptr, nullptr, nullptr},
    {"mnuComm", nullptr, &frmMDI::mnuCommDialModem, "mnuCommDialModem", "&Dial Modem"},
    {"mnuComm", nullptr, &frmMDI::mnuCommHangUpModem, "mnuCommHangUpModem", "&Hang Up Modem"},
    {"mnuCmd", "Co&mmands", &frmMDI::mnuCmdCreateCmdFile, "mnuCmdCreateCmdFile", "Create C&ommand File"},
    {"mnuCmd", nullptr, &frmMDI::mnuCmdDownloadCmdFile, "mnuCmdDownloadCmdFile", "Do&wnload Command File"},
    {"mnuCmd", nullptr, nullptr, nullptr, nullptr},
    {"mnuCmd", nullptr, &frmMDI::mnuCmdGetBadgeSch, "mnuCmdGetBadgeSch", "&Get Badge/Schedule Size"},
    {"mnuCmd", nullptr, &frmMDI::mnuCmdSetTime, "mnuCmdSetTime", "S&et Time"},
    {"mnuCmd", nullptr, &frmMDI::mnuCmdSendCmd, "mnuCmdSendCmd", "Send Comm&and"},
    {"mnuData", "&Data", &frmMDI::mnuDataPollClock, "mnuDataPollClock", "Po&ll Clock"},
    {"mnuData", nullptr, &frmMDI::mnuDataImportData, "mnuDataImportData", "&Import Clock Data"},
    {"mnuData", nullptr, nullptr, nullptr, nullptr},
    {"mnuData", nullptr, &frmMDI::mnuDataImportDB, "mnuDataImportDB", "Import Database"},
    {"mnuHelp", "&Help", &frmMDI::mnuHelpContents, "mnuHelpContents", "&Contents..."},
    {"mnuHelp", nullptr, &frmMDI::mnuHelpSearch, "mnuHelpSearch", "&Search..."},
    {"mnuHelp", nullptr, nullptr, nullptr, nullptr},
    {"mnuHelp", nullptr, &frmMDI::mnuHelpKovraWeb, "mnuHelpKovraWeb", "Visit Kovra &Website"},
    {"mnuHelp", nullptr, nullptr, nullptr, nullptr},
    {"mnuHelp", nullptr, &frmMDI::mnuHelpAbout, "mnuHelpAbout", "&About Kovra-TEV..."},
};

struct ToolbarButton {
    const char *caption;
    const char *key;
    const char *tooltip;
    QStyle::StandardPixmap picture;
    QAction *frmMDI::*runs;   // the menu item whose command the button runs
};

constexpr ToolbarButton kToolbar[] = {
    {"Download", "Download", "Download TEV clock commands file", QStyle::SP_ArrowDown, &frmMDI::mnuCmdDownloadCmdFile},
    {"Upload", "PollClk", "Poll clock", QStyle::SP_ArrowUp, &frmMDI::mnuDataPollClock},
    {"Select", "SelectClk", "Select TEV Clock", QStyle::SP_ComputerIcon, &frmMDI::mnuCommSelectClk},
    {"Import", "Import", "Import clock data file", QStyle::SP_DialogOpenButton, &frmMDI::mnuDataImportData},
    {"Exit", "Exit", "Exit Kovra-TEV", QStyle::SP_DialogCloseButton, &frmMDI::mnuSetupExit},
};

} // namespace

// ---- port pictures and status bar ----

void PortPicture::mousePressEvent(QMouseEvent *event)
{
    QLabel::mousePressEvent(event);
    emit clicked();
}

StatusPanels::StatusPanels(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int i = 0; i < kPanels; ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbrStatusPanel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // Each panel shows its text whole; the empty fourth takes the room left over.
        const int frame = 2 * label->frameWidth() + 2 * label->margin() + kPanelPadding;
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::fromLatin1(kPanelSamples[i])) + frame);
        addWidget(label, i == kSparePanel ? 1 : 0);
        m_panels[i] = label;
    }
}

QString StatusPanels::panel(int index) const
{
    if (index < 1 || index > kPanels)
        return QString();
    return m_panels[index - 1]->text();
}

void StatusPanels::setPanel(int index, const QString &text)
{
    if (index >= 1 && index <= kPanels)
        m_panels[index - 1]->setText(text);
}

// ---- hooks ----

namespace {
MDIHooks defaultHooks()
{
    MDIHooks h;
    h.openPort = [] { switchPortOnly(true); };
    h.closePort = [] { switchPortOnly(false); };
    return h;
}
} // namespace

MDIHooks &mdiHooks()
{
    static MDIHooks hooks = defaultHooks();
    return hooks;
}

void resetMdiHooks()
{
    mdiHooks() = defaultHooks();
}

// ---- the window ----

frmMDI *frmMDI::instance()
{
    if (!mainWindow)
        mainWindow = new frmMDI;
    return mainWindow;
}

frmMDI *frmMDI::existing()
{
    return mainWindow;
}

frmMDI::frmMDI()
{
    mainWindow = this;
    setObjectName(QStringLiteral("frmMDI"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Platform::Ui::AppTitle);

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    // A screen larger than the work area is scrolled to, never cut off.
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);

    setCommControl(std::make_unique<Platform::SerialCommControl>());
    buildMenus();
    buildToolbar();
    buildStatusBar();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kStatusResetMs);
    connect(Timer2, &QTimer::timeout, this, AppMain::Guarded([this] { Timer2_Timer(); }));

    MDIForm_Load();
    if (const QScreen *desktop = screen())
        PlaceOnDesktop(desktop->availableGeometry());
}

void frmMDI::PlaceOnDesktop(const QRect &desktop)
{
    if (desktop.width() < kOpeningSize.width() + kFrameRoom.width() ||
        desktop.height() < kOpeningSize.height() + kFrameRoom.height()) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMaximized);
    resize(kOpeningSize);
    move(desktop.x() + (desktop.width() - kOpeningSize.width()) / 2,
         desktop.y() + (desktop.height() - kOpeningSize.height() - kFrameRoom.height()) / 2);
}

frmMDI::~frmMDI()
{
    if (mainWindow == this)
        mainWindow = nullptr;
}

void frmMDI::buildMenus()
{
    QMenu *menu = nullptr;
    for (const MenuRow &row : kMenus) {
        if (row.menuCaption) {
            menu = menuBar()->addMenu(QString::fromLatin1(row.menuCaption));
            menu->setObjectName(QString::fromLatin1(row.menu));
            menu->menuAction()->setObjectName(QString::fromLatin1(row.menu));
        }
        if (!row.item) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(QString::fromLatin1(row.caption));
        action->setObjectName(QString::fromLatin1(row.name));
        this->*row.item = action;
    }

    MDIHooks &h = mdiHooks();
    // The toolbar runs the same commands, whatever the items' enabled state.
    const auto connectTo = [this](QAction *action, auto handler) {
        if constexpr (std::is_member_function_pointer_v<decltype(handler)>)
            m_commands.insert(action, [this, handler] { (this->*handler)(); });
        else
            m_commands.insert(action, handler);
        connect(action, &QAction::triggered, this, [this, action] { AppMain::Guard(m_commands.value(action)); });
    };
    connectTo(mnuSetupAppSettings, [&h] { run(h.showAppSettings); });
    connectTo(mnuSetupClkParm, [&h] { run(h.showClockParameters); });
    connectTo(mnuSetupFuncKeys, [&h] { run(h.showFunctionKeys); });
    connectTo(mnuSetupStdMsgs, [&h] { run(h.showClockMessages); });
    connectTo(mnuSetupPollContMsg, [&h] { run(h.showContPollMessages); });
    connectTo(mnuSetupExit, [this] { close(); });
    connectTo(mnuCommPollParm, [&h] { run(h.showPollProperties); });
    connectTo(mnuCommClkCommParm,
              [&h] { run(clockInterface() != 0 ? h.showTcpIpClockList : h.showSerialClockList); });
    connectTo(mnuCommSelectClk,
              [&h] { run(clockInterface() != 0 ? h.showSelectTcpIpClock : h.showSelectSerialClock); });
    connectTo(mnuCommDialModem, [&h] { run(h.showModemDial); });
    connectTo(mnuCommHangUpModem, [&h] {
        run(h.hangUpModem);
        run(h.closePort);
    });
    connectTo(mnuCmdCreateCmdFile, [&h] { run(h.showCreateCmdFile); });
    connectTo(mnuCmdDownloadCmdFile, &frmMDI::mnuCmdDownloadCmdFile_Click);
    connectTo(mnuCmdGetBadgeSch, [&h] { run(h.showBadgeScheduleCount); });
    connectTo(mnuCmdSetTime, &frmMDI::mnuCmdSetTime_Click);
    connectTo(mnuCmdSendCmd, [&h] { run(h.showSendCmd); });
    connectTo(mnuDataPollClock, [&h] { run(clockInterface() != 0 ? h.showPollTcpIp : h.showPollSerial); });
    connectTo(mnuDataImportData, &frmMDI::mnuDataImportData_Click);
    connectTo(mnuDataImportDB, &frmMDI::mnuDataImportDB_Click);
    connectTo(mnuHelpContents, &frmMDI::mnuHelpContents_Click);
    connectTo(mnuHelpSearch, &frmMDI::mnuHelpSearch_Click);
    connectTo(mnuHelpKovraWeb, &frmMDI::mnuHelpKovraWeb_Click);
    connectTo(mnuHelpAbout, [] { frmAbout::instance()->show(); });
}

void frmMDI::buildToolbar()
{
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const ToolbarButton &button : kToolbar) {
        QAction *action = Toolbar1->addAction(style()->standardIcon(button.picture), QString::fromLatin1(button.caption));
        action->setObjectName(QStringLiteral("Toolbar1_") + QString::fromLatin1(button.key));
        action->setData(QString::fromLatin1(button.key));
        action->setToolTip(QString::fromLatin1(button.tooltip));
        connect(action, &QAction::triggered, this, AppMain::Guarded([this, action] { Toolbar1_ButtonClick(action); }));
    }
}

void frmMDI::buildStatusBar()
{
    sbrStatus = new StatusPanels(this);
    sbrStatus->setObjectName(QStringLiteral("sbrStatus"));
    setStatusBar(sbrStatus);
    sbrStatus->setPanel(1, kStatusPrefix);

    picPort = new QStackedWidget(this);
    picPort->setObjectName(QStringLiteral("picPort"));
    imgConnected = new PortPicture(picPort);
    imgConnected->setObjectName(QStringLiteral("imgConnected"));
    imgConnected->setPixmap(portPicture(QColor(0x2E, 0xA0, 0x43)));
    imgNotConnected = new PortPicture(picPort);
    imgNotConnected->setObjectName(QStringLiteral("imgNotConnected"));
    imgNotConnected->setPixmap(portPicture(QColor(0xC0, 0x39, 0x2B)));
    for (PortPicture *picture : {imgConnected, imgNotConnected}) {
        picture->setToolTip(kPortTooltip);
        picPort->addWidget(picture);
        connect(picture, &PortPicture::clicked, this, AppMain::Guarded([this] { TogglePort(); }));
    }
    picPort->setFixedSize(kPortPictureSize + 4, kPortPictureSize);
    sbrStatus->addPermanentWidget(picPort);
}

void frmMDI::MDIForm_Load()
{
    ShowPortState(false);
    for (QAction *menu : menuBar()->actions())
        menu->setEnabled(true);
    Toolbar1->setEnabled(true);
    mnuSetupFuncKeys->setEnabled(AppMain::settings().TargetType == AppMain::kBrixTarget);
    mnuCommPollParm->setEnabled(clockInterface() == 0);
    // Only a modem call that is up can be hung up.
    mnuCommHangUpModem->setEnabled(false);
}

void frmMDI::setCommControl(std::unique_ptr<Platform::CommControl> control)
{
    delete MSComm1;
    MSComm1 = control.release();
    MSComm1->setParent(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    connect(MSComm1, &Platform::CommControl::OnComm, this, AppMain::Guarded([this] { MSComm1_OnComm(); }));
}

void frmMDI::DisableSerialOnlyMenus()
{
    mnuCommPollParm->setEnabled(false);
    mnuCommDialModem->setEnabled(false);
    mnuCmdGetBadgeSch->setEnabled(false);
}

void frmMDI::ShowPortState(bool open)
{
    picPort->setCurrentWidget(open ? imgConnected : imgNotConnected);
}

void frmMDI::TogglePort()
{
    run(MSComm1->PortOpen() ? mdiHooks().closePort : mdiHooks().openPort);
}

// ---- comm events ----

void frmMDI::MSComm1_OnComm()
{
    const QString text = commEventText(MSComm1->CommEvent());
    if (text.isEmpty())
        return;
    sbrStatus->setPanel(1, kStatusPrefix + text);
    Platform::Ui::beep();
    // The port keeps reporting while the box waits; a flapping line would
    // otherwise stack a box per event. The open box's answer covers them all.
    if (m_commBoxOpen)
        return;
    m_commBoxOpen = true;
    const auto answer = Platform::Ui::msgBox(text, Platform::Ui::Style::OkCancel, kCommErrorTitle);
    m_commBoxOpen = false;
    if (answer == Platform::Ui::Answer::Cancel)
        run(mdiHooks().closePort);
    Timer2->start();
}

void frmMDI::Timer2_Timer()
{
    sbrStatus->setPanel(1, kStatusPrefix);
    Timer2->stop();
}

// ---- commands ----

void frmMDI::mnuCmdDownloadCmdFile_Click()
{
    // Asked before the file dialog, so nobody picks a file for a download that cannot start.
    if (ClockOperation::refuseWhileRunning(QStringLiteral("The file cannot be downloaded")))
        return;
    const QString file = AppMain::BrowseOpenFile(OpenFileDlg, AppMain::AppFile(QStringLiteral("Data\\")),
                                                  QStringLiteral("TEV Clock Commands File"), 1);
    if (file.isEmpty())
        return;
    MDIHooks &h = mdiHooks();
    if (clockInterface() != 0) {
        const auto selected = [&h] { return h.selectedTcpIpClock ? h.selectedTcpIpClock() : 0; };
        if (selected() < 1) {
            run(h.selectTcpIpClockModal);
            if (selected() < 1)
                return;
        }
        if (h.downloadFileTcpIp)
            h.downloadFileTcpIp(file);
        return;
    }
    if (h.openSelectedClockPort && h.openSelectedClockPort() && h.downloadFileSerial)
        h.downloadFileSerial(file);
}

void frmMDI::mnuCmdSetTime_Click()
{
    MDIHooks &h = mdiHooks();
    switch (clockInterface()) {
    case 0: run(h.showSetTime); break;
    case 1: run(h.setTimeTcpIpWin95); break;
    case 2: run(h.setTimeTcpIpWinNT); break;
    default: break;  // no link is prepared for any other value
    }
}

void frmMDI::mnuDataImportData_Click()
{
    // A running poll holds the target database's statements; the import would close it under them.
    if (ClockOperation::refuseWhileRunning(QStringLiteral("Clock data cannot be imported")))
        return;
    const QString file = AppMain::BrowseOpenFile(OpenFileDlg, AppMain::state().AppPath,
                                                  QStringLiteral("Clock Data File"), 2);
    if (!file.isEmpty() && mdiHooks().postPolledData)
        mdiHooks().postPolledData(file);
}

void frmMDI::mnuDataImportDB_Click()
{
    for (;;) {
        OpenFileDlg.DialogTitle = QStringLiteral("Find Kovra-TEV Database");
        OpenFileDlg.Filter = kOldDatabaseFilter;
        OpenFileDlg.FileName.clear();
        OpenFileDlg.CancelError = true;
        try {
            OpenFileDlg.ShowOpen(this);
        } catch (const Platform::Error &e) {
            if (e.number() != Platform::ErrorNo::DialogCancelled)
                Platform::Ui::msgBox(e.description(), Platform::Ui::Style::OkOnly);
            return;
        }
        if (QFileInfo(OpenFileDlg.FileName).isFile()) {
            AppMain::ImportDatabase(OpenFileDlg.FileName);
            return;
        }
        Platform::Ui::msgBox(QStringLiteral("File not found!"),
                             Platform::Ui::Style::OkOnly | Platform::Ui::Style::Information);
    }
}

void frmMDI::mnuHelpContents_Click()
{
    // A stale index cache would hide newer topics from the viewer.
    const QString cache = AppMain::state().AppPath + kHelpIndexCache;
    if (QFileInfo::exists(cache)) {
        QFile::setPermissions(cache, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(cache);
    }
    if (!Platform::Help::showContents(AppMain::state().HelpFile))
        cannotOpen(QDir::toNativeSeparators(AppMain::state().HelpFile));
}

void frmMDI::mnuHelpSearch_Click()
{
    if (!Platform::Help::showSearch(AppMain::state().HelpFile))
        cannotOpen(QDir::toNativeSeparators(AppMain::state().HelpFile));
}

void frmMDI::mnuHelpKovraWeb_Click()
{
    if (!Platform::Help::openWebAddress(Platform::Help::MakerWebAddress))
        cannotOpen(Platform::Help::MakerWebAddress);
}

void frmMDI::Toolbar1_ButtonClick(QAction *button)
{
    const QString key = button->data().toString();
    for (const ToolbarButton &entry : kToolbar) {
        if (key == QLatin1String(entry.key)) {
            m_commands.value(this->*entry.runs)();
            return;
        }
    }
}

// ---- shutdown ----

void frmMDI::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event, LongOperation::Scope::Everything))
        return;
    // The screens' own unload still uses the databases (the builder drops its
    // text tables, a poll form stops its loop): they close first. A screen
    // that refuses its close keeps the program running.
    mdiArea->closeAllSubWindows();
    for (QMdiSubWindow *sub : mdiArea->subWindowList()) {
        if (sub->isVisible()) {
            event->ignore();
            return;
        }
    }
    AppMain::Guard([this] { MDIForm_Unload(); });
    event->accept();
}

void frmMDI::MDIForm_Unload()
{
    if (MSComm1->PortOpen())
        run(mdiHooks().closePort);
    AppMain::state().MainDb.close();
    run(mdiHooks().closeTargetDb);
    if (clockInterface() != 0)
        run(mdiHooks().closeTcpIpLink);
    Platform::Help::quit(AppMain::state().HelpFile);
    // Every form is unloaded; the screens in the frame closed before all this.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->close();
    }
    QApplication::quit();
}
