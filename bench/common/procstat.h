#pragma once

#include <QtGlobal>

// What /proc tells about another process; negative when it cannot be read.
namespace ProcStat {
double residentMegabytes(qint64 pid);
// Resident memory of its own (anonymous): without the shared libraries' pages.
double privateMegabytes(qint64 pid);
double cpuMilliseconds(qint64 pid); // user + system time so far
} // namespace ProcStat
