#pragma once

#include <QString>

// The machine's settings hive, kept in HKLM.ini: $TEV_REGISTRY_DIR/HKLM.ini,
// else ~/.config/TEV/HKLM.ini. A key path "Software\Velmor\..." is the group
// "Software/Velmor/...". Results are the Windows error codes the callers test.
namespace Platform::WinReg {

constexpr long Success = 0;
constexpr long FileNotFound = 2;      // the value is not there
constexpr long AccessDenied = 5;      // the file exists but cannot be read
constexpr long MoreData = 234;        // the value is longer than the caller's buffer

QString iniPath();

// Opens the key, creating it when missing; `created` tells which. Creating
// writes nothing by itself: a key exists once it holds a value.
long createKey(const QString &keyPath, bool *created);

// Reads a string value into `value` when it fits in `bufferSize` bytes
// (Windows-1252, counting the terminating null).
long queryValue(const QString &keyPath, const QString &name, QString *value, int bufferSize);

// Writes a string value; a failure is silent, as the callers expect.
void setValue(const QString &keyPath, const QString &name, const QString &value);

} // namespace Platform::WinReg
