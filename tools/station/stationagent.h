#pragma once

#include "cataloguefollower.h"
#include "commandjournal.h"
#include "venueprotocol.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class CalibrationManager;
class MqttClient;

struct StationSettings {
    QString station;
    QString version;
    QString host;
    QString catalogueDir;   // the program's working directory, holding game/
    QStringList steamRoots; // empty: where Steam installs itself
    QString journalPath;
};

// The station agent: publishes the station's whole state, carries out the desk's commands as the
// program would (a launch as a tile click, a calibration as the button), and keeps the station's
// catalogues in step with the venue's. Speaks MQTT only through MqttClient.
class StationAgent : public QObject
{
    Q_OBJECT

public:
    // How often the running game and the device service are looked at.
    static constexpr int kPollMs = 2000;
    // A Steam game counts as running this long after its launch, until Steam's own signal says so.
    static constexpr qint64 kSteamStartGraceMs = 60 * 1000;

    StationAgent(MqttClient& mqtt, StationSettings settings);
    ~StationAgent() override;

    void start();
    // Says "offline" itself, then lets the client leave; stopped() follows.
    void stop();
    // Every message the agent subscribed to; anything unexpected is logged and dropped.
    void handleMessage(const QString& topic, const QByteArray& payload);

    const StationStatus& status() const { return m_status; }

signals:
    void stopped();

private:
    void connected();
    void poll();
    void publishStatus();
    void updateWill();
    void handleCommand(const QByteArray& payload);
    CommandResult carryOut(const StationCommand& command);
    QString launch(const StationCommand& command);
    QString calibrate();
    QString scan();
    void publishResult(const CommandResult& result);

    MqttClient& m_mqtt;
    StationSettings m_settings;
    CommandJournal m_journal;
    CatalogueFollower m_follower;
    std::unique_ptr<CalibrationManager> m_calibration;
    bool m_calibrationOpen = false;
    StationStatus m_status;
    StationStatus m_lastStatus; // as last published
    QByteArray m_published;
    QTimer m_pollTimer;

    // What the agent itself launched, to tell what runs now.
    QString m_nativeGame;
    qint64 m_nativeProcess = 0;
    qint64 m_nativeMark = 0;
    QString m_steamGame;
    qint64 m_steamLaunchedAt = 0;
};
