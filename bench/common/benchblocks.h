#pragma once

#include <QByteArray>

// Device blocks of the benchmark's own: unless NERQ_BLOCK_PREFIX is already set, it is set to a
// prefix of this process, which every program the benchmark starts inherits, so a device
// service on the same machine never sees a benchmark's requests. The blocks are removed when
// the object goes out of scope.
class BenchBlocks
{
public:
    BenchBlocks();
    ~BenchBlocks();
    BenchBlocks(const BenchBlocks&) = delete;
    BenchBlocks& operator=(const BenchBlocks&) = delete;

private:
    QByteArray m_prefix; // empty when the prefix came from outside
};
