#include "sharedmemorycore.h"

#include <cstdlib>

std::string systemBlockName(const char* name)
{
    const char* prefix = std::getenv("NERQ_BLOCK_PREFIX");
    return std::string(prefix ? prefix : "") + (name ? name : "");
}
