#include "records.h"

#include <cstdio>
#include <cstring>

namespace DeviceBlocks {

bool formatGameMode(int mode, GameModeRecord& out)
{
    if (mode < lowestGameMode || mode > highestGameMode)
        return false;
    GameModeRecord record{};
    std::snprintf(record.bytes, sizeof(record.bytes), "START%d", mode);
    out = record;
    return true;
}

CalibrationRecord calibrationRequest()
{
    static constexpr char text[] = "Calibration";
    CalibrationRecord record{};
    std::memcpy(record.bytes, text, sizeof(text) - 1);
    return record;
}

bool isQuitRequest(QuitFlag byte)
{
    return byte == quitRequest;
}

} // namespace DeviceBlocks
