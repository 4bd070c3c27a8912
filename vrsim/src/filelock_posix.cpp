#include "filelock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vrsim {

FileLock::~FileLock()
{
    release();
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

FileLock::Result FileLock::acquire(const std::string& path, bool wait)
{
    release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "vrsim: cannot open lock file \"%s\": %s\n", path.c_str(), std::strerror(errno));
        return Result::Failed;
    }
    // flock belongs to the open file, so the kernel drops it when the process ends.
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Result::Busy;
        std::fprintf(stderr, "vrsim: cannot lock \"%s\": %s\n", path.c_str(), std::strerror(error));
        return Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

void FileLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool FileLock::held() const
{
    return m_fd >= 0;
}

} // namespace vrsim
