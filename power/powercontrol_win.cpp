#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

#include "powercontrol.h"

#include <windows.h>

namespace {

QString systemError(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString message = text ? QString::fromWCharArray(text).trimmed() : QString("error %1").arg(code);
    LocalFree(text);
    return message;
}

// A process may only shut the machine down with this privilege switched on in its own token.
bool enableShutdownPrivilege(QString* error)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        *error = systemError(GetLastError());
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool found = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    const bool adjusted = found && AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    const DWORD code = GetLastError();
    CloseHandle(token);
    if (!adjusted || code == ERROR_NOT_ALL_ASSIGNED) {
        *error = "no right to shut the machine down: " + systemError(code);
        return false;
    }
    return true;
}

class WindowsPowerControl : public PowerControl
{
public:
    void powerOff(const Answer& answer) override { shutDown(false, answer); }
    void restart(const Answer& answer) override { shutDown(true, answer); }

private:
    static void shutDown(bool restart, const Answer& answer)
    {
        QString error;
        if (!enableShutdownPrivilege(&error)) {
            answer({false, error});
            return;
        }
        const DWORD reason = SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;
        const DWORD flags = (restart ? SHUTDOWN_RESTART : SHUTDOWN_POWEROFF) | SHUTDOWN_FORCE_OTHERS;
        DWORD code = InitiateShutdownW(nullptr, nullptr, 0, flags, reason);
        // Older systems without it: the classic call, which ends this session too.
        if (code != ERROR_SUCCESS && !ExitWindowsEx((restart ? EWX_REBOOT : EWX_POWEROFF) | EWX_FORCEIFHUNG, reason))
            code = GetLastError();
        else
            code = ERROR_SUCCESS;
        answer(code == ERROR_SUCCESS ? Outcome{true, {}} : Outcome{false, systemError(code)});
    }
};

} // namespace

std::unique_ptr<PowerControl> systemPowerControl()
{
    return std::make_unique<WindowsPowerControl>();
}
