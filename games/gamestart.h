#pragma once

#include <QString>

class GameItem;

// What a click on a game's tile does, shared by the page's launcher and the station agent: the
// game's own launcher or the Steam launch URI, then the game's mode to the device service.
struct GameStart {
    // The launcher's process when it was started as a program; 0 when the desktop's "open"
    // took the request, which leaves no process to follow.
    qint64 process = 0;
    // Why the mode did not reach the device service; empty when it did.
    QString modeError;
};

GameStart startGame(const GameItem& game);
