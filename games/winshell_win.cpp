#include "winshell.h"

// windows.h first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

namespace {

bool toWide(const std::string& utf8, std::wstring& out)
{
    out.clear();
    if (utf8.empty())
        return true;
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0)
        return false;
    out.resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &out[0],
                                 length)
           == length;
}

} // namespace

namespace WinShell {

std::intptr_t openUtf8(const std::string& file, const std::string& parameters)
{
    std::wstring wideFile;
    std::wstring wideParameters;
    if (!toWide(file, wideFile) || !toWide(parameters, wideParameters))
        return 0;
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", wideFile.c_str(), wideParameters.empty() ? nullptr : wideParameters.c_str(),
                        nullptr, SW_SHOW);
    return reinterpret_cast<std::intptr_t>(result);
}

long long openUtf8Process(const std::string& file)
{
    std::wstring wideFile;
    if (!toWide(file, wideFile))
        return -1;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = wideFile.c_str();
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info))
        return -1;
    // A document opened in a program that was already running gives no process of its own.
    if (!info.hProcess)
        return 0;
    const DWORD id = ::GetProcessId(info.hProcess);
    ::CloseHandle(info.hProcess);
    return id;
}

} // namespace WinShell
