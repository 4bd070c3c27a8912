#include "fileplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <io.h>
#include <windows.h>

bool FilePlatform::sync(QFile& file, QString* error)
{
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))))
        return true;
    *error = qt_error_string(static_cast<int>(GetLastError()));
    return false;
}

bool FilePlatform::settle(QFile& file, const QString& like, const QString&, int, QString* error)
{
    // Windows files inherit their folder's access rules; only the read-only flag travels.
    if (!QFileInfo::exists(like) || file.setPermissions(QFile(like).permissions()))
        return true;
    *error = file.errorString();
    return false;
}

bool FilePlatform::settleFolder(const QString&, const QString&, QString*)
{
    return true;
}

bool FilePlatform::replace(const QString& from, const QString& to, QString* error)
{
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = qt_error_string(static_cast<int>(GetLastError()));
    return false;
}

bool FilePlatform::ownerOfMayRead(const QString&, const QString&)
{
    return true;
}
