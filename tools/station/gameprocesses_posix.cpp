#include "gameprocesses.h"

#include "processstat.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QHash>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Command lines are short; a bound keeps a strange process from costing much.
constexpr qint64 kMaxRead = 16 * 1024;

QByteArray readProc(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxRead);
}

// Steam starts every game under its "reaper", whose command line holds "SteamLaunch" and
// "AppId=<id>".
int reaperAppId(const QByteArray& commandLine)
{
    const QByteArrayList arguments = commandLine.split('\0');
    if (!arguments.contains("SteamLaunch"))
        return 0;
    for (const QByteArray& argument : arguments) {
        if (argument.startsWith("AppId=")) {
            bool ok = false;
            const int id = argument.mid(6).toInt(&ok);
            if (ok && id > 0)
                return id;
        }
    }
    return 0;
}

struct SteamProcess {
    qint64 pid = 0;
    int appId = 0;
};

// The first of the user's processes, in /proc's order, that runs the Steam app `appId` (any, for
// 0). What each process is does not change while it runs (a process that execs anew gets a new
// change time on its folder), so only new processes are read: the agent looks every few seconds
// and must cost next to nothing while idle.
SteamProcess firstSteamProcess(int appId)
{
    struct Seen {
        qint64 changed;
        int appId;
    };
    static QHash<qint64, Seen> seen;
    QHash<qint64, Seen> now;
    const uid_t me = ::getuid();
    SteamProcess found;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : processes) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        struct stat info {
        };
        const QByteArray path = "/proc/" + name.toLatin1();
        if (!number || ::stat(path.constData(), &info) != 0 || info.st_uid != me)
            continue;
        const qint64 changed = info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec;
        const auto known = seen.constFind(pid);
        const int runs = known != seen.cend() && known->changed == changed
                             ? known->appId
                             : reaperAppId(readProc(QString::fromLatin1(path) + "/cmdline"));
        now.insert(pid, {changed, runs});
        if (runs && !found.pid && (appId == 0 || runs == appId))
            found = {pid, runs};
    }
    seen.swap(now);
    return found;
}

} // namespace

namespace GameProcesses {

int steamRunningAppId()
{
    return firstSteamProcess(0).appId;
}

qint64 steamGameProcess(int appId)
{
    return appId > 0 ? firstSteamProcess(appId).pid : 0;
}

qint64 startMark(qint64 pid)
{
    ProcessStat::Fields fields;
    // A zombie has ended all the same.
    if (!ProcessStat::read(pid, &fields) || fields.state == 'Z')
        return 0;
    return fields.startTime;
}

bool running(qint64 pid, qint64 mark)
{
    return mark != 0 && startMark(pid) == mark;
}

} // namespace GameProcesses
