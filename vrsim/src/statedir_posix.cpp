#include "config.h"

#include <unistd.h>

namespace vrsim {

std::string defaultStateDir()
{
    return "/tmp/vrsim-" + std::to_string(getuid());
}

} // namespace vrsim
