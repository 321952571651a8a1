#pragma once

#include "platform/error.h"

#include <QString>

// Files whose records the program has used up.
namespace Platform {

// An errno of a failed file operation as the program's file error: 76 "Path
// not found", 70 "Permission denied", 61 "Disk full", else 75.
Error FileError(int err);

// The unlink(2) that RetireFile goes through; tests put their own in (a
// folder that refuses deletes even when they run as root). nullptr restores
// the system's.
using Remover = int (*)(const char *path);
void setRemover(Remover remover);

// Ends a file whose records have been posted (or are not to be): deleted,
// or, where the folder refuses that, emptied, so that nothing reads them
// again. A missing file is gone already. Throws FileError, the file named,
// when it can do neither.
void RetireFile(const QString &path);

} // namespace Platform
