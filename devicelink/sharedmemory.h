#pragma once

#include "sharedmemorycore.h"

#include <cstring>
#include <type_traits>

// A named block the size of one Record, opened writable or read-only. Every copy moves the
// whole record; there is no lock, the peer process may touch the same bytes at any time.
template <typename Record>
class SharedMemory
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are copied as bytes");

public:
    // name is ASCII/UTF-8. Throws -2 or -3 (see SharedMemoryCore).
    SharedMemory(const char* name, bool writable)
        : m_core(name, sizeof(Record), writable)
    {}

    bool writable() const { return m_core.writable(); }

    void write(const Record* record)
    {
        if (!record || !m_core.writable())
            return;
        if (void* view = m_core.intactView())
            std::memcpy(view, record, sizeof(Record));
    }

    void read(Record& out) const
    {
        if (const void* view = m_core.intactView())
            std::memcpy(&out, view, sizeof(Record));
    }

private:
    SharedMemoryCore m_core;
};
