#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// "Application Settings": the clock interface, the application type and the
// text-file and product-database settings of the 'Application' key.
class frmAppSettings : public QWidget {
    Q_OBJECT
public:
    frmAppSettings();

    QTabWidget *SSTab1;
    QGroupBox *fraClockInterface, *fraAppInterface, *fraTextSource, *fraKovraSource, *fraTextDest, *fraKovraSoftware;
    std::array<QRadioButton *, 3> optAppClock{};
    QButtonGroup *grpAppClock;
    QLabel *lblAppType;
    QComboBox *cboDataSource;
    // Index 0 unused: the arrays count from 1 as their captions do.
    std::array<QLabel *, 4> lblTextFileSource{};
    std::array<QLineEdit *, 4> txtTextFileSource{};
    std::array<QPushButton *, 4> cmdTextFileSourceBrowse{};
    QLabel *lblKovraSource;
    QLineEdit *txtKovraDataFile;
    QPushButton *cmdKovraSourceBrowse;
    QLabel *lblTextFileDestination;
    QLineEdit *txtTextFileDestination;
    QPushButton *cmdTextFileDestinationBrowse;
    QLabel *lblTextFileNoOfFiles;
    std::array<QRadioButton *, 2> optTextFileNoOfFiles{};
    QButtonGroup *grpNoOfFiles;
    QLabel *lblTextFileDate;
    std::array<QRadioButton *, 2> optTextFileDate{};
    QButtonGroup *grpDate;
    QCheckBox *chkKovraAutoimport;
    QPushButton *cmdSave;
    QPushButton *cmdClose;

    void EnableDisableApp1Controls(bool enable);
    void EnableDisableApp2Controls(bool enable);
    void LoadTextFilesSettings();
    void LoadKovraSettings();
    void cboDataSource_Click();
    // False when it was refused and nothing was saved.
    bool cmdSave_Click();
    void cmdClose_Click();

    int chosenClock() const { return m_chosenClock; }

private:
    void Form_Load();
    void RememberSettings();
    // Select a stored index; a value no button stands for checks none and is kept as chosen.
    static void showChoice(QButtonGroup *group, int value);
    void switchClockInterface(int from, int to);

    int m_chosenClock = 0;
    int m_chosenDate = 0;
    int m_chosenFiles = 0;
    QString m_dataSourceTag;
    std::array<QString, 4> m_textSourceTag;
    QString m_destinationTag;
    QString m_kovraFileTag;
    QString m_autoImportTag;
};

namespace AppMain {
// Connects the main window's Application Settings to this screen.
void InstallAppSettingsHook();
}
