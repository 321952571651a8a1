#include "platform/help.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace Platform::Help {

namespace {

struct Script {
    bool on = false;
    QStringList opened;
};

Script &script()
{
    static Script s;
    return s;
}

bool open(const QUrl &url)
{
    if (script().on) {
        script().opened << url.toString();
        return true;
    }
    return QDesktopServices::openUrl(url);
}

bool openHelpFile(const QString &helpFile)
{
    return QFileInfo(helpFile).isFile() && open(QUrl::fromLocalFile(helpFile));
}

} // namespace

bool showContents(const QString &helpFile)
{
    return openHelpFile(helpFile);
}

// The viewer has no search of its own to start; the file opens on its first page.
bool showSearch(const QString &helpFile)
{
    return openHelpFile(helpFile);
}

bool openWebAddress(const QString &address)
{
    return open(QUrl(address));
}

void quit(const QString &)
{
}

void installScript()
{
    script() = Script{};
    script().on = true;
}

void removeScript()
{
    script() = Script{};
}

QStringList opened()
{
    return script().opened;
}

} // namespace Platform::Help
