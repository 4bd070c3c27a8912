#pragma once

#include "brokerconfig.h"
#include "mqttclient.h"
#include "venueprotocol.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The desk's short visit to the broker, for one nerq-venue command: connect with the desk's
// credentials, take every station's retained status (and, when asked, the retained catalogue),
// send commands and collect their results. Waits run the event loop, each within a bound.
class DeskSession : public QObject
{
    Q_OBJECT

public:
    explicit DeskSession(const BrokerConfig& config, QObject* parent = nullptr);

    // Connects and reads what the broker keeps: every station's status, and the venue
    // catalogue's payload with `withCatalogue`. False, with the reason, after `timeoutMs`.
    bool open(int timeoutMs, QString* error, bool withCatalogue = false);
    void close();

    const QMap<QString, StationStatus>& stations() const { return m_stations; }
    // The retained catalogue as the broker has it; empty when there is none.
    const QByteArray& cataloguePayload() const { return m_catalogue; }
    MqttClient& mqtt() { return m_mqtt; }

    struct Outcome {
        QString station;
        enum State { Done, Failed, Offline, Unknown, NoAnswer } state = NoAnswer;
        QString error;
    };
    // Sends the command to each station and waits up to `waitSeconds` for every result.
    // Stations that are offline or have never reported get no command.
    QList<Outcome> send(const QStringList& stations, StationCommand command, int waitSeconds);

    // Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

private:
    void received(const QString& topic, const QByteArray& payload);

    MqttClient m_mqtt;
    QString m_syncTopic;
    bool m_synced = false;
    QMap<QString, StationStatus> m_stations;
    QByteArray m_catalogue;
    QMap<QString, CommandResult> m_results; // by command id
};
