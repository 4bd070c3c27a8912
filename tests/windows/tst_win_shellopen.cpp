// A native game's launcher in a folder whose name the system's ANSI code page cannot spell
// (Chinese on a Chinese system as well: the catalogue's text is UTF-8, not code page 936) is
// started by the shell. Run with a Chinese ANSI code page (936); the launcher is a copy of this
// program, which, started under the name start.exe, leaves a file "started" beside itself.
#include "checks.h"

#include <winshell.h>

#include <string>

#include <windows.h>

#include <shellapi.h>

namespace {

const char* const launcherName = "start.exe";

std::wstring wide(const std::string& utf8)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], length);
    out.resize(out.size() - 1);
    return out;
}

std::wstring ownPath()
{
    wchar_t path[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, path, sizeof(path) / sizeof(path[0]));
    return path;
}

std::wstring folderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

bool startedAsLauncher()
{
    const std::wstring self = ownPath();
    return self.size() > 10 && self.compare(self.size() - 10, 10, L"\\start.exe") == 0;
}

// A fresh folder below the temporary folder, given in UTF-8, holding a copy of this program
// as start.exe. Returns the launcher's path in UTF-8, or empty on failure.
std::string makeLauncher(const std::string& folders)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::string utf8Dir(MAX_PATH * 4, '\0');
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, temp, -1, &utf8Dir[0], static_cast<int>(utf8Dir.size()), nullptr, nullptr);
    utf8Dir.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    std::string path = utf8Dir + folders + std::to_string(::GetCurrentProcessId());
    for (std::size_t slash = utf8Dir.size(); (slash = path.find('\\', slash + 1)) != std::string::npos;)
        ::CreateDirectoryW(wide(path.substr(0, slash)).c_str(), nullptr);
    ::CreateDirectoryW(wide(path).c_str(), nullptr);
    path += std::string("\\") + launcherName;
    ::DeleteFileW((folderOf(wide(path)) + L"\\started").c_str());
    if (!::CopyFileW(ownPath().c_str(), wide(path).c_str(), FALSE))
        return {};
    return path;
}

// Whether the launcher has run, waiting up to the given time for it.
bool launcherStarted(const std::string& launcher, DWORD waitMs)
{
    const std::wstring marker = folderOf(wide(launcher)) + L"\\started";
    for (DWORD waited = 0;; waited += 100) {
        if (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        if (waited >= waitMs)
            return false;
        ::Sleep(100);
    }
}

} // namespace

CHECK_CASE(runsWithAChineseAnsiCodePage)
{
    CHECK_EQUAL(static_cast<unsigned>(::GetACP()), 936u);
}

CHECK_CASE(launcherInAFolderWithChineseCharactersIsStarted)
{
    const std::string launcher = makeLauncher("\\nerq \xe6\xb8\xb8\xe6\x88\x8f\\\xe6\x98\x9f\xe9\x99\x85 ");
    CHECK(!launcher.empty());
    CHECK(WinShell::openUtf8(launcher) > 32);
    CHECK(launcherStarted(launcher, 15000));
}

CHECK_CASE(launcherInAFolderWithSpacesIsStarted)
{
    const std::string launcher = makeLauncher("\\nerq games\\star run ");
    CHECK(!launcher.empty());
    CHECK(WinShell::openUtf8(launcher) > 32);
    CHECK(launcherStarted(launcher, 15000));
}

// What the narrow call made of the same path: its UTF-8 bytes read as code page 936 name a
// file that does not exist, so nothing starts.
CHECK_CASE(narrowCallCannotStartTheSameLauncher)
{
    const std::string launcher = makeLauncher("\\nerq \xe6\xb8\xb8\xe6\x88\x8f\\\xe6\x98\x9f\xe9\x99\x85 ");
    CHECK(!launcher.empty());
    const auto result =
        reinterpret_cast<std::intptr_t>(::ShellExecuteA(nullptr, "open", launcher.c_str(), nullptr, nullptr, SW_SHOW));
    CHECK(result <= 32);
    CHECK(!launcherStarted(launcher, 2000));
}

int main(int argc, char** argv)
{
    if (startedAsLauncher()) {
        const HANDLE marker = ::CreateFileW((folderOf(ownPath()) + L"\\started").c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ::CloseHandle(marker);
        return 0;
    }
    return Checks::runCases(argc, argv);
}
