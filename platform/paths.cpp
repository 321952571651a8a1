#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace Platform {

QString appFolder()
{
    QString folder = qEnvironmentVariable("TEV_HOME");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString localPath(const QString &windowsName)
{
    QString path = windowsName;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts = path.split(QLatin1Char('/'));
    // Only folder parts: a file that happens to be called "data" keeps its name.
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
            parts[i] = QStringLiteral("Data");
    }
    return parts.join(QLatin1Char('/'));
}

} // namespace Platform
