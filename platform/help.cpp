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

void open(const QUrl &url)
{
    if (script().on) {
        script().opened << url.toString();
        return;
    }
    QDesktopServices::openUrl(url);
}

void openHelpFile(const QString &helpFile)
{
    if (QFileInfo(helpFile).isFile())
        open(QUrl::fromLocalFile(helpFile));
}

} // namespace

void showContents(const QString &helpFile)
{
    openHelpFile(helpFile);
}

// The viewer has no search of its own to start; the file opens on its first page.
void showSearch(const QString &helpFile)
{
    openHelpFile(helpFile);
}

void openWebAddress(const QString &address)
{
    open(QUrl(address));
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
