#pragma once

#include <QString>

// What the broker's folder needs from the system: who owns it, and telling a running broker to
// read its password and ACL files again.
namespace VenuePlatform {

// The name of the user who owns `path`. Empty with no error where the broker takes no user to
// run as (Windows); empty with the reason when the owner has no name.
QString ownerName(const QString& path, QString* error);

enum class Reload { Done, NotRunning, Failed };
// Sends SIGHUP to the process named in `pidFile` when that process exists and is mosquitto;
// NotRunning when there is no such process (a pid file left by a broker that was killed).
Reload reloadBroker(const QString& pidFile, QString* detail);

} // namespace VenuePlatform
