#pragma once

#include <QString>

namespace Platform {

// The application folder with a trailing '/': $TEV_HOME when set, else the
// folder of the executable.
QString appFolder();

// A file name written the Windows way (backslashes, the data folder spelt
// DATA, Data or data) as a path here: separators become '/' and the data
// folder is always "Data". Nothing else of the name changes.
QString localPath(const QString &windowsName);

} // namespace Platform
