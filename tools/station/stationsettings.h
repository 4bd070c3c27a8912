#pragma once

#include "sessionlanguage.h"

#include <QString>
#include <QStringList>

// Who the station is and where its files lie, as nerq-station found them at start.
struct StationSettings {
    QString station;
    QString version;
    QString host;
    QString catalogueDir;   // the program's working directory, holding game/
    QStringList steamRoots; // empty: where Steam installs itself
    QString journalPath;
    QString statePath;     // the session, the help call, the game the agent started
    QString headsetServer; // where nerq-headset finds the agent; empty: no headset link
    SessionSettings session;
    // False only where nothing may touch this machine's processes (the fuzzer): the agent says
    // what it would end instead of ending it.
    bool endGames = true;
    QString eventsPath; // the outbox of the station's events
};
