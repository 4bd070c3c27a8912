#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The platform side of a named shared-memory block: create or open it by name and map the
// whole block. Construction throws a plain int, -2 when the object cannot be created or
// opened and -3 when the view cannot be mapped; a failed construction leaves nothing open,
// and lastSystemError() still holds the cause.
class SharedMemoryCore
{
public:
    SharedMemoryCore(const char* name, std::size_t size, bool writable);
    ~SharedMemoryCore();
    SharedMemoryCore(const SharedMemoryCore&) = delete;
    SharedMemoryCore& operator=(const SharedMemoryCore&) = delete;

    bool writable() const { return m_writable; }
    void* view() const { return m_view; }
    // The view, once the object is known to span the whole block again: on POSIX a peer can
    // shrink the object under our mapping, and touching a page past its end raises SIGBUS.
    // nullptr when the object cannot be grown back; the copy must then be skipped.
    void* intactView() const;
    std::size_t size() const { return m_size; }

private:
    bool m_writable;
    std::intptr_t m_mapping; // file descriptor or HANDLE; -1 when none
    void* m_view = nullptr;
    std::size_t m_size;
};

// The cause of the last failed opening: errno on POSIX; on Windows the GetLastError() value
// saved at the failure, kept until the next successful opening.
int lastSystemError();

// The operating system's name for a block. NERQ_BLOCK_PREFIX, when set, goes in front of every
// name, so that a test run uses blocks of its own beside a device service on the same machine;
// the program as shipped never sets it.
std::string systemBlockName(const char* name);

// Removes the named object so the next opening creates a fresh one. Windows has nothing to
// remove: a mapping disappears with its last handle. Returns false when removal failed.
bool removeSharedMemory(const char* name);

// Whether the named object exists now, without creating it: the device service creates the
// quit-flag block when it starts, so its presence says the service is (or was) there.
bool sharedMemoryExists(const char* name);
