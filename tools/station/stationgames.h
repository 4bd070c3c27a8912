#pragma once

#include "catalogue.h"

#include <QString>

#include <array>

class GameItem;

// The games the station's program shows: those of the English catalogue, then those only the
// Chinese one lists. Read afresh each time, as the program reads them.
class StationGames
{
public:
    explicit StationGames(const QString& catalogueDir);

    const GameItem* find(const QString& gameId) const;
    // The gameId of the Steam game with this app id, or empty.
    QString steamGame(int appId) const;

private:
    std::array<Catalogue, 2> m_catalogues;
};
