#include "shellopen.h"

#include "winshell.h"

namespace ShellOpen {

qint64 openLauncher(const QString& launcherPath)
{
    // As the catalogue gives it; the result is not examined.
    return WinShell::openUtf8Process(launcherPath.toUtf8().toStdString());
}

void openSteamUri(const QString& uri)
{
    // Explorer hands the URI to the registered handler, the Steam client.
    WinShell::openUtf8("explorer.exe", uri.toUtf8().toStdString());
}

} // namespace ShellOpen
