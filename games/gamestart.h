#pragma once

#include "shellopen.h"

#include <QString>

class GameItem;

// What a click on a game's tile does, shared by the page's launcher and the station agent: the
// game's own launcher or the Steam launch URI, then the game's mode to the device service. The
// program does not look at the outcome; the station agent tells the desk.
struct GameStart {
    // The launcher's process when it was started as a program; whether the desktop's "open" took
    // the request, which leaves no process to follow; or why nothing was started.
    ShellOpen::Opened opened;
    // Why the mode did not reach the device service; empty when it did.
    QString modeError;
};

GameStart startGame(const GameItem& game);
