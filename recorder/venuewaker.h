#pragma once

#include "wakeonlan.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class MqttClient;
struct MessageAge;

// "Open the venue" for the desk's page, which cannot send UDP: takes a wake request (nerq/v1/wake,
// which only the desk's users may write), sends the magic packets for the stations asked (every
// one the books know an address of, or those named) and answers on nerq/v1/reports/wake.
class VenueWaker : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        QString databasePath;
        std::optional<WakeOnLan::Target> to; // every packet here instead of the broadcast addresses
        std::function<qint64()> clock;       // ms since the epoch; the system's by default
    };

    struct Request {
        QString id;
        QStringList stations; // empty: every station the books know
    };

    VenueWaker(MqttClient& mqtt, Settings settings, QObject* parent = nullptr);

    // {"id": text, "all": true} or {"id": text, "stations": [id, ...]}; none, with the reason, for
    // anything else.
    static std::optional<Request> readRequest(const QByteArray& payload, QString* error);

    // Subscribes; the connection is the caller's to start.
    void start();

private:
    void received(const QString& topic, const QByteArray& payload, bool retained, const MessageAge& age);

    MqttClient& m_mqtt;
    Settings m_settings;
};
