#include "filelock.h"

#include <cstdio>
#include <windows.h>

namespace vrsim {

FileLock::~FileLock()
{
    release();
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_handle(other.m_handle)
{
    other.m_handle = nullptr;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

FileLock::Result FileLock::acquire(const std::string& path, bool wait)
{
    release();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vrsim: cannot open lock file \"%s\": error %lu\n", path.c_str(), GetLastError());
        return Result::Failed;
    }
    // The system releases the region when the handle closes, including at process end.
    OVERLAPPED overlapped = {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!LockFileEx(file, flags, 0, 1, 0, &overlapped)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        if (error == ERROR_LOCK_VIOLATION)
            return Result::Busy;
        std::fprintf(stderr, "vrsim: cannot lock \"%s\": error %lu\n", path.c_str(), error);
        return Result::Failed;
    }
    m_handle = file;
    return Result::Acquired;
}

void FileLock::release()
{
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
}

bool FileLock::held() const
{
    return m_handle != nullptr;
}

} // namespace vrsim
