#include "shellopen.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace {

// xdg-open picks the desktop's handler; the target travels as one argument, never through a
// shell, so spaces and quotes in paths are harmless.
void xdgOpen(const QString& target)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

} // namespace

namespace ShellOpen {

void openLauncher(const QString& launcherPath)
{
    const QFileInfo info(launcherPath);
    if (!launcherPath.isEmpty() && info.isFile() && info.isExecutable()) {
        QProcess::startDetached(launcherPath, {});
        return;
    }
    xdgOpen(launcherPath);
}

void openSteamUri(const QString& uri)
{
    xdgOpen(uri);
}

} // namespace ShellOpen
