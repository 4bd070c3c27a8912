#include "agentclock.h"

#include <windows.h>

qint64 AgentClock::bootTimeMs() const
{
    // Counts from the start of the machine, a sleep included, whatever the wall clock does.
    return static_cast<qint64>(::GetTickCount64());
}

QString AgentClock::bootId() const
{
    // Windows counts its boots in the registry; the count tells this boot from the others.
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
                       L"BootId", RRF_RT_REG_DWORD, nullptr, &value, &size)
        != ERROR_SUCCESS)
        return {};
    return QString::number(value);
}
