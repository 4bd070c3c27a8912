#pragma once

#include <QString>

// The platform's "open" action, as a double-click in the file manager would do it. Whether the
// game then really runs is not observable here; only whether the request was taken.
namespace ShellOpen {

struct Opened {
    // A program started (its process), the request handed to the desktop's opener (which may
    // still fail on its own), or nothing started at all (`error` says why).
    enum class How { Program, Desktop, Failed } how = How::Desktop;
    qint64 process = 0;
    QString error;
};

// A native game's launcher: a program, or any file or address the desktop can open.
Opened openLauncher(const QString& launcherPath);

// A Steam game, handed to whatever handles the steam:// scheme.
Opened openSteamUri(const QString& uri);

} // namespace ShellOpen
