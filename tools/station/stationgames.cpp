#include "stationgames.h"

#include "cataloguestore.h"
#include "gameitem.h"

StationGames::StationGames(const QString& catalogueDir)
{
    for (const CatalogueStore::Language language : CatalogueStore::kLanguages)
        m_catalogues[language].readFile(CatalogueStore::filePath(catalogueDir, language));
}

const GameItem* StationGames::find(const QString& gameId) const
{
    for (const Catalogue& catalogue : m_catalogues) {
        for (int i = 0; i < catalogue.size(); ++i) {
            const GameItem* game = catalogue.game(i);
            if (game && game->gameId() == gameId)
                return game;
        }
    }
    return nullptr;
}

QString StationGames::steamGame(int appId) const
{
    for (const Catalogue& catalogue : m_catalogues) {
        for (int i = 0; i < catalogue.size(); ++i) {
            const GameItem* game = catalogue.game(i);
            if (game && !game->isNative() && game->steamGameId() == appId)
                return game->gameId();
        }
    }
    return {};
}
