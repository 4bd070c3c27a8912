#pragma once

#include <QObject>
#include <QString>

#include <memory>

class GameModel;

// Starts the game behind a tile and hands its mode to the walking device's service.
class GameLauncher : public QObject
{
    Q_OBJECT

public:
    explicit GameLauncher(std::shared_ptr<GameModel> model);
    ~GameLauncher() override;

    // What the page calls; the argument carries a game id. Always returns 0.
    Q_INVOKABLE int launcherGame(const QString& game_path);

signals:
    void _launcherGame(const QString& game_id);

public slots:
    void _onLauncherGame(const QString& game_id);

private:
    std::shared_ptr<GameModel> gameModel;
};
