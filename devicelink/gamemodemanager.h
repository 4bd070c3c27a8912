#pragma once

#include "deviceblocks.h"
#include "sharedmemory.h"

#include <memory>

// Hands the launched game's mode to the device service through the "Velkano_Game" block.
// One per process, created on first use so nothing touches the block before the first launch.
class GameModeManager
{
public:
    // Throws std::runtime_error when ten openings fail; the next call tries again.
    static GameModeManager& instance();

    // Writes "START<mode>" and zero padding, all ten bytes. Modes whose text would not fit
    // (below -999 or above 9999) are refused and logged; the block keeps its record.
    void setMode(int mode);

    GameModeManager(const GameModeManager&) = delete;
    GameModeManager& operator=(const GameModeManager&) = delete;

private:
    GameModeManager();

    std::unique_ptr<SharedMemory<DeviceBlocks::GameModeRecord>> m_block;
};
