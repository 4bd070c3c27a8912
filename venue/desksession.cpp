#include "desksession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTimer>

namespace {

QString uniqueName()
{
    return QString("%1-%2-%3")
        .arg(QSysInfo::machineHostName())
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate64(), 0, 36);
}

} // namespace

DeskSession::DeskSession(const BrokerConfig& config, QObject* parent)
    : QObject(parent)
    , m_mqtt(config, "nerq-venue-" + uniqueName())
    , m_syncTopic("nerq/v1/desk/" + uniqueName() + "/sync")
{
    // The broker hands out retained messages right after a subscription is granted, before it
    // takes our next packet: a message of our own, sent after the subscriptions, arrives after
    // every retained one.
    connect(&m_mqtt, &MqttClient::messageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool) { received(topic, payload); });
}

bool DeskSession::open(int timeoutMs, QString* error, bool withCatalogue)
{
    QStringList filters{VenueTopics::allStatuses(), VenueTopics::allResults(), m_syncTopic};
    if (withCatalogue)
        filters << VenueTopics::catalogue();
    QStringList granted;
    QString lastReason;
    const QMetaObject::Connection onSubscribed =
        connect(&m_mqtt, &MqttClient::subscribed, this, [&](const QString& filter) {
            granted << filter;
            if (granted.size() == filters.size())
                m_mqtt.publish(m_syncTopic, "{}", false);
        });
    const QMetaObject::Connection onState =
        connect(&m_mqtt, &MqttClient::stateChanged, this,
                [&](MqttClient::State, const QString& reason) { lastReason = reason; });
    for (const QString& filter : filters)
        m_mqtt.subscribe(filter);
    m_mqtt.start();
    const bool synced = waitUntil([this] { return m_synced; }, timeoutMs);
    disconnect(onSubscribed);
    disconnect(onState);
    if (synced)
        return true;
    *error = m_mqtt.isConnected() ? QString("the broker did not answer within %1 s").arg(timeoutMs / 1000.0)
                                  : "cannot reach the broker: " + lastReason;
    return false;
}

void DeskSession::close()
{
    m_mqtt.stop();
    waitUntil([this] { return m_mqtt.state() == MqttClient::State::Stopped; }, 3000);
}

void DeskSession::received(const QString& topic, const QByteArray& payload)
{
    if (topic == m_syncTopic) {
        m_synced = true;
        return;
    }
    if (topic == VenueTopics::catalogue()) {
        m_catalogue = payload;
        return;
    }
    if (const QString station = VenueTopics::stationOf(topic, "status"); !station.isEmpty()) {
        StationStatus status;
        QString error;
        // A reader never takes the topic's word alone.
        if (payload.isEmpty())
            m_stations.remove(station);
        else if (StationStatus::parse(payload, &status, &error) && status.station == station)
            m_stations.insert(station, status);
        return;
    }
    if (!VenueTopics::stationOf(topic, "results").isEmpty()) {
        CommandResult result;
        QString error;
        if (CommandResult::parse(payload, &result, &error) && !result.id.isEmpty()
            && result.station == VenueTopics::stationOf(topic, "results"))
            m_results.insert(result.id, result);
    }
}

QList<DeskSession::Outcome> DeskSession::send(const QStringList& stations, StationCommand command, int waitSeconds)
{
    QList<Outcome> outcomes;
    QMap<QString, QString> waiting; // command id to station
    command.expires = nowMs() + waitSeconds * 1000LL;
    for (const QString& station : stations) {
        Outcome outcome{station, Outcome::NoAnswer, {}};
        const auto known = m_stations.constFind(station);
        if (known == m_stations.cend()) {
            outcome.state = Outcome::Unknown;
        } else if (!known->online) {
            // Refused here and now: a command queued for later could start a game an hour late.
            outcome.state = Outcome::Offline;
        } else {
            command.id = uniqueName() + '-' + station;
            command.station = station;
            if (m_mqtt.publish(VenueTopics::commands(station), command.toJson(), false, waitSeconds) < 0) {
                outcome.state = Outcome::Failed;
                outcome.error = "could not be sent: the connection to the broker is gone";
            } else {
                waiting.insert(command.id, station);
            }
        }
        outcomes << outcome;
    }
    waitUntil(
        [&] {
            for (auto it = waiting.cbegin(); it != waiting.cend(); ++it) {
                if (!m_results.contains(it.key()))
                    return false;
            }
            return true;
        },
        waitSeconds * 1000);
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it) {
        const auto result = m_results.constFind(it.key());
        if (result == m_results.cend())
            continue;
        for (Outcome& outcome : outcomes) {
            if (outcome.station == it.value()) {
                outcome.state = result->ok ? Outcome::Done : Outcome::Failed;
                outcome.error = result->error;
            }
        }
    }
    return outcomes;
}

bool DeskSession::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    // Everything a wait is for arrives through the client's signals.
    const QList<QMetaObject::Connection> connections{
        connect(&m_mqtt, &MqttClient::messageReceived, &loop, check),
        connect(&m_mqtt, &MqttClient::subscribed, &loop, check),
        connect(&m_mqtt, &MqttClient::published, &loop, check),
        connect(&m_mqtt, &MqttClient::stateChanged, &loop, check),
        connect(&m_mqtt, &MqttClient::stopped, &loop, check),
    };
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    for (const QMetaObject::Connection& connection : connections)
        disconnect(connection);
    return done();
}
