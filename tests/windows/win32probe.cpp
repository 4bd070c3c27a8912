#include "win32probe.h"

#include "checks.h"

#include <cstdio>
#include <cstring>

namespace Win32Probe {
namespace {

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end()); // names and arguments here are ASCII
}

std::string bytesFromHex(const std::string& hexBytes)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hexBytes.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hexBytes.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::string uniqueName(const char* tag)
{
    return "nerq-wintest-" + std::to_string(::GetCurrentProcessId()) + "-" + tag;
}

HANDLE createBlock(const std::string& name, DWORD size)
{
    return ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, wide(name).c_str());
}

bool blockExists(const std::string& name)
{
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, wide(name).c_str());
    if (!mapping)
        return false;
    ::CloseHandle(mapping);
    return true;
}

std::string rawHex(const std::string& name, std::size_t size)
{
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, wide(name).c_str());
    if (!mapping)
        return {};
    std::string text;
    if (void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size)) {
        text = Checks::hex(view, size);
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    return text;
}

bool writeRaw(const std::string& name, const std::string& hexBytes)
{
    const std::string bytes = bytesFromHex(hexBytes);
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, wide(name).c_str());
    if (!mapping)
        return false;
    void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes.size());
    if (view) {
        std::memcpy(view, bytes.data(), bytes.size());
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    return view != nullptr;
}

int mappedViewCount()
{
    int count = 0;
    MEMORY_BASIC_INFORMATION info{};
    const char* address = nullptr;
    while (::VirtualQuery(address, &info, sizeof(info)) == sizeof(info)) {
        if (info.State != MEM_FREE && info.Type == MEM_MAPPED && info.BaseAddress == info.AllocationBase)
            ++count;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return count;
}

int runChild(const std::vector<std::string>& arguments)
{
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return -1;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --child";
    for (const std::string& argument : arguments)
        commandLine += L" \"" + wide(argument) + L"\"";

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    ::CloseHandle(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0
        || !::GetExitCodeProcess(process.hProcess, &exitCode)) {
        ::TerminateProcess(process.hProcess, 1);
        exitCode = static_cast<DWORD>(-1);
    }
    ::CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

int runRawChildCommand(int argc, char** argv)
{
    if (argc != 3)
        return -1;
    const std::string command = argv[0];
    const std::string name = argv[1];
    const std::string hexBytes = argv[2];
    if (command == "expect") {
        const std::string seen = rawHex(name, hexBytes.size() / 2);
        if (seen == hexBytes)
            return 0;
        std::printf("child saw \"%s\", expected \"%s\"\n", seen.c_str(), hexBytes.c_str());
        return 2;
    }
    if (command == "write")
        return writeRaw(name, hexBytes) ? 0 : 2;
    return -1;
}

} // namespace Win32Probe
