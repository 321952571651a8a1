#include "platform/files.h"

#include <QFile>

#include <cerrno>

#include <unistd.h>

namespace Platform {

namespace {

int systemUnlink(const char *path)
{
    return ::unlink(path);
}

Remover remover = systemUnlink;

} // namespace

Error FileError(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return Error(ErrorNo::PathNotFound, QStringLiteral("Path not found"));
    case EACCES:
    case EPERM:
    case EROFS:
        return Error(ErrorNo::PermissionDenied, QStringLiteral("Permission denied"));
    case ENOSPC:
        return Error(ErrorNo::DiskFull, QStringLiteral("Disk full"));
    default:
        return Error(ErrorNo::PathFileAccessError, QStringLiteral("Path/File access error"));
    }
}

void setRemover(Remover newRemover)
{
    remover = newRemover ? newRemover : systemUnlink;
}

void RetireFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (remover(name.constData()) == 0 || errno == ENOENT)
        return;
    const int refused = errno;
    // A folder may take writes and refuse deletes: an empty file posts nothing.
    if (::truncate(name.constData(), 0) == 0)
        return;
    const Error error = FileError(refused);
    throw Error(error.number(), QStringLiteral("%1 could not be deleted or emptied: %2").arg(path, error.description()));
}

} // namespace Platform
