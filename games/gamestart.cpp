#include "gamestart.h"

#include "gameitem.h"
#include "gamemodemanager.h"
#include "records.h"
#include "shellopen.h"

#include <stdexcept>

GameStart startGame(const GameItem& game)
{
    GameStart start;
    if (game.isNative())
        start.opened = ShellOpen::openLauncher(game.launcherPath());
    else
        start.opened = ShellOpen::openSteamUri(QString::asprintf("steam://launch/%d/Vr", game.steamGameId()));

    // The game is already on its way; a device link that cannot be opened must not take the
    // caller down with it. The next launch tries the link again.
    const int mode = game.gameMode();
    if (mode < DeviceBlocks::lowestGameMode || mode > DeviceBlocks::highestGameMode)
        start.modeError = QString("game mode %1 does not fit the game-mode record (%2 to %3)")
                              .arg(mode)
                              .arg(DeviceBlocks::lowestGameMode)
                              .arg(DeviceBlocks::highestGameMode);
    try {
        GameModeManager::instance().setMode(mode);
    } catch (const std::exception& e) {
        start.modeError = QString::fromLocal8Bit(e.what());
    }
    return start;
}
