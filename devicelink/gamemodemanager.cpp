#include "gamemodemanager.h"
#include "records.h"

#include <easylogging++.h>

#include <stdexcept>
#include <string>

namespace {
constexpr int openAttempts = 10;
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
    DeviceBlocks::GameModeRecord record{};
    if (!DeviceBlocks::formatGameMode(mode, record)) {
        LOG(ERROR) << "Game mode " << mode << " does not fit the game-mode record; nothing written";
        return;
    }
    if (m_block && m_block->writable())
        m_block->write(&record);
}
