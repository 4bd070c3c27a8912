#include "sharedmemorycore.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string objectName(const char* name)
{
    return "/" + systemBlockName(name);
}

// Cleanup must not hide the reason the opening failed.
void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// Opens the object, or creates it for this user only (0600, whatever the umask would make of
// it); the mode of an object the service made is never touched. -1 with errno on failure.
int openOrCreate(const std::string& path)
{
    constexpr mode_t ownerOnly = 0600;
    // Always read-write: the peer may need to write a block that we only read.
    for (;;) {
        const int created = ::shm_open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, ownerOnly);
        if (created >= 0) {
            if (::fchmod(created, ownerOnly) != 0) {
                closeKeepingErrno(created);
                const int saved = errno;
                ::shm_unlink(path.c_str());
                errno = saved;
                return -1;
            }
            return created;
        }
        if (errno != EEXIST)
            return -1;
        const int opened = ::shm_open(path.c_str(), O_RDWR, 0);
        // Gone again in between: try to create it once more.
        if (opened >= 0 || errno != ENOENT)
            return opened;
    }
}

} // namespace

SharedMemoryCore::SharedMemoryCore(const char* name, std::size_t size, bool writable)
    : m_writable(writable)
    , m_mapping(-1)
    , m_size(size)
{
    // Refused before the prefix makes it look like a name: no peer would know it.
    if (!name || !*name) {
        errno = EINVAL;
        throw -2;
    }
    const int fd = openOrCreate(objectName(name));
    if (fd < 0)
        throw -2;

    struct stat st {
    };
    if (::fstat(fd, &st) != 0) {
        closeKeepingErrno(fd);
        throw -2;
    }
    // Only grow: mapping past the end of a shorter object faults (SIGBUS) on first touch,
    // and shrinking one the peer made larger would cut its data.
    if (st.st_size < static_cast<off_t>(size) && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        closeKeepingErrno(fd);
        throw -2;
    }

    const int protection = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void* mapped = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        closeKeepingErrno(fd);
        throw -3;
    }
    m_mapping = fd;
    m_view = mapped;
}

SharedMemoryCore::~SharedMemoryCore()
{
    if (m_view)
        ::munmap(m_view, m_size);
    if (m_mapping >= 0)
        ::close(static_cast<int>(m_mapping));
}

void* SharedMemoryCore::intactView() const
{
    if (!m_view)
        return nullptr;
    struct stat st {
    };
    const int fd = static_cast<int>(m_mapping);
    if (::fstat(fd, &st) != 0)
        return nullptr;
    if (st.st_size < static_cast<off_t>(m_size) && ::ftruncate(fd, static_cast<off_t>(m_size)) != 0)
        return nullptr;
    return m_view;
}

int lastSystemError()
{
    return errno;
}

bool removeSharedMemory(const char* name)
{
    return ::shm_unlink(objectName(name).c_str()) == 0 || errno == ENOENT;
}

bool sharedMemoryExists(const char* name)
{
    if (!name || !*name)
        return false;
    const int fd = ::shm_open(objectName(name).c_str(), O_RDONLY, 0);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    // Another user's object that we may not open is there all the same.
    return errno == EACCES;
}
