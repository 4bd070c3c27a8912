// An exclusive lock on a file, held by this process until released or until the process dies.
#pragma once

#include <string>

namespace vrsim {

class FileLock
{
public:
    enum class Result { Acquired, Busy, Failed };

    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // wait = false gives Busy at once when another holder has it.
    Result acquire(const std::string& path, bool wait);
    void release();
    bool held() const;

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace vrsim
