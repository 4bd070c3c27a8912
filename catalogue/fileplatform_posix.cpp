#include "fileplatform.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool statOf(const QString& path, struct stat* info)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), info) == 0;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool FilePlatform::sync(QFile& file, QString* error)
{
    if (::fsync(file.handle()) == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
}

bool FilePlatform::settle(QFile& file, const QString& like, const QString& folder, int newMode, QString* error)
{
    struct stat info = {};
    const bool hasLike = statOf(like, &info);
    if (!hasLike && !statOf(folder, &info))
        return true;
    const mode_t mode = hasLike ? info.st_mode & 07777 : newMode >= 0 ? mode_t(newMode) : newFileMode();
    if (::fchmod(file.handle(), mode) == 0
        && (::geteuid() != 0 || ::fchown(file.handle(), info.st_uid, info.st_gid) == 0))
        return true;
    *error = qt_error_string(errno);
    return false;
}

bool FilePlatform::settleFolder(const QString& folder, const QString& parent, QString* error)
{
    struct stat info = {};
    if (::geteuid() != 0 || !statOf(parent, &info)
        || ::chown(QFile::encodeName(folder).constData(), info.st_uid, info.st_gid) == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
}

bool FilePlatform::replace(const QString& from, const QString& to, QString* error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
}

bool FilePlatform::ownerOfMayRead(const QString& folder, const QString& file)
{
    struct stat owner = {};
    struct stat info = {};
    if (::geteuid() != 0)
        return true; // the system itself checks an ordinary user's reads
    if (!statOf(folder, &owner) || !statOf(file, &info))
        return false;
    if (owner.st_uid == 0)
        return true;
    if (info.st_uid == owner.st_uid)
        return (info.st_mode & S_IRUSR) != 0;
    if (info.st_gid == owner.st_gid)
        return (info.st_mode & S_IRGRP) != 0;
    return (info.st_mode & S_IROTH) != 0;
}
