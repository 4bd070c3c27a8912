#include "shellopen.h"

#include "winshell.h"

namespace ShellOpen {

Opened openLauncher(const QString& launcherPath)
{
    // As the catalogue gives it.
    const long long process = WinShell::openUtf8Process(launcherPath.toUtf8().toStdString());
    if (process < 0)
        return {Opened::How::Failed, 0, "the shell could not open " + launcherPath};
    return {process > 0 ? Opened::How::Program : Opened::How::Desktop, process, {}};
}

Opened openSteamUri(const QString& uri)
{
    // Explorer hands the URI to the registered handler, the Steam client.
    if (WinShell::openUtf8("explorer.exe", uri.toUtf8().toStdString()) > 32)
        return {Opened::How::Desktop, 0, {}};
    return {Opened::How::Failed, 0, "explorer.exe could not be started for " + uri};
}

} // namespace ShellOpen
