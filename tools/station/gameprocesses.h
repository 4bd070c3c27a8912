#pragma once

#include <QtGlobal>

// What runs on the station now, as the operating system tells it. Only the user's own processes
// are looked at. Each answer is a hint: a stale value, or a game started outside Steam, must break
// nothing.
namespace GameProcesses {

// The Steam app that Steam runs now, 0 for none.
int steamRunningAppId();

// Steam's own process for the game with this app id (on Linux its "reaper", under which the game
// runs), 0 when there is none or it cannot be told (Windows).
qint64 steamGameProcess(int appId);

// A mark of the process as it started (its start time), so that a later look does not take
// another process that got the same id for the game; 0 when there is no such process.
qint64 startMark(qint64 pid);
bool running(qint64 pid, qint64 mark);

} // namespace GameProcesses
