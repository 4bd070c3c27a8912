#pragma once

#include "processcontrol.h"
#include "sessionstatus.h"

#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// Ends the game when a session is over: the game the agent started (all of its processes: its
// process group on Linux, its process tree on Windows), else the Steam game that runs now
// (Steam's own process for it and what runs under it), else the VR runtime's scene process as
// nerq-headset reports it. Each is asked to end (SIGTERM; on Windows a close request), and what
// still runs kForceAfterMs later is ended by force. Never ended, whatever points at it: the
// program NerqVRPlatform, the VR runtime's own processes, Steam itself, the agent and what
// started it, nerq-headset, anything in the agent's own process group, another user's process.
class GameEnder : public QObject
{
    Q_OBJECT

public:
    static constexpr int kForceAfterMs = 5000;
    // SteamVR is a Steam app too; it is the runtime, never a game to end.
    static constexpr int kSteamVrAppId = 250820;

    explicit GameEnder(QString catalogueDir, QObject* parent = nullptr);

    // The agent started this game's process (a native game's launcher).
    void noteStarted(const QString& gameId, qint64 pid);
    // The runtime's scene process as the headset reported it; 0 for none.
    void setSceneProcess(qint64 pid);
    void setHeadsetProcess(qint64 pid) { m_headsetPid = pid; }
    // False: only says what it would end (StationSettings::endGames).
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // Asks the game to end now, and forces it kForceAfterMs later.
    void end(SessionEnd reason);

    // Whether a process is one the agent must never end, and why.
    QString protection(const ProcessControl::Process& process, const QList<ProcessControl::Process>& all) const;

    // The game the agent started, for the agent's state, so a restarted agent still ends it.
    QJsonValue save() const;
    // Only on the same boot: after a restart of the machine a pid names some other process.
    void restore(const QJsonValue& value, bool sameBoot);

signals:
    // The game was asked to end (`gameId` empty when it is not known: the scene process).
    void gameEnded(const QString& gameId, SessionEnd reason);
    // The game the agent started changed: worth keeping.
    void noteChanged();

private:
    struct Started {
        QString gameId;
        qint64 pid = 0;
        qint64 mark = 0;
        qint64 group = 0; // Linux: the group of its own that its start made; 0: follow its tree
        qint64 session = 0;
    };
    enum class Kind { None, Started, Steam, Scene };
    struct Target {
        Kind kind = Kind::None;
        QString gameId;
        QString what; // for the log
        QList<ProcessControl::Process> processes;
    };

    Target choose(const QList<ProcessControl::Process>& all) const;
    QList<ProcessControl::Process> startedProcesses(const QList<ProcessControl::Process>& all) const;
    Target steamGame(const QList<ProcessControl::Process>& all) const;
    QList<ProcessControl::Process> allowed(const QList<ProcessControl::Process>& processes,
                                           const QList<ProcessControl::Process>& all, const QString& what) const;
    void force();

    QString m_catalogueDir;
    Started m_started;
    ProcessControl::Process m_scene;
    qint64 m_headsetPid = 0;
    bool m_enabled = true;
    Target m_ending; // asked to end, forced at m_force's timeout
    QTimer m_force;
};
