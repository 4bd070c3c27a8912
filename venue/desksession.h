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
    // catalogue's payload with `withCatalogue`. False, with the reason, when the broker refuses
    // a subscription or after `timeoutMs`.
    bool open(int timeoutMs, QString* error, bool withCatalogue = false);
    void close();

    // Every station's status with its times on this machine's clock (the broker's count of each
    // status's age and the status's own `at` move them).
    const QMap<QString, StationStatus>& stations() const { return m_stations; }
    // Each station's status as the broker keeps it (the station's own times), for readers that
    // want every field.
    const QMap<QString, QByteArray>& statusPayloads() const { return m_statusPayloads; }
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

    struct Message {
        QString topic;
        QByteArray payload;
        bool retain = true;
    };
    // Hands the messages to the broker in this order and waits until it has taken each one.
    // False, with the reason, when one could not be handed over, the broker refused one, the
    // connection was lost, or not all were taken within `timeoutMs`.
    bool deliver(const QList<Message>& messages, int timeoutMs, QString* error);

    // Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

signals:
    // A status or a result that the desk cannot use, and why; it is left out.
    void skipped(const QString& topic, const QString& reason);

private:
    void received(const QString& topic, const QByteArray& payload, const MessageAge& age);
    void receivedStatus(const QString& topic, const QString& station, const QByteArray& payload, const MessageAge& age);

    MqttClient m_mqtt;
    QString m_syncTopic;
    bool m_synced = false;
    QMap<QString, StationStatus> m_stations;
    QMap<QString, QByteArray> m_statusPayloads;
    QMap<QString, qint64> m_shifts; // how far each station's clock lies behind this one's
    QByteArray m_catalogue;
    QMap<QString, CommandResult> m_results; // by command id
};
