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

qint64 openLauncher(const QString& launcherPath)
{
    const QFileInfo info(launcherPath);
    if (!launcherPath.isEmpty() && info.isFile() && info.isExecutable()) {
        qint64 process = 0;
        if (QProcess::startDetached(launcherPath, {}, QString(), &process))
            return process;
        return 0;
    }
    xdgOpen(launcherPath);
    return 0;
}

void openSteamUri(const QString& uri)
{
    xdgOpen(uri);
}

} // namespace ShellOpen
