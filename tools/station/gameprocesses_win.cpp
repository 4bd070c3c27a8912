#include "gameprocesses.h"

#include <windows.h>

namespace GameProcesses {

int steamRunningAppId()
{
    // Steam keeps the app it runs in the user's registry, 0 when none.
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"RunningAppID", RRF_RT_REG_DWORD, nullptr, &value,
                       &size)
        != ERROR_SUCCESS)
        return 0;
    return static_cast<int>(value);
}

qint64 steamGameProcess(int)
{
    // Steam starts the game itself; nothing marks which of its children is the game.
    return 0;
}

qint64 startMark(qint64 pid)
{
    if (pid <= 0)
        return 0;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return 0;
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    DWORD code = 0;
    qint64 mark = 0;
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user) && ::GetExitCodeProcess(process, &code)
        && code == STILL_ACTIVE)
        mark = (static_cast<qint64>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    ::CloseHandle(process);
    return mark;
}

bool running(qint64 pid, qint64 mark)
{
    return mark != 0 && startMark(pid) == mark;
}

} // namespace GameProcesses
