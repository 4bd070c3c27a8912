#include "gamelauncher.h"

#include "gameitem.h"
#include "gamemodel.h"
#include "gamemodemanager.h"
#include "shellopen.h"

#include <easylogging++.h>

#include <stdexcept>
#include <utility>

GameLauncher::GameLauncher(std::shared_ptr<GameModel> model)
    : gameModel(std::move(model))
{
    connect(this, &GameLauncher::_launcherGame, this, &GameLauncher::_onLauncherGame);
}

GameLauncher::~GameLauncher()
{
    disconnect(this, &GameLauncher::_launcherGame, this, &GameLauncher::_onLauncherGame);
}

int GameLauncher::launcherGame(const QString& game_path)
{
    emit _launcherGame(game_path);
    return 0;
}

void GameLauncher::_onLauncherGame(const QString& game_id)
{
    const GameItem* game = gameModel->findGame(game_id);
    if (!game) {
        LOG(WARNING) << "Can not find game and the game id is " << game_id.toStdString();
        return;
    }

    if (game->isNative())
        ShellOpen::openLauncher(game->launcherPath());
    else
        ShellOpen::openSteamUri(QString::asprintf("steam://launch/%d/Vr", game->steamGameId()));

    // The game is already on its way; a device link that cannot be opened must not take the
    // program down with it. The next launch tries the link again.
    const int mode = game->gameMode();
    try {
        GameModeManager::instance().setMode(mode);
    } catch (const std::exception& e) {
        LOG(ERROR) << "Game mode " << mode << " of game " << game_id.toStdString()
                   << " not handed to the device service: " << e.what();
    }
}
