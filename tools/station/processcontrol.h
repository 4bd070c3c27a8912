#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// This user's processes as the system lists them, and the two ways the agent ends one: asked
// (SIGTERM; on Windows a close request to its windows) and forced (SIGKILL; TerminateProcess).
// Which process may be ended is decided by GameEnder, never here.
namespace ProcessControl {

struct Process {
    qint64 pid = 0;
    qint64 mark = 0; // when it started (GameProcesses::startMark): the pid and this are one process
    qint64 parent = 0;
    qint64 group = 0; // Linux: its process group and session; 0 elsewhere
    qint64 session = 0;
    QStringList names; // what it is called: its command name, its program's file name
};

// This user's live processes.
QList<Process> list();
std::optional<Process> find(qint64 pid);
qint64 self();
// False when the system refused or the process is gone.
bool askToEnd(const Process& process);
bool forceEnd(const Process& process);

} // namespace ProcessControl
