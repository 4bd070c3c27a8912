#pragma once

#include <QString>
#include <QStringList>

// What the broker's folder needs from the system: who owns it, and telling a running broker to
// read its password and ACL files again.
namespace VenuePlatform {

// The name of the user who owns `path`. Empty with no error where the broker takes no user to
// run as (Windows); empty with the reason when the owner has no name.
QString ownerName(const QString& path, QString* error);

// Of `paths`, those that `user` cannot read (a folder: list and enter; with `write` in the list
// of folders to write, write there too), each as "<path>: <reason>". Checked as that user,
// in a child process that becomes it, when we run as root; empty when we are neither root nor
// that user, or where the broker runs as whoever starts it (Windows).
QStringList unreadableFor(const QString& user, const QStringList& paths, const QStringList& writable = {});

enum class Reload { Done, NotRunning, Failed };
// Sends SIGHUP to the process named in `pidFile` when that process exists and is mosquitto;
// NotRunning when there is no such process (a pid file left by a broker that was killed).
Reload reloadBroker(const QString& pidFile, QString* detail);

} // namespace VenuePlatform
