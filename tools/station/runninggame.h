#pragma once

#include "shellopen.h"
#include "stationevents.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

class AgentClock;
class GameItem;

// What runs on the station now: a game the agent started (a native game while its process runs, a
// Steam game for a grace after its launch, until Steam's own signal says so), or whatever Steam
// runs, whoever started it; and the last launch the agent carried out. started() is the one place
// that says the agent started a game.
class RunningGame : public QObject
{
    Q_OBJECT

public:
    // A Steam game counts as running this long after its launch, until Steam's own signal says so.
    static constexpr qint64 kSteamStartGraceMs = 60 * 1000;

    RunningGame(QString catalogueDir, const AgentClock& clock);

    // The game has been handed to its launcher or to Steam, at the desk's request (`by`).
    // `session`: the session it starts with, if any.
    void started(const GameItem& game, const ShellOpen::Opened& opened, const QString& by,
                 const QString& session = QString());

    // Looks at what runs now and adds runningGame, steamRunningAppId and lastLaunch. The first
    // look after a start names the game started, even when its launcher has ended already.
    void addTo(QJsonObject& status);
    // The broker's last will knows of no game running.
    static void addToWill(QJsonObject& will);
    // Where game-started and game-ended go: a game the agent started ends when a look finds it no
    // longer running (reason player), or when another launch takes its place (gone).
    void setNote(EventNote note) { m_note = std::move(note); }
    // The game is being ended for this reason (time, desk, player: the session's end), so the
    // look that finds it gone says why.
    void endingFor(const QString& reason) { m_endingFor = reason; }

signals:
    // `process`: the native game's launcher as started; 0 when the desktop's opener or Steam took it.
    void gameStarted(const QString& gameId, const QString& by, qint64 process);

private:
    QString look(int steamApp);
    void ended(const QString& reason);

    struct Launch {
        QString gameId;
        qint64 at = 0; // wall time, for the desk
        QString by;
    };

    QString m_dir;
    const AgentClock& m_clock;
    std::optional<Launch> m_lastLaunch;
    QString m_announced; // started, not looked at since
    // What the agent itself started, to tell what runs now.
    QString m_nativeGame;
    qint64 m_nativeProcess = 0;
    qint64 m_nativeMark = 0;
    QString m_steamGame;
    qint64 m_steamStartedAt = 0; // monotonic
    EventNote m_note;
    QString m_playing; // started, its end not noted yet
    QString m_endingFor;
};
