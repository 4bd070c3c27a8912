#include "gamemodemanager.h"

#include <easylogging++.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {
constexpr int openAttempts = 10;
constexpr int lowestMode = -999;
constexpr int highestMode = 9999;
} // namespace

GameModeManager& GameModeManager::instance()
{
    static GameModeManager manager;
    return manager;
}

GameModeManager::GameModeManager()
{
    for (int attempt = 0; attempt < openAttempts && !m_block; ++attempt) {
        try {
            m_block = std::make_unique<SharedMemory<DeviceBlocks::GameModeRecord>>(DeviceBlocks::gameModeName, true);
        } catch (int) {
            LOG(ERROR) << "Open Shared Memory Failed, error is " << lastSystemError();
        }
    }
    if (!m_block)
        throw std::runtime_error("Open Shared Memory Failed, error is " + std::to_string(lastSystemError()));
}

void GameModeManager::setMode(int mode)
{
    if (mode < lowestMode || mode > highestMode) {
        LOG(ERROR) << "Game mode " << mode << " does not fit the game-mode record; nothing written";
        return;
    }
    DeviceBlocks::GameModeRecord record{};
    std::snprintf(record.bytes, sizeof(record.bytes), "START%d", mode);
    if (m_block && m_block->writable())
        m_block->write(&record);
}
