#pragma once

#include <QString>
#include <QStringList>

// The help file and the maker's web page, opened in the desktop's viewer.
// With a script installed nothing is opened: each request is recorded.
namespace Platform::Help {

inline const QString MakerWebAddress = QStringLiteral("http://www.example.com/kovra/");

// The help file, when present. False when it is missing or the desktop has
// no viewer for it, so the caller can say so.
bool showContents(const QString &helpFile);
bool showSearch(const QString &helpFile);
// False when the desktop has no browser for the address.
bool openWebAddress(const QString &address);
// The desktop's viewer is a program of its own: nothing to tell it.
void quit(const QString &helpFile);

// ---- test script ----
void installScript();
void removeScript();
// Every file or address that would have been opened, in order.
QStringList opened();

} // namespace Platform::Help
