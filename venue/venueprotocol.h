#pragma once

#include "sessionstatus.h"
#include "venuetopics.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The venue's MQTT payloads, as the README documents them for the venue's own systems. A reader
// never trusts a topic alone: each payload names its station.

qint64 nowMs();
// The latest time the interface carries, in milliseconds since the epoch: what a double holds
// exactly.
constexpr qint64 kLatestTime = qint64(1) << 53;

struct LaunchRecord {
    QString gameId;
    qint64 at = 0;
    QString by;
};

// One network interface of a station: what waking it over the network needs.
struct NetworkAddress {
    QString mac;       // "aa:bb:cc:dd:ee:ff", lower case
    QString broadcast; // the interface's IPv4 broadcast address
    bool operator==(const NetworkAddress& other) const { return mac == other.mac && broadcast == other.broadcast; }
};

// The "network" array of a status as JSON, and read back; false with the reason for anything
// that is not an array of such objects.
QByteArray networkToJson(const QVector<NetworkAddress>& addresses);
bool networkFromJson(const QByteArray& json, QVector<NetworkAddress>* addresses, QString* error);

// A station's whole state, retained, so a reader that comes late is right at once.
struct StationStatus {
    bool online = false;
    QString station;
    QString version;
    QString host;
    qint64 since = 0; // 0: not known (the broker's last will)
    qint64 at = 0;    // when the station sent it, on its clock; 0 in the last will
    QString runningGame;
    int steamRunningAppId = 0;
    std::optional<LaunchRecord> lastLaunch;
    QString catalogueRevision;     // empty: the station keeps its own catalogue
    qint64 cataloguePublished = 0; // when that catalogue was published, on the desk's clock
    QStringList hiddenGames;
    bool deviceService = false;
    std::optional<SessionStatus> session;
    std::optional<HelpStatus> help;
    bool ready = false;
    HeadsetStatus headset;
    QVector<NetworkAddress> network; // empty: not reported

    // False, with the reason, for a payload that is not a status. The station builds its status
    // from its parts (StatusBoard); this is the reader's side.
    static bool parse(const QByteArray& payload, StationStatus* status, QString* error);
};

// A reader never takes the topic's word alone: a status or a result names its station, and that
// must be the one its topic names. False, with the reason, when it is not.
bool sameStation(const QString& topicStation, const QString& payloadStation, QString* error);

struct StationCommand {
    // Seconds a session-start or session-extend may ask for: a day at most.
    static constexpr qint64 kMaxSessionSeconds = 86400;

    QString id;
    // "launch", "calibrate", "scan", "power", "session-start", "session-extend", "session-end",
    // "help-answer", "ready" or "report"
    QString command;
    QString gameId; // launch: the game; session-start: the game to start with it, or empty
    qint64 expires = 0;
    QString by;
    QString station;    // optional: the station it is meant for
    qint64 seconds = 0; // session-start, session-extend: 1 to kMaxSessionSeconds
    QString action;     // power: "off" or "restart"
    bool force = false; // power: even a station in a session

    QByteArray toJson() const;
    // False, with the reason, for a payload that is not a command as the interface has it;
    // `command->id` is filled in whenever the payload carries one, so a result can name it.
    static bool parse(const QByteArray& payload, StationCommand* command, QString* error);
};

struct CommandResult {
    QString id; // empty: the command had none
    QString station;
    bool ok = false;
    QString error;
    qint64 at = 0;

    QByteArray toJson() const;
    static bool parse(const QByteArray& payload, CommandResult* result, QString* error);
};
