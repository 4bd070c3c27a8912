#include "processstat.h"

#include <QByteArrayList>
#include <QFile>
#include <QString>

namespace ProcessStat {

bool read(qint64 pid, Fields* fields)
{
    if (pid <= 0)
        return false;
    QFile file(QString("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A stat line is short; the bound keeps a strange process from costing much.
    const QByteArray line = file.read(16 * 1024);
    const int nameStart = line.indexOf('(');
    const int nameEnd = line.lastIndexOf(')');
    if (nameStart < 0 || nameEnd < nameStart)
        return false;
    // From the third field, the state, on.
    const QByteArrayList after = line.mid(nameEnd + 2).split(' ');
    if (after.size() < 20 || after[0].size() != 1)
        return false;
    fields->name = line.mid(nameStart + 1, nameEnd - nameStart - 1);
    fields->state = after[0].at(0);
    fields->parent = after[1].toLongLong();
    fields->group = after[2].toLongLong();
    fields->session = after[3].toLongLong();
    fields->userTicks = after[11].toLongLong();
    fields->systemTicks = after[12].toLongLong();
    fields->startTime = after[19].toLongLong();
    return true;
}

} // namespace ProcessStat
