#include "gamelauncher.h"

#include "gameitem.h"
#include "gamemodel.h"
#include "gamestart.h"

#include <easylogging++.h>

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

    const GameStart start = startGame(*game);
    if (!start.modeError.isEmpty())
        LOG(ERROR) << "Game mode " << game->gameMode() << " of game " << game_id.toStdString()
                   << " not handed to the device service: " << start.modeError.toStdString();
}
