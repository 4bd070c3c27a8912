#include "processcontrol.h"

#include "gameprocesses.h"
#include "processstat.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool mine(qint64 pid)
{
    struct stat info {
    };
    const QByteArray path = "/proc/" + QByteArray::number(pid);
    return ::stat(path.constData(), &info) == 0 && info.st_uid == ::getuid();
}

// Only while it is still the process that was looked at, and not a zombie: a pid the system gave
// to another process meanwhile is never signalled.
bool signal(const ProcessControl::Process& process, int number)
{
    return GameProcesses::running(process.pid, process.mark) && ::kill(static_cast<pid_t>(process.pid), number) == 0;
}

} // namespace

namespace ProcessControl {

std::optional<Process> find(qint64 pid)
{
    ProcessStat::Fields fields;
    if (pid <= 0 || !ProcessStat::read(pid, &fields) || fields.state == 'Z' || !mine(pid))
        return std::nullopt;
    Process process{pid, fields.startTime, fields.parent, fields.group, fields.session, {}};
    process.names << QString::fromLocal8Bit(fields.name);
    const QString program = QFileInfo(QString("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (!program.isEmpty())
        process.names << QFileInfo(program).fileName();
    return process;
}

QList<Process> list()
{
    QList<Process> processes;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (number) {
            if (const auto process = find(pid))
                processes << *process;
        }
    }
    return processes;
}

qint64 self()
{
    return ::getpid();
}

bool askToEnd(const Process& process)
{
    return signal(process, SIGTERM);
}

bool forceEnd(const Process& process)
{
    return signal(process, SIGKILL);
}

} // namespace ProcessControl
