// The small procedures every screen calls.
#include "app/AppMain.h"

#include "platform/error.h"
#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace AppMain {

namespace {

// Field-length codes 10-17; 16 and 17 are not the characters after '?'.
constexpr std::array<QChar, 8> kFuncKeyChars = {
    QChar(':'), QChar(';'), QChar('<'), QChar('='), QChar('>'), QChar('?'), QChar(' '), QChar('!'),
};
constexpr int kFirstCharCode = 10;

const char *const kOpenFilters[] = {
    "Download Files (*.dld)|*.dld|Log Files (*.LOG)|*.log|Data Files (*.dat)|*.dat|All Files (*.*)|*.*",
    "Log Files (*.LOG)|*.log|Text Files (*.TXT)|*.txt|Data Files (*.dat)|*.dat|All Files (*.*)|*.*",
    "Access Database (*.mdb)|*.mdb|Text Files (*.txt)|*.txt|Data Files (*.dat)|*.dat|All Files (*.*)|*.*",
    "Text Files (*.TXT)|*.txt|Access Database (*.mdb)|*.mdb|Data Files (*.dat)|*.dat|All Files (*.*)|*.*",
};
constexpr char kSaveFilter[] = "Log Files (*.LOG)|*.log|All Files (*.*)|*.*";
// Hide the read-only box, Explorer style: kept so the open dialog sees them afterwards.
constexpr int kSaveDialogFlags = 0x80004;

QString formatPunchDate(const QString &stamp, int first, int second)
{
    return stamp.mid(first, 2) + QLatin1Char('/') + stamp.mid(second, 2) + QLatin1Char('/') + stamp.mid(0, 2) +
           QLatin1Char(',') + stamp.mid(6, 2) + QLatin1Char(':') + stamp.mid(8, 2);
}

// A file the dialog may hand back: a normal file; a hidden one counts as missing.
bool normalFileExists(const QString &name)
{
    const QFileInfo info(name);
    return info.isFile() && !info.isHidden();
}

// Shows the dialog with its open action; false after a cancel, or after an
// error that has been shown.
bool showDialog(Platform::Ui::FileDialog &dialog)
{
    try {
        dialog.ShowOpen();
        return true;
    } catch (const Platform::Error &e) {
        if (e.number() != Platform::ErrorNo::DialogCancelled) {
            Platform::ActiveError active(e);
            ShowErrorMsg(QString(), e.description());
        }
        return false;
    }
}

} // namespace

int FuncKeyCharToCode(const QString &text)
{
    if (text.size() == 1) {
        for (std::size_t i = 0; i < kFuncKeyChars.size(); ++i) {
            if (kFuncKeyChars[i] == text[0])
                return kFirstCharCode + static_cast<int>(i);
        }
    }
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || std::abs(value) > 32767)
        throw Platform::Error(Platform::ErrorNo::TypeMismatch, QStringLiteral("Type mismatch"));
    return static_cast<int>(std::nearbyint(value));
}

QString FuncKeyCodeToChar(int code)
{
    if (code < kFirstCharCode)
        return QString::number(code);
    if (code < kFirstCharCode + static_cast<int>(kFuncKeyChars.size()))
        return QString(kFuncKeyChars[code - kFirstCharCode]);
    return QString();
}

QString FormatPunchDateUS(const QString &stamp)
{
    return formatPunchDate(stamp, 2, 4);
}

QString FormatPunchDateEU(const QString &stamp)
{
    return formatPunchDate(stamp, 4, 2);
}

QString GetAppPath()
{
    return Platform::appFolder();
}

QString AppFile(const QString &relativeName)
{
    return state().AppPath + Platform::localPath(relativeName);
}

