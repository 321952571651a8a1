#include "app/Registry.h"

#include "app/AppMain.h"
#include "platform/winreg.h"

namespace Registry {

namespace {

// Values longer than this (with their terminating null) are not read.
constexpr int kReadBufferBytes = 255;

struct RegErrorText {
    long code;
    const char *shown;
    const char *message;
};

constexpr RegErrorText kRegErrors[] = {
    {1009, "900", "Corrupt Registry Database!"},
    {1011, "902", "Cannot Open Key."},
    {1013, "903", "Cannot Write Key."},
    {5, "904", "Acces to Registry Denied."},
    {14, "905", "Out of memory."},
    {87, "906", "Invalid Parameter"},
};

} // namespace

QString ReadWinRegValue(const QString &productKey, const QString &section, const QString &valueName,
                        const QString &defaultValue)
{
    const qsizetype split = productKey.indexOf(QLatin1Char('\\'));
    const QString product = productKey.left(split);
    const QString version = split < 0 ? QString() : productKey.mid(split + 1);
    const QString keyPath = QStringLiteral("Software\\Velmor\\%1\\%2\\%3").arg(product, version, section);

    bool created = false;
    Platform::WinReg::createKey(keyPath, &created);
    if (created) {
        Platform::WinReg::setValue(keyPath, valueName, defaultValue);
        return defaultValue;
    }
    QString value;
    const long code = Platform::WinReg::queryValue(keyPath, valueName, &value, kReadBufferBytes);
    if (code != Platform::WinReg::Success) {
        ShowWinRegError(code);
        return defaultValue;
    }
    return value.isEmpty() ? defaultValue : value;
}

void ShowWinRegError(long errorCode)
{
    for (const RegErrorText &e : kRegErrors) {
        if (e.code == errorCode) {
            AppMain::ShowErrorMsg(QString::fromLatin1(e.shown), QString::fromLatin1(e.message));
            return;
        }
    }
}

} // namespace Registry
