#pragma once

#include "agentstate.h"
#include "headsetlink.h"
#include "outcome.h"
#include "sessionlanguage.h"
#include "sessionstatus.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class AgentClock;

// The station's session: the time a customer bought, held by the station itself, so it ends on
// time with the broker, the desk and the headset gone. Counted on the boot clock (monotonic: the
// wall clock moving neither adds nor takes a second); kept by the agent's state at every change,
// so a restart of the agent or the PC carries on with the same end. Its life: running (warnings
// as the end nears), time's up (the grace, for the customer to finish), ended (by time, the desk
// or the customer); then, once staff have cleaned the station, ready again.
class SessionKeeper : public QObject
{
    Q_OBJECT

public:
    // However far off the next moment is, the time is looked at again this often: a machine that
    // slept finds its session's end no later than this after waking.
    static constexpr int kLookMs = 5000;
    // While a session runs, its state is noted this often too, so that after a restart of the PC
    // (counted by the wall clock) at most this much of the time is uncertain.
    static constexpr qint64 kNoteEveryMs = 60 * 1000;

    SessionKeeper(const SessionSettings& settings, const AgentClock& clock, QObject* parent = nullptr);

    // What the desk or the customer asks; each refused, with the reason, when it makes no sense now.
    Outcome start(const QString& id, qint64 seconds, const QString& gameId);
    Outcome extend(qint64 seconds);
    Outcome end(SessionEnd reason); // Desk or Player
    Outcome makeReady();
    // Why a session cannot start now, or empty.
    QString startRefusal() const;

    // Looks at the time: warnings, time's up, the grace's end. Its timer calls it; so may tests.
    void look();

    // For the agent's state.
    QJsonValue save() const;
    void restore(const QJsonValue& value, const AgentState::Moments& moments);

    // `session` and `ready`; the time left goes in when the status is sent (addAtSending).
    void addTo(QJsonObject& status) const;
    void addAtSending(QJsonObject& status) const;
    std::optional<SessionView> view() const;
    const std::optional<SessionStatus>& session() const { return m_status; }
    bool ready() const { return m_ready; }
    // Running, or in the grace after time's up.
    bool active() const;
    qint64 remainingMs() const;

signals:
    // Anything the status or the headset shows changed: worth keeping and telling.
    void changed();
    // Nothing changed, but the state is worth noting again (kNoteEveryMs).
    void noteDue();
    void started(const QString& session, qint64 seconds, const QString& gameId);
    void extended(const QString& session, qint64 seconds);
    void warning(qint64 secondsLeft);
    void timeUp(const QString& session);
    void ended(const QString& session, SessionEnd reason, qint64 seconds, qint64 playedSeconds);
    // The game is to be ended now: at the grace's end, or at once when the desk or the customer ended.
    void endGame(SessionEnd reason);
    void madeReady();

private:
    void finish(SessionEnd reason);
    void warnIfDue(qint64 remaining);
    void schedule();
    void touched();

    SessionSettings m_settings;
    const AgentClock& m_clock;
    std::optional<SessionStatus> m_status; // remainingSeconds not kept here
    bool m_ready = true;
    qint64 m_endMs = 0;      // boot clock: the time runs out
    qint64 m_graceEndMs = 0; // boot clock: in time's up, the game is ended
    QList<int> m_warned;     // warnings given this session
    qint64 m_notedMs = 0;
    QTimer m_timer;
};
