#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// The parts of a station's status that tell how the station is being sold: its session, the
// customer's help call, whether staff made it ready, and the in-headset display. The station
// writes them and the desk reads them through these types, so both spell the fields alike.
// Times are the station's wall clock (ms since the epoch); 0 stands for null.

enum class SessionState { Running, TimeUp, Ended };
extern const char* const kSessionStateNames[3];     // "running", "timeup", "ended": in its order
enum class SessionEnd { None, Time, Desk, Player }; // null, "time", "desk", "player"

QString sessionStateName(SessionState state);
QString sessionEndName(SessionEnd reason); // empty for None
// "12:05" for a length in ms, the seconds rounded up: 0:00 means the time is up.
QString minutesSeconds(qint64 ms);

struct SessionStatus {
    QString id; // the id of the command that started it
    SessionState state = SessionState::Running;
    qint64 seconds = 0;           // bought in all
    qint64 remainingSeconds = -1; // at the status's `at`; -1 (null) in the last will
    qint64 startedAt = 0;
    qint64 endsAt = 0; // when time runs out, as last worked out on the station's clock
    qint64 endedAt = 0;
    SessionEnd endReason = SessionEnd::None;
    QString gameId; // empty: started without a game

    QJsonObject toJson() const;
    static bool parse(const QJsonObject& object, SessionStatus* session, QString* error);
    bool operator==(const SessionStatus& other) const;
};

struct HelpStatus {
    qint64 at = 0; // when the customer called
    bool answered = false;
    qint64 answeredAt = 0;
    QString by; // who answered; empty: null

    QJsonObject toJson() const;
    static bool parse(const QJsonObject& object, HelpStatus* help, QString* error);
    bool operator==(const HelpStatus& other) const;
};

struct HeadsetStatus {
    bool connected = false; // nerq-headset runs and speaks to the agent
    bool vr = false;        // and it has the VR runtime

    QJsonObject toJson() const;
    static bool parse(const QJsonObject& object, HeadsetStatus* headset, QString* error);
};

// The four fields of a whole status: `session` and `help` (objects or null), `ready` (bool),
// `headset` (an object); each may be left out by an older agent.
struct SellingStatus {
    std::optional<SessionStatus> session;
    std::optional<HelpStatus> help;
    bool ready = false;
    HeadsetStatus headset;

    static bool parse(const QJsonObject& status, SellingStatus* selling, QString* error);
};
