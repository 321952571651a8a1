#include "startup/frmAppSettings.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "startup/Startup.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <functional>
#include <vector>

namespace {

const QString kKey = QStringLiteral("Application");
// In the order the list offers them.
const QStringList kAppTypes = {AppMain::kBrixTarget, AppMain::kVeskTarget, AppMain::kTextFilesTarget,
                               AppMain::kSorbTarget};
// Filter kinds of the open dialog: databases first, text files first.
constexpr int kDatabaseFilter = 3;
constexpr int kTextFilter = 4;

// Each step as at start-up: a failure is shown and the next step runs.
bool runSteps(const std::vector<std::function<void()>> &steps)
{
    for (const auto &step : steps)
        AppMain::Guard(step);
    return true;
}

} // namespace

frmAppSettings::frmAppSettings()
{
    setObjectName(QStringLiteral("frmAppSettings"));
    setWindowTitle(QStringLiteral("Application Settings"));

    const auto named = [](QWidget *w, const QString &name) {
        w->setObjectName(name);
        return w;
    };
    const auto browse = [&named](QWidget *parent, const QString &name) {
        auto *b = new QPushButton(QStringLiteral("..."), parent);
        named(b, name);
        b->setMaximumWidth(32);
        return b;
    };

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));

    // ---- General ----
    auto *general = new QWidget;
    fraClockInterface = new QGroupBox(QStringLiteral("Clock Interface"), general);
    grpAppClock = new QButtonGroup(this);
    const char *clockCaptions[] = {"RS-232, RS-485, or MODEM", "TCP/IP - Win 95 system", "TCP/IP - Win NT system"};
    auto *clockLayout = new QVBoxLayout(fraClockInterface);
    for (int i = 0; i < 3; ++i) {
        optAppClock[i] = new QRadioButton(QString::fromLatin1(clockCaptions[i]), fraClockInterface);
        named(optAppClock[i], QStringLiteral("optAppClock%1").arg(i));
        grpAppClock->addButton(optAppClock[i], i);
        clockLayout->addWidget(optAppClock[i]);
    }
    fraAppInterface = new QGroupBox(QStringLiteral("Application Interface"), general);
    lblAppType = new QLabel(QStringLiteral("Application Type:"), fraAppInterface);
    cboDataSource = new QComboBox(fraAppInterface);
    named(cboDataSource, QStringLiteral("cboDataSource"));
    lblAppType->setBuddy(cboDataSource);
    auto *appLayout = new QHBoxLayout(fraAppInterface);
    appLayout->addWidget(lblAppType);
    appLayout->addWidget(cboDataSource, 1);
    auto *generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(fraClockInterface);
    generalLayout->addWidget(fraAppInterface);
    generalLayout->addStretch();
    SSTab1->addTab(general, QStringLiteral("General"));

    // ---- Data Source ----
    auto *source = new QWidget;
    fraTextSource = new QGroupBox(QStringLiteral("Text Files Source"), source);
    const char *sourceCaptions[] = {"", "Employee File:", "Schedule File:", "Message File:"};
    auto *sourceGrid = new QGridLayout(fraTextSource);
    for (int i = 1; i <= 3; ++i) {
        lblTextFileSource[i] = new QLabel(QString::fromLatin1(sourceCaptions[i]), fraTextSource);
        named(lblTextFileSource[i], QStringLiteral("lblTextFileSource%1").arg(i));
        txtTextFileSource[i] = new QLineEdit(fraTextSource);
        named(txtTextFileSource[i], QStringLiteral("txtTextFileSource%1").arg(i));
        lblTextFileSource[i]->setBuddy(txtTextFileSource[i]);
        cmdTextFileSourceBrowse[i] = browse(fraTextSource, QStringLiteral("cmdTextFileSourceBrowse%1").arg(i));
        sourceGrid->addWidget(lblTextFileSource[i], i - 1, 0);
        sourceGrid->addWidget(txtTextFileSource[i], i - 1, 1);
        sourceGrid->addWidget(cmdTextFileSourceBrowse[i], i - 1, 2);
    }
    fraKovraSource = new QGroupBox(QStringLiteral("Kovra Data Source"), source);
    lblKovraSource = new QLabel(QStringLiteral("Data File:"), fraKovraSource);
    named(lblKovraSource, QStringLiteral("lblKovraSource"));
    txtKovraDataFile = new QLineEdit(fraKovraSource);
    named(txtKovraDataFile, QStringLiteral("txtKovraDataFile"));
    lblKovraSource->setBuddy(txtKovraDataFile);
    cmdKovraSourceBrowse = browse(fraKovraSource, QStringLiteral("cmdKovraSourceBrowse"));
    auto *kovraLayout = new QHBoxLayout(fraKovraSource);
    kovraLayout->addWidget(lblKovraSource);
    kovraLayout->addWidget(txtKovraDataFile, 1);
    kovraLayout->addWidget(cmdKovraSourceBrowse);
    auto *sourceLayout = new QVBoxLayout(source);
    sourceLayout->addWidget(fraTextSource);
    sourceLayout->addWidget(fraKovraSource);
    sourceLayout->addStretch();
    SSTab1->addTab(source, QStringLiteral("Data Source"));

    // ---- Data Destination ----
    auto *destination = new QWidget;
    fraTextDest = new QGroupBox(QStringLiteral("Text Files"), destination);
    lblTextFileDestination = new QLabel(QStringLiteral("Destination Directory:"), fraTextDest);
    named(lblTextFileDestination, QStringLiteral("lblTextFileDestination"));
    txtTextFileDestination = new QLineEdit(fraTextDest);
    named(txtTextFileDestination, QStringLiteral("txtTextFileDestination"));
    lblTextFileDestination->setBuddy(txtTextFileDestination);
    cmdTextFileDestinationBrowse = browse(fraTextDest, QStringLiteral("cmdTextFileDestinationBrowse"));
    lblTextFileNoOfFiles = new QLabel(QStringLiteral("Files:"), fraTextDest);
    named(lblTextFileNoOfFiles, QStringLiteral("lblTextFileNoOfFiles"));
    grpNoOfFiles = new QButtonGroup(this);
    const char *filesCaptions[] = {"Append data to a single file", "Save data in multiple files"};
    lblTextFileDate = new QLabel(QStringLiteral("Date Format:"), fraTextDest);
    named(lblTextFileDate, QStringLiteral("lblTextFileDate"));
    grpDate = new QButtonGroup(this);
    const char *dateCaptions[] = {"American Date (mm/dd/yy)", "European Date (dd/mm/yy)"};
    auto *destGrid = new QGridLayout(fraTextDest);
    destGrid->addWidget(lblTextFileDestination, 0, 0);
    destGrid->addWidget(txtTextFileDestination, 0, 1);
    destGrid->addWidget(cmdTextFileDestinationBrowse, 0, 2);
    destGrid->addWidget(lblTextFileNoOfFiles, 1, 0);
    destGrid->addWidget(lblTextFileDate, 3, 0);
    for (int i = 0; i < 2; ++i) {
        optTextFileNoOfFiles[i] = new QRadioButton(QString::fromLatin1(filesCaptions[i]), fraTextDest);
        named(optTextFileNoOfFiles[i], QStringLiteral("optTextFileNoOfFiles%1").arg(i));
        grpNoOfFiles->addButton(optTextFileNoOfFiles[i], i);
        destGrid->addWidget(optTextFileNoOfFiles[i], 1 + i, 1);
        optTextFileDate[i] = new QRadioButton(QString::fromLatin1(dateCaptions[i]), fraTextDest);
        named(optTextFileDate[i], QStringLiteral("optTextFileDate%1").arg(i));
        grpDate->addButton(optTextFileDate[i], i);
        destGrid->addWidget(optTextFileDate[i], 3 + i, 1);
    }
    fraKovraSoftware = new QGroupBox(QStringLiteral("Kovra Software"), destination);
    chkKovraAutoimport = new QCheckBox(QStringLiteral("Automatically import clock data after polling"), fraKovraSoftware);
    named(chkKovraAutoimport, QStringLiteral("chkKovraAutoimport"));
    auto *softwareLayout = new QVBoxLayout(fraKovraSoftware);
    softwareLayout->addWidget(chkKovraAutoimport);
    auto *destLayout = new QVBoxLayout(destination);
    destLayout->addWidget(fraTextDest);
    destLayout->addWidget(fraKovraSoftware);
    destLayout->addStretch();
    SSTab1->addTab(destination, QStringLiteral("Data Destination"));

    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    named(cmdSave, QStringLiteral("cmdSave"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    named(cmdClose, QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1);
    layout->addLayout(buttons);
    resize(480, 360);

    // A choice counts however it was made: mouse, keys or a screen reader.
    const auto chosen = [this](QButtonGroup *group, int &index) {
        connect(group, &QButtonGroup::idToggled, this, [&index](int id, bool on) {
            if (on)
                index = id;
        });
    };
    chosen(grpAppClock, m_chosenClock);
    chosen(grpDate, m_chosenDate);
    chosen(grpNoOfFiles, m_chosenFiles);
    connect(cboDataSource, &QComboBox::activated, this, AppMain::Guarded([this] { cboDataSource_Click(); }));
    connect(cmdKovraSourceBrowse, &QPushButton::clicked, this, AppMain::Guarded([this] {
                const QString name = AppMain::BrowseOpenFile(frmMDI::instance()->OpenFileDlg, AppMain::state().AppPath,
                                                             QStringLiteral("Find Data Source"), kDatabaseFilter);
                if (!name.isEmpty())
                    txtKovraDataFile->setText(name);
            }));
    for (int i = 1; i <= 3; ++i) {
        connect(cmdTextFileSourceBrowse[i], &QPushButton::clicked, this, AppMain::Guarded([this, i] {
                    const QString name = AppMain::BrowseOpenFile(frmMDI::instance()->OpenFileDlg,
                                                                 AppMain::state().AppPath,
                                                                 QStringLiteral("Find Data Source"), kTextFilter);
                    if (!name.isEmpty())
                        txtTextFileSource[i]->setText(name);
                }));
    }
    connect(cmdTextFileDestinationBrowse, &QPushButton::clicked, this, AppMain::Guarded([this] {
                const QString name =
                    AppMain::BrowseSaveFile(frmMDI::instance()->OpenFileDlg, QStringLiteral("Find Data File"));
                if (!name.isEmpty())
                    txtTextFileDestination->setText(name);
            }));
    connect(cmdSave, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSave_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClose_Click(); }));

    AppMain::Guard([this] { Form_Load(); });
}

