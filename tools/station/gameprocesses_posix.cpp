#include "gameprocesses.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Command lines and stat lines are short; a bound keeps a strange process from costing much.
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

} // namespace

namespace GameProcesses {

int steamRunningAppId()
{
    const uid_t me = ::getuid();
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : processes) {
        if (pid.isEmpty() || !pid.front().isDigit())
            continue;
        struct stat info {
        };
        const QByteArray path = "/proc/" + pid.toLatin1();
        if (::stat(path.constData(), &info) != 0 || info.st_uid != me)
            continue;
        if (const int id = reaperAppId(readProc(QString::fromLatin1(path) + "/cmdline")))
            return id;
    }
    return 0;
}

qint64 startMark(qint64 pid)
{
    if (pid <= 0)
        return 0;
    // The start time is field 22; the name before it, in parentheses, may hold anything.
    const QByteArray stat = readProc(QString("/proc/%1/stat").arg(pid));
    const int nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return 0;
    const QByteArrayList fields = stat.mid(nameEnd + 2).split(' ');
    // Fields from the third on; a zombie has ended all the same.
    if (fields.size() < 20 || fields[0] == "Z")
        return 0;
    return fields[19].toLongLong();
}

bool running(qint64 pid, qint64 mark)
{
    return mark != 0 && startMark(pid) == mark;
}

} // namespace GameProcesses
