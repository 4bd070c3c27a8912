#pragma once
// What the session tests share: a stand-in for nerq-headset on the agent's local socket, the
// desk's results by command id, and a station's session as the desk reads it.

#include "brokerconfig.h"
#include "eventloopwait.h"
#include "headsetlink.h"
#include "mqttclient.h"
#include "teststation.h"
#include "venueprotocol.h"

#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

#include <unistd.h>

inline bool exists(const QString& path)
{
    return QFile::exists(path);
}

// nerq-headset as the agent sees it: connects to the agent's socket, says hello, notes each view
// and notice.
class HeadsetStandIn
{
public:
    explicit HeadsetStandIn(const QString& station)
    {
        m_socket.connectToServer(HeadsetLink::serverName(station));
        if (!m_socket.waitForConnected(3000))
            return;
        m_link = new HeadsetLink(&m_socket);
        QObject::connect(m_link, &HeadsetLink::received, [this](const QJsonObject& message) { m_seen << message; });
        m_link->send(HeadsetHello{qint64(::getpid()), "test"}.toJson());
    }
    void send(const QByteArray& json) { m_link->send(json); }
    // What the last view said of the help call: "sent", "answered", "unreachable" or empty.
    QString lastHelpState() const
    {
        const QList<QJsonObject> views = ofType("view");
        return views.isEmpty() ? QString() : views.last().value("help").toObject().value("state").toString();
    }
    HeadsetStandIn(const HeadsetStandIn&) = delete;
    HeadsetStandIn& operator=(const HeadsetStandIn&) = delete;
    bool connected() const { return m_socket.state() == QLocalSocket::ConnectedState; }
    QList<QJsonObject> ofType(const QString& type) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject& message : m_seen)
            if (message.value("type").toString() == type)
                found << message;
        return found;
    }
    QString lastSessionState() const
    {
        const QList<QJsonObject> views = ofType("view");
        return views.isEmpty() ? QString() : views.last().value("session").toObject().value("state").toString();
    }

private:
    QLocalSocket m_socket;
    HeadsetLink* m_link = nullptr;
    QList<QJsonObject> m_seen;
};

// "<kind> <seconds>" of each notice the headset was sent.
inline QStringList noticesSeen(const HeadsetStandIn& headset)
{
    QStringList seen;
    for (const QJsonObject& notice : headset.ofType("notice"))
        seen << notice.value("kind").toString() + ' ' + QString::number(notice.value("seconds").toInt());
    return seen;
}

// The station's results, by command id, for commands sent as raw payloads.
class Results
{
public:
    Results(const BrokerConfig& desk, const QString& station)
        : m_mqtt(desk, "test-results")
        , m_station(station)
    {
        QObject::connect(&m_mqtt, &MqttClient::messageReceived, [this](const QString&, const QByteArray& payload) {
            CommandResult result;
            QString error;
            if (CommandResult::parse(payload, &result, &error))
                m_results.insert(result.id, result);
        });
        m_mqtt.subscribe(VenueTopics::results(station));
        m_mqtt.start();
    }
    bool open()
    {
        return waitUntil([this] { return m_mqtt.isConnected(); }, 5000);
    }
    void send(const QString& id, const QString& fields)
    {
        const QString payload =
            QString(R"({"id":"%1",%2,"expires":%3,"by":"test"})").arg(id, fields).arg(nowMs() + 60000);
        m_mqtt.publish(VenueTopics::commands(m_station), payload.toUtf8(), false, 60);
    }
    // The result of `id`, waited for; ok false with "no answer" when none came.
    CommandResult of(const QString& id)
    {
        waitUntil([&] { return m_results.contains(id); }, 5000);
        return m_results.value(id, CommandResult{id, m_station, false, "no answer", 0});
    }

private:
    MqttClient m_mqtt;
    QString m_station;
    QMap<QString, CommandResult> m_results;
};

inline StationCommand sessionStart(const QString& id, const QString& gameId, qint64 seconds)
{
    StationCommand command;
    command.id = id;
    command.command = "session-start";
    command.gameId = gameId;
    command.expires = nowMs() + 30000;
    command.seconds = seconds;
    return command;
}

inline std::optional<SessionStatus> sessionOf(const BrokerConfig& desk, const QString& station)
{
    return statusOf(desk, station).session;
}
