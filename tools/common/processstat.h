#pragma once

#include <QByteArray>
#include <QtGlobal>

// What Linux's /proc/<pid>/stat says of a process. The command name in it, in parentheses, may
// hold anything, spaces and parentheses included; the fields are counted from its end.
namespace ProcessStat {

struct Fields {
    QByteArray name; // the command name, at most 15 bytes
    char state = 0;  // 'R', 'S', ..., 'Z' for a process that ended and was not reaped
    qint64 parent = 0;
    qint64 group = 0; // its process group
    qint64 session = 0;
    qint64 userTicks = 0; // CPU time so far, in clock ticks
    qint64 systemTicks = 0;
    qint64 startTime = 0; // clock ticks after boot: with the pid, marks one process
};

// False when there is no such process or its line cannot be read.
bool read(qint64 pid, Fields* fields);

} // namespace ProcessStat
