#pragma once

#include <QString>

// The platform's "open" action, as a double-click in the file manager would do it.
// Fire and forget: whether the game really starts is not observable here.
namespace ShellOpen {

// A native game's launcher: a program, or any file or address the desktop can open. Returns the
// process started when it was started as a program, else 0.
qint64 openLauncher(const QString& launcherPath);

// A Steam game, handed to whatever handles the steam:// scheme.
void openSteamUri(const QString& uri);

} // namespace ShellOpen
