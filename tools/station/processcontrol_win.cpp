#include "processcontrol.h"

#include "gameprocesses.h"

#include <windows.h>

#include <tlhelp32.h>

#include <memory>
#include <vector>

namespace {

struct Handle {
    HANDLE handle;
    explicit Handle(HANDLE h)
        : handle(h)
    {}
    ~Handle()
    {
        if (handle && handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    explicit operator bool() const { return handle && handle != INVALID_HANDLE_VALUE; }
};

// The user a process runs as; empty when it cannot be told.
std::vector<BYTE> userOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    const Handle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return {};
    return buffer;
}

bool mine(DWORD pid)
{
    static const std::vector<BYTE> me = userOf(::GetCurrentProcess());
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process || me.empty())
        return false;
    const std::vector<BYTE> user = userOf(process.handle);
    return !user.empty()
           && ::EqualSid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                         reinterpret_cast<const TOKEN_USER*>(me.data())->User.Sid);
}

struct CloseRequest {
    DWORD pid;
    bool sent;
};

BOOL CALLBACK closeWindow(HWND window, LPARAM data)
{
    auto* request = reinterpret_cast<CloseRequest*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == request->pid && ::IsWindowVisible(window) && ::PostMessageW(window, WM_CLOSE, 0, 0))
        request->sent = true;
    return TRUE;
}

} // namespace

namespace ProcessControl {

QList<Process> list()
{
    QList<Process> processes;
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.handle, &entry); more;
         more = ::Process32NextW(snapshot.handle, &entry)) {
        const qint64 mark = GameProcesses::startMark(entry.th32ProcessID);
        if (mark == 0 || !mine(entry.th32ProcessID))
            continue;
        processes << Process{
            entry.th32ProcessID, mark, entry.th32ParentProcessID, 0, 0, {QString::fromWCharArray(entry.szExeFile)}};
    }
    return processes;
}

std::optional<Process> find(qint64 pid)
{
    for (const Process& process : list())
        if (process.pid == pid)
            return process;
    return std::nullopt;
}

qint64 self()
{
    return ::GetCurrentProcessId();
}

bool askToEnd(const Process& process)
{
    // A game closes as its window's close button would close it.
    if (!GameProcesses::running(process.pid, process.mark))
        return false;
    CloseRequest request{static_cast<DWORD>(process.pid), false};
    ::EnumWindows(closeWindow, reinterpret_cast<LPARAM>(&request));
    return request.sent;
}

bool forceEnd(const Process& process)
{
    const Handle handle(::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(process.pid)));
    return handle && GameProcesses::running(process.pid, process.mark) && ::TerminateProcess(handle.handle, 1);
}

} // namespace ProcessControl