void frmAppSettings::showChoice(QButtonGroup *group, int value)
{
    if (QAbstractButton *button = group->button(value)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group cannot show "none" by itself.
    group->setExclusive(false);
    for (QAbstractButton *button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

void frmAppSettings::Form_Load()
{
    const AppMain::AppSettingsRec &live = AppMain::settings();
    m_chosenClock = live.ClockInterface;
    showChoice(grpAppClock, m_chosenClock);
    cboDataSource->addItems(kAppTypes);
    cboDataSource->setCurrentIndex(kAppTypes.indexOf(live.TargetType));
    if (cboDataSource->currentIndex() >= 0)
        cboDataSource_Click();
    RememberSettings();
}

void frmAppSettings::cboDataSource_Click()
{
    if (cboDataSource->currentText() == AppMain::kTextFilesTarget)
        LoadTextFilesSettings();
    else
        LoadKovraSettings();
}

void frmAppSettings::EnableDisableApp1Controls(bool enable)
{
    for (int i = 1; i <= 3; ++i) {
        lblTextFileSource[i]->setEnabled(enable);
        txtTextFileSource[i]->setEnabled(enable);
        cmdTextFileSourceBrowse[i]->setEnabled(enable);
    }
    for (QWidget *w : std::initializer_list<QWidget *>{lblTextFileDestination, txtTextFileDestination,
                                                        cmdTextFileDestinationBrowse, lblTextFileNoOfFiles,
                                                        optTextFileNoOfFiles[0], optTextFileNoOfFiles[1],
                                                        lblTextFileDate, optTextFileDate[0], optTextFileDate[1]})
        w->setEnabled(enable);
}

void frmAppSettings::EnableDisableApp2Controls(bool enable)
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{lblKovraSource, txtKovraDataFile, cmdKovraSourceBrowse, chkKovraAutoimport})
        w->setEnabled(enable);
}

void frmAppSettings::LoadTextFilesSettings()
{
    AppMain::TextFileSettingsRec &text = AppMain::settings().TextFileSettings;
    const Platform::Snapshot rs = AppMain::OpenRegKey(AppMain::state().MainDb, kKey);
    for (int i = 0; i < 3; ++i)
        text.TextSourceFile[i] = AppMain::GetRegValue(rs, QStringLiteral("TextSourceFile%1").arg(i + 1), QString());
    text.TextFileName = AppMain::GetRegValue(rs, QStringLiteral("TextDestination"),
                                             AppMain::AppFile(QStringLiteral("Data\\KovraTEV.txt")));
    text.DailyTextFile =
        AppMain::CByte(AppMain::Val(AppMain::GetRegValue(rs, QStringLiteral("NoOfFiles"), QStringLiteral("1"))));
    text.TextRecordFormat =
        AppMain::CByte(AppMain::Val(AppMain::GetRegValue(rs, QStringLiteral("DateFormat"), QStringLiteral("0"))));
    EnableDisableApp1Controls(true);
    EnableDisableApp2Controls(false);
    for (int i = 1; i <= 3; ++i)
        txtTextFileSource[i]->setText(text.TextSourceFile[i - 1]);
    txtTextFileDestination->setText(text.TextFileName);
    m_chosenDate = text.TextRecordFormat;
    showChoice(grpDate, m_chosenDate);
    m_chosenFiles = text.DailyTextFile;
    showChoice(grpNoOfFiles, m_chosenFiles);
}

void frmAppSettings::LoadKovraSettings()
{
    AppMain::AppSettingsRec &live = AppMain::settings();
    const Platform::Snapshot rs = AppMain::OpenRegKey(AppMain::state().MainDb, kKey);
    live.TargetDbPath = AppMain::GetRegValue(rs, QStringLiteral("Data File"), QString());
    live.AutoImport = AppMain::Val(AppMain::GetRegValue(rs, QStringLiteral("AutoImport"), QStringLiteral("1"))) != 0;
    EnableDisableApp1Controls(false);
    EnableDisableApp2Controls(true);
    txtKovraDataFile->setText(live.TargetDbPath);
    chkKovraAutoimport->setChecked(live.AutoImport);
}

void frmAppSettings::RememberSettings()
{
    const AppMain::AppSettingsRec &live = AppMain::settings();
    m_dataSourceTag = cboDataSource->currentText();
    m_chosenClock = live.ClockInterface;
    for (int i = 1; i <= 3; ++i)
        m_textSourceTag[i] = txtTextFileSource[i]->text();
    m_destinationTag = txtTextFileDestination->text();
    m_chosenDate = live.TextFileSettings.TextRecordFormat;
    m_chosenFiles = live.TextFileSettings.DailyTextFile;
    m_kovraFileTag = txtKovraDataFile->text();
    m_autoImportTag = chkKovraAutoimport->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void frmAppSettings::switchClockInterface(int from, int to)
{
    frmMDI *mdi = frmMDI::instance();
    Platform::CommControl &comm = *mdi->MSComm1;
    SerialClk::State &serial = SerialClk::state();
    // Close the link being left first: a port or listening socket still held
    // would refuse the new one.
    if (from == 0 && to != 0) {
        runSteps({
            [&] {
                if (serial.ModemConnected)
                    SerialClk::HangUpModem(comm);
            },
            [&] {
                if (comm.PortOpen())
                    SerialClk::ClosePort(comm, mdi->sbrStatus);
            },
        });
    } else if (from != 0 && to == 0) {
        runSteps({[] { TCPIP::ReleaseLinks(); }});
    }

    if (to == 0) {
        mdi->mnuCommPollParm->setEnabled(true);
        mdi->mnuCommDialModem->setEnabled(true);
        mdi->mnuCommHangUpModem->setEnabled(false);
        mdi->mnuCmdGetBadgeSch->setEnabled(true);
    }
    AppMain::PrepareClockLink(quint8(to), runSteps);
    mdi->mnuCommPollParm->setEnabled(to == 0);
}

bool frmAppSettings::cmdSave_Click()
{
    AppMain::AppSettingsRec &live = AppMain::settings();
    // The switch closes the link a running operation uses. Nothing is saved
    // and the entries stay on the screen for a Save once it has ended.
    if (m_chosenClock != live.ClockInterface &&
        ClockOperation::refuseWhileRunning(QStringLiteral("The settings are not saved: the clock interface cannot change")))
        return false;
    if (m_chosenClock != live.ClockInterface) {
        const int from = live.ClockInterface;
        AppMain::SaveRegValue(kKey, QStringLiteral("Clock"), QString::number(m_chosenClock));
        live.ClockInterface = quint8(m_chosenClock);
        switchClockInterface(from, m_chosenClock);
    }
    if (cboDataSource->currentText() != m_dataSourceTag) {
        AppMain::SaveRegValue(kKey, QStringLiteral("Data Source"), cboDataSource->currentText());
        live.TargetType = cboDataSource->currentText();
        frmMDI::instance()->mnuSetupFuncKeys->setEnabled(live.TargetType == AppMain::kBrixTarget);
    }
    if (txtKovraDataFile->text() != m_kovraFileTag) {
        live.TargetDbPath = txtKovraDataFile->text();
        AppMain::SaveRegValue(kKey, QStringLiteral("Data File"), live.TargetDbPath);
    }
    const int autoImport = chkKovraAutoimport->isChecked() ? 1 : 0;
    if (autoImport != int(AppMain::Val(m_autoImportTag))) {
        live.AutoImport = autoImport != 0;
        AppMain::SaveRegValue(kKey, QStringLiteral("AutoImport"), QString::number(autoImport));
    }
    for (int i = 1; i <= 3; ++i) {
        const QString text = txtTextFileSource[i]->text();
        if (text == m_textSourceTag[i])
            continue;
        live.TextFileSettings.TextSourceFile[i - 1] = text;
        const QString field = QStringLiteral("TextSourceFile%1").arg(i);
        if (text.isEmpty())
            AppMain::DeleteRegValue(kKey, field);
        else
            AppMain::SaveRegValue(kKey, field, text);
    }
    if (txtTextFileDestination->text() != m_destinationTag) {
        live.TextFileSettings.TextFileName = txtTextFileDestination->text();
        AppMain::SaveRegValue(kKey, QStringLiteral("TextDestination"), live.TextFileSettings.TextFileName);
    }
    if (m_chosenFiles != live.TextFileSettings.DailyTextFile) {
        live.TextFileSettings.DailyTextFile = quint8(m_chosenFiles);
        AppMain::SaveRegValue(kKey, QStringLiteral("NoOfFiles"), QString::number(m_chosenFiles));
    }
    if (m_chosenDate != live.TextFileSettings.TextRecordFormat) {
        live.TextFileSettings.TextRecordFormat = quint8(m_chosenDate);
        AppMain::SaveRegValue(kKey, QStringLiteral("DateFormat"), QString::number(m_chosenDate));
    }
    RememberSettings();
    return true;
}

void frmAppSettings::cmdClose_Click()
{
    const bool changed = cboDataSource->currentText() != m_dataSourceTag ||
                         txtKovraDataFile->text() != m_kovraFileTag ||
                         AppMain::settings().ClockInterface != m_chosenClock ||
                         (chkKovraAutoimport->isChecked() ? 1 : 0) != int(AppMain::Val(m_autoImportTag));
    if (changed && Platform::Ui::msgBox(QStringLiteral("Would you like to save the current settings?"),
                                        Platform::Ui::Style::YesNo) == Platform::Ui::Answer::Yes &&
        !cmdSave_Click())
        return;
    AppMain::CloseScreen(this);
}

namespace AppMain {

void InstallAppSettingsHook()
{
    mdiHooks().showAppSettings = [] { OneScreen<frmAppSettings>::show(TopEdge(0)); };
}

} // namespace AppMain
