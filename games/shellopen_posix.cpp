#include "shellopen.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace {

using ShellOpen::Opened;

// Started on its own, so that the game outlives whoever asked for it.
Opened start(const QString& program, const QStringList& arguments, Opened::How how)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    qint64 id = 0;
    if (process.startDetached(&id))
        return {how, how == Opened::How::Program ? id : 0, {}};
    return {Opened::How::Failed, 0, program + " could not be started: " + process.errorString()};
}

} // namespace

namespace ShellOpen {

Opened openLauncher(const QString& launcherPath)
{
    const QFileInfo info(launcherPath);
    if (!launcherPath.isEmpty() && info.isFile() && info.isExecutable())
        return start(launcherPath, {}, Opened::How::Program);
    // xdg-open picks the desktop's handler; the target travels as one argument, never through a
    // shell, so spaces and quotes in paths are harmless.
    return start(QStringLiteral("xdg-open"), {launcherPath}, Opened::How::Desktop);
}

Opened openSteamUri(const QString& uri)
{
    return start(QStringLiteral("xdg-open"), {uri}, Opened::How::Desktop);
}

} // namespace ShellOpen
