#pragma once

#include <sharedmemory.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// One block seen from the service's side: opened writable, handled as plain bytes so the
// commands need not know each record type.
class PeerBlock
{
public:
    virtual ~PeerBlock() = default;
    virtual const char* name() const = 0;
    virtual std::size_t size() const = 0;
    virtual std::vector<unsigned char> read() const = 0;
    virtual void write(const std::vector<unsigned char>& bytes) = 0;
    void clear() { write(std::vector<unsigned char>(size(), 0)); }
};

template <typename Record>
class TypedPeerBlock : public PeerBlock
{
public:
    // Throws the int of SharedMemory when the block cannot be opened.
    explicit TypedPeerBlock(const char* blockName)
        : m_name(blockName)
        , m_memory(blockName, true)
    {}
    const char* name() const override { return m_name; }
    std::size_t size() const override { return sizeof(Record); }
    std::vector<unsigned char> read() const override
    {
        Record record{};
        m_memory.read(record);
        std::vector<unsigned char> bytes(sizeof(Record));
        std::memcpy(bytes.data(), &record, sizeof(Record));
        return bytes;
    }
    void write(const std::vector<unsigned char>& bytes) override
    {
        Record record{};
        std::memcpy(&record, bytes.data(), std::min(bytes.size(), sizeof(Record)));
        m_memory.write(&record);
    }

private:
    const char* m_name;
    SharedMemory<Record> m_memory;
};
