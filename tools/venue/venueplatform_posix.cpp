#include "venueplatform.h"

#include "processstat.h"

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// What the user needs of each path, as access() takes it.
std::vector<int> modesOf(const QStringList& paths, const QStringList& writable)
{
    std::vector<int> modes;
    for (const QString& path : paths) {
        struct stat info = {};
        const bool folder = ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
        modes.push_back(R_OK | (folder ? X_OK : 0) | (writable.contains(path) ? W_OK | X_OK : 0));
    }
    return modes;
}

// One byte per path, the errno access() gave as the user (0: it may), from a child that
// became the user: exactly what the system lets that user do, groups and ACLs included.
std::vector<int> accessAs(const struct passwd& user, const std::vector<QByteArray>& paths,
                          const std::vector<int>& modes)
{
    int groupCount = 64;
    std::vector<gid_t> groups(groupCount);
    if (::getgrouplist(user.pw_name, user.pw_gid, groups.data(), &groupCount) < 0)
        groupCount = 0;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::setgroups(static_cast<size_t>(groupCount), groups.data()) != 0 || ::setgid(user.pw_gid) != 0
            || ::setuid(user.pw_uid) != 0)
            ::_exit(1);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const unsigned char reason = ::access(paths[i].constData(), modes[i]) == 0 ? 0 : (errno & 0xff);
            if (::write(pipeEnds[1], &reason, 1) != 1)
                ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::vector<int> reasons;
    unsigned char reason = 0;
    while (child > 0 && reasons.size() < paths.size() && ::read(pipeEnds[0], &reason, 1) == 1)
        reasons.push_back(reason);
    ::close(pipeEnds[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return reasons.size() == paths.size() ? reasons : std::vector<int>();
}

} // namespace

QStringList VenuePlatform::unreadableFor(const QString& userName, const QStringList& paths, const QStringList& writable)
{
    const struct passwd* found = ::getpwnam(userName.toLocal8Bit().constData());
    if (!found || found->pw_uid == 0 || (::geteuid() != 0 && ::geteuid() != found->pw_uid))
        return {};
    const struct passwd user = *found;
    const std::vector<int> modes = modesOf(paths, writable);
    std::vector<QByteArray> encoded;
    for (const QString& path : paths)
        encoded.push_back(QFile::encodeName(path));
    std::vector<int> reasons;
    if (::geteuid() == user.pw_uid) {
        for (std::size_t i = 0; i < encoded.size(); ++i)
            reasons.push_back(::access(encoded[i].constData(), modes[i]) == 0 ? 0 : errno);
    } else {
        reasons = accessAs(user, encoded, modes);
    }
    QStringList problems;
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        if (reasons[i] != 0)
            problems << paths[int(i)] + ": " + qt_error_string(reasons[i]);
    }
    return problems;
}

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
    ProcessStat::Fields fields;
    if (ProcessStat::read(pid, &fields) && fields.state == 'Z')
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
