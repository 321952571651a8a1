#include "platform/winreg.h"

#include "platform/ansi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace Platform::WinReg {

namespace {

QString groupOf(const QString &keyPath)
{
    QString group = keyPath;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group;
}

// QSettings reads what it can and stays silent on a file it cannot; tell the
// two apart before trusting an empty answer.
bool unreadable()
{
    const QString path = iniPath();
    if (!QFileInfo::exists(path))
        return false;
    QFile file(path);
    return !file.open(QIODevice::ReadOnly);
}

bool groupExists(QSettings &ini, const QString &group)
{
    ini.beginGroup(group);
    const bool exists = !ini.allKeys().isEmpty();
    ini.endGroup();
    return exists;
}

} // namespace

QString iniPath()
{
    QString folder = qEnvironmentVariable("TEV_REGISTRY_DIR");
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.config/TEV");
    return QDir(folder).filePath(QStringLiteral("HKLM.ini"));
}

long createKey(const QString &keyPath, bool *created)
{
    if (unreadable()) {
        *created = false;
        return AccessDenied;
    }
    QSettings ini(iniPath(), QSettings::IniFormat);
    *created = !groupExists(ini, groupOf(keyPath));
    return Success;
}

long queryValue(const QString &keyPath, const QString &name, QString *value, int bufferSize)
{
    if (unreadable())
        return AccessDenied;
    QSettings ini(iniPath(), QSettings::IniFormat);
    const QString key = groupOf(keyPath) + QLatin1Char('/') + name;
    if (!ini.contains(key))
        return FileNotFound;
    const QString text = ini.value(key).toString();
    if (!Ansi::canEncode(text) || Ansi::encode(text).size() + 1 > bufferSize)
        return MoreData;
    *value = text;
    return Success;
}

void setValue(const QString &keyPath, const QString &name, const QString &value)
{
    if (unreadable())
        return;
    QDir().mkpath(QFileInfo(iniPath()).absolutePath());
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setValue(groupOf(keyPath) + QLatin1Char('/') + name, value);
    ini.sync();
}

} // namespace Platform::WinReg
