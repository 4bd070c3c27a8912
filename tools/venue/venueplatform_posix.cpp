#include "venueplatform.h"

#include <QFile>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

QString VenuePlatform::ownerName(const QString& path, QString* error)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        const int reason = errno;
        *error = path + ": " + qt_error_string(reason);
        return QString();
    }
    const struct passwd* user = ::getpwuid(info.st_uid);
    if (!user) {
        *error =
            QString("%1 belongs to user id %2, which has no name for the broker to run as").arg(path).arg(info.st_uid);
        return QString();
    }
    return QString::fromLocal8Bit(user->pw_name);
}

VenuePlatform::Reload VenuePlatform::reloadBroker(const QString& pidFile, QString* detail)
{
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return Reload::NotRunning;
    bool ok = false;
    const qint64 pid = file.read(32).trimmed().toLongLong(&ok);
    if (!ok || pid <= 1)
        return Reload::NotRunning;
    // A pid file outlives a broker that was killed, and its number may belong to another
    // process by now: only a mosquitto gets the signal.
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly) || comm.read(64).trimmed() != "mosquitto")
        return Reload::NotRunning;
    // A broker that died and was not reaped yet (a zombie, state Z) takes the signal and does nothing.
    QFile stat(QString("/proc/%1/stat").arg(pid));
    const QByteArray fields = stat.open(QIODevice::ReadOnly) ? stat.read(512) : QByteArray();
    if (fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z")
        return Reload::NotRunning;
    if (::kill(static_cast<pid_t>(pid), SIGHUP) == 0) {
        *detail = QString("process %1").arg(pid);
        return Reload::Done;
    }
    const int reason = errno;
    if (reason == ESRCH)
        return Reload::NotRunning;
    *detail = QString("cannot signal the broker (process %1): %2").arg(pid).arg(qt_error_string(reason));
    return Reload::Failed;
}
