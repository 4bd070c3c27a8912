#include "sharedmemorycore.h"

#include <string>

#include <windows.h>

namespace {

// Block names are ASCII/UTF-8; the mapping API takes UTF-16.
bool toWide(const char* name, std::wstring& out)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
    if (length <= 0)
        return false;
    out.resize(static_cast<std::size_t>(length));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, &out[0], length) <= 0)
        return false;
    out.resize(static_cast<std::size_t>(length - 1));
    return true;
}

// The cause of this thread's most recent failed opening, 0 after a successful one. Kept
// because the thread's last error does not survive the throw: the first C++ exception of a
// thread sets up the runtime's thread-local state, and that clears the last error.
thread_local DWORD t_openingError = ERROR_SUCCESS;

[[noreturn]] void failOpening(int code)
{
    t_openingError = ::GetLastError();
    throw code;
}

void closeKeepingError(HANDLE handle)
{
    const DWORD saved = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(saved);
}

} // namespace

SharedMemoryCore::SharedMemoryCore(const char* name, std::size_t size, bool writable)
    : m_writable(writable)
    , m_mapping(-1)
    , m_size(size)
{
    std::wstring wideName;
    if (!toWide(systemBlockName(name).c_str(), wideName))
        failOpening(-2);
    // An empty name would give a private mapping that no peer can ever find.
    if (!name || !*name) {
        ::SetLastError(ERROR_INVALID_NAME);
        failOpening(-2);
    }

    // Read-write whatever the view will be, so the peer can still write a block we only read.
    HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                          wideName.c_str());
    if (!mapping)
        failOpening(-2);

    void* mapped = ::MapViewOfFile(mapping, writable ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ, 0, 0, size);
    if (!mapped) {
        closeKeepingError(mapping);
        failOpening(-3);
    }
    m_mapping = reinterpret_cast<std::intptr_t>(mapping);
    m_view = mapped;
    t_openingError = ERROR_SUCCESS;
}

SharedMemoryCore::~SharedMemoryCore()
{
    if (m_view)
        ::UnmapViewOfFile(m_view);
    if (m_mapping != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_mapping));
}

// A named mapping keeps the size it was created with; no peer can shrink it.
void* SharedMemoryCore::intactView() const
{
    return m_view;
}

int lastSystemError()
{
    return static_cast<int>(t_openingError != ERROR_SUCCESS ? t_openingError : ::GetLastError());
}

bool removeSharedMemory(const char*)
{
    return true;
}

bool sharedMemoryExists(const char* name)
{
    std::wstring wideName;
    if (!name || !*name || !toWide(systemBlockName(name).c_str(), wideName))
        return false;
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, wideName.c_str());
    if (!mapping)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    ::CloseHandle(mapping);
    return true;
}
