#include "shellopen.h"

// windows.h first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

namespace ShellOpen {

void openLauncher(const QString& launcherPath)
{
    // The narrow call receives the UTF-8 bytes unchanged, as the catalogue gives them.
    const QByteArray file = launcherPath.toUtf8();
    ShellExecuteA(nullptr, "open", file.constData(), nullptr, nullptr, SW_SHOW);
}

void openSteamUri(const QString& uri)
{
    // Explorer hands the URI to the registered handler, the Steam client.
    const QByteArray parameters = uri.toUtf8();
    ShellExecuteA(nullptr, "open", "explorer.exe", parameters.constData(), nullptr, SW_SHOW);
}

} // namespace ShellOpen
