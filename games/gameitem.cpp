#include "gameitem.h"

#include <utility>

GameItem::GameItem(QObject* parent)
    : QObject(parent)
{}

void GameItem::setGameInfo(QString gameId, QString gameName, QString imgPath, bool isNative, QString launcherPath,
                           int steamGameId, int gameMode)
{
    m_gameId = std::move(gameId);
    m_gameName = std::move(gameName);
    m_imgPath = std::move(imgPath);
    m_isNative = isNative;
    m_launcherPath = std::move(launcherPath);
    m_steamGameId = steamGameId;
    m_gameMode = gameMode;
}
