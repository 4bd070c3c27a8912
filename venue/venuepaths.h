#pragma once

#include <QString>

// The per-user folders of the venue's programs. Linux: the XDG folders ($XDG_CONFIG_HOME,
// $XDG_DATA_HOME, $XDG_STATE_HOME or their defaults below the home folder); Windows: the user's
// local application data. Each ends in "nerqvrplatform".
namespace VenuePaths {

// station.conf, console.conf
QString configFolder();
// The catalogue folder the program's launcher runs it in.
QString dataFolder();
// What the agent keeps for itself: the commands it has carried out.
QString stateFolder();
// What QLocalServer listens on and QLocalSocket connects to for this user: Linux, a socket file
// <base>.sock in the user's runtime folder ($XDG_RUNTIME_DIR); Windows, the pipe <base>-<user>.
QString localServerName(const QString& base);

} // namespace VenuePaths
