#include "procstat.h"

#include "processstat.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <unistd.h>

namespace ProcStat {

namespace {

// A "<field>:  <n> kB" line of /proc/<pid>/status, in megabytes.
double statusMegabytes(qint64 pid, const QByteArray& field)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace

double residentMegabytes(qint64 pid)
{
    return statusMegabytes(pid, "VmRSS");
}

double privateMegabytes(qint64 pid)
{
    return statusMegabytes(pid, "RssAnon");
}

double cpuMilliseconds(qint64 pid)
{
    ProcessStat::Fields fields;
    if (!ProcessStat::read(pid, &fields))
        return -1;
    return double(fields.userTicks + fields.systemTicks) * 1000.0 / sysconf(_SC_CLK_TCK);
}

} // namespace ProcStat