void CenterForm(QWidget *form)
{
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = form->frameGeometry().size();
    form->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void ShowErrorMsg(const QString &code, const QString &text)
{
    Platform::Ui::beep();
    Platform::Ui::msgBox(text, Platform::Ui::Style::OkOnly | Platform::Ui::Style::Critical,
                         QStringLiteral("Kovra Error#: ") + code +
                             QString::number(Platform::currentErrorNumber()));
}

QString BrowseOpenFile(Platform::Ui::FileDialog &dialog, const QString &initDir, const QString &title, int kind)
{
    dialog.DialogTitle = title;
    dialog.InitDir = initDir;
    if (kind >= 1 && kind <= 4)
        dialog.Filter = QString::fromLatin1(kOpenFilters[kind - 1]);
    for (;;) {
        dialog.CancelError = true;
        dialog.FileName.clear();
        if (!showDialog(dialog))
            return QString();
        const QString name = dialog.FileName;
        if (normalFileExists(name))
            return name;
        ShowErrorMsg(QString(), name + QStringLiteral(" not found!"));
    }
}

QString BrowseSaveFile(Platform::Ui::FileDialog &dialog, const QString &title)
{
    dialog.Flags = kSaveDialogFlags;
    dialog.CancelError = true;
    dialog.DialogTitle = title;
    dialog.InitDir = state().AppPath;
    dialog.Filter = QString::fromLatin1(kSaveFilter);
    for (;;) {
        dialog.FileName.clear();
        if (!showDialog(dialog))
            return QString();
        const QString name = dialog.FileName;
        if (!QFileInfo::exists(name))
            return name;
        const auto answer = Platform::Ui::msgBox(QStringLiteral("Replace existing file - ") + name + QLatin1Char('?'),
                                                 Platform::Ui::Style::YesNo | Platform::Ui::Style::Exclamation);
        if (answer == Platform::Ui::Answer::No)
            continue;
        QFile file(name);
        if (!file.remove()) {
            Platform::ActiveError active(Platform::ErrorNo::PermissionDenied, file.errorString());
            ShowErrorMsg(QString(), QStringLiteral("Permission denied: ") + file.errorString());
            return QString();
        }
        return name;
    }
}

QString ExtractPath(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == QLatin1Char('\\') || path[i] == QLatin1Char('/'))
            return path.left(i + 1);
    }
    return QString();
}

double Val(const QString &text)
{
    // Blanks anywhere are skipped, then a sign, digits, one point, an exponent.
    QString compact;
    for (QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            compact.append(c);
    }
    qsizetype end = 0;
    if (end < compact.size() && (compact[end] == QLatin1Char('+') || compact[end] == QLatin1Char('-')))
        ++end;
    qsizetype digits = 0;
    while (end < compact.size() && compact[end].isDigit() && compact[end].unicode() < 0x80) {
        ++end;
        ++digits;
    }
    if (end < compact.size() && compact[end] == QLatin1Char('.')) {
        ++end;
        while (end < compact.size() && compact[end].isDigit() && compact[end].unicode() < 0x80) {
            ++end;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (end < compact.size() && (compact[end] == QLatin1Char('e') || compact[end] == QLatin1Char('E'))) {
        qsizetype exp = end + 1;
        if (exp < compact.size() && (compact[exp] == QLatin1Char('+') || compact[exp] == QLatin1Char('-')))
            ++exp;
        if (exp < compact.size() && compact[exp].isDigit()) {
            while (exp < compact.size() && compact[exp].isDigit())
                ++exp;
            end = exp;
        }
    }
    return compact.left(end).toDouble();
}

bool CBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok)
        throw Platform::Error(Platform::ErrorNo::TypeMismatch, QStringLiteral("Type mismatch"));
    return value != 0;
}

quint8 CByte(double value)
{
    const double rounded = std::nearbyint(value);  // the default rounding is half to even
    if (!(rounded >= 0 && rounded <= 255))
        throw Platform::Error(Platform::ErrorNo::Overflow, QStringLiteral("Overflow"));
    return static_cast<quint8>(rounded);
}

qint16 CInt(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768 && rounded <= 32767))
        throw Platform::Error(Platform::ErrorNo::Overflow, QStringLiteral("Overflow"));
    return static_cast<qint16>(rounded);
}

} // namespace AppMain
