#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The venue's MQTT interface: topic names and payloads, as the README documents them for the
// venue's own systems. A reader never trusts a topic alone: each payload names its station.
namespace VenueTopics {

QString status(const QString& station);
QString commands(const QString& station);
QString results(const QString& station);
QString allStatuses();
QString allResults();
QString catalogue();
QString picture(const QString& sha256);
// The station a "stations/<id>/<leaf>" topic names, or empty.
QString stationOf(const QString& topic, const QString& leaf);
// The hash a "pictures/<sha256>" topic names, or empty.
QString pictureOf(const QString& topic);

} // namespace VenueTopics

qint64 nowMs();

struct LaunchRecord {
    QString gameId;
    qint64 at = 0;
    QString by;
};

// A station's whole state, retained, so a reader that comes late is right at once.
struct StationStatus {
    bool online = false;
    QString station;
    QString version;
    QString host;
    qint64 since = 0; // 0: not known (the broker's last will)
    QString runningGame;
    int steamRunningAppId = 0;
    std::optional<LaunchRecord> lastLaunch;
    QString catalogueRevision; // empty: the station keeps its own catalogue
    QStringList hiddenGames;
    bool deviceService = false;

    QByteArray toJson() const;
    // False, with the reason, for a payload that is not a status.
    static bool parse(const QByteArray& payload, StationStatus* status, QString* error);
    bool operator==(const StationStatus& other) const;
    bool operator!=(const StationStatus& other) const { return !(*this == other); }
};

struct StationCommand {
    QString id;
    QString command; // "launch", "calibrate" or "scan"
    QString gameId;
    qint64 expires = 0;
    QString by;
    QString station; // optional: the station it is meant for

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
