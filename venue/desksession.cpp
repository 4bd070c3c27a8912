#include "desksession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSet>
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
    , m_syncTopic(VenueTopics::deskSync(uniqueName()))
{
    // The broker hands out retained messages right after a subscription is granted, before it
    // takes our next packet: a message of our own, sent after the subscriptions, arrives after
    // every retained one.
    connect(&m_mqtt, &MqttClient::messageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool, const MessageAge& age) {
                received(topic, payload, age);
            });
}

bool DeskSession::open(int timeoutMs, QString* error, bool withCatalogue)
{
    QStringList filters{VenueTopics::allStatuses(), VenueTopics::allResults(), m_syncTopic};
    if (withCatalogue)
        filters << VenueTopics::catalogue();
    QStringList granted;
    QString lastReason;
    QString refusal;
    const QList<QMetaObject::Connection> connections{
        connect(&m_mqtt, &MqttClient::subscribed, this,
                [&](const QString& filter) {
                    granted << filter;
                    if (granted.size() == filters.size())
                        m_mqtt.publish(m_syncTopic, "{}", false);
                }),
        connect(&m_mqtt, &MqttClient::subscriptionRefused, this,
                [&](const QString& filter, const QString& reason) {
                    refusal = QString("the broker refused the subscription to %1: %2").arg(filter, reason);
                }),
        connect(&m_mqtt, &MqttClient::publishRefused, this,
                [&](int, const QString& topic, const QString& reason) {
                    refusal = QString("the broker refused a message to %1: %2").arg(topic, reason);
                }),
        connect(&m_mqtt, &MqttClient::stateChanged, this,
                [&](MqttClient::State, const QString& reason) { lastReason = reason; }),
    };
    for (const QString& filter : filters)
        m_mqtt.subscribe(filter);
    m_mqtt.start();
    const bool synced = waitUntil([&] { return m_synced || !refusal.isEmpty(); }, timeoutMs) && refusal.isEmpty();
    for (const QMetaObject::Connection& connection : connections)
        disconnect(connection);
    if (synced)
        return true;
    if (!refusal.isEmpty())
        *error = refusal;
    else
        *error = m_mqtt.isConnected() ? QString("the broker did not answer within %1 s").arg(timeoutMs / 1000.0)
                                      : "cannot reach the broker: " + lastReason;
    return false;
}

void DeskSession::close()
{
    m_mqtt.stop();
    waitUntil([this] { return m_mqtt.state() == MqttClient::State::Stopped; }, 3000);
}

void DeskSession::received(const QString& topic, const QByteArray& payload, const MessageAge& age)
{
    if (topic == m_syncTopic) {
        m_synced = true;
        return;
    }
    if (topic == VenueTopics::catalogue()) {
        m_catalogue = payload;
        return;
    }
    QString error;
    if (const QString station = VenueTopics::stationOf(topic, "status"); !station.isEmpty()) {
        receivedStatus(topic, station, payload, age);
        return;
    }
    if (const QString station = VenueTopics::stationOf(topic, "results"); !station.isEmpty()) {
        CommandResult result;
        if (!CommandResult::parse(payload, &result, &error) || !sameStation(station, result.station, &error))
            emit skipped(topic, error);
        else if (!result.id.isEmpty())
            m_results.insert(result.id, result);
    }
}

void DeskSession::receivedStatus(const QString& topic, const QString& station, const QByteArray& payload,
                                 const MessageAge& age)
{
    StationStatus status;
    QString error;
    if (payload.isEmpty()) {
        m_stations.remove(station);
        m_statusPayloads.remove(station);
        return;
    }
    if (!StationStatus::parse(payload, &status, &error) || !sameStation(station, status.station, &error)) {
        emit skipped(topic, error);
        return;
    }
    const qint64 now = nowMs();
    qint64 shift = 0;
    if (MessageTiming::shiftOf(status, age, now, &shift))
        m_shifts.insert(station, shift);
    const auto known = m_shifts.constFind(station);
    m_stations.insert(station,
                      MessageTiming::onReaderClock(status, age, now, known == m_shifts.cend() ? nullptr : &*known));
    m_statusPayloads.insert(station, payload);
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

bool DeskSession::deliver(const QList<Message>& messages, int timeoutMs, QString* error)
{
    QSet<int> waiting;
    QString failure;
    const QList<QMetaObject::Connection> connections{
        connect(&m_mqtt, &MqttClient::published, this, [&](int id) { waiting.remove(id); }),
        connect(&m_mqtt, &MqttClient::publishRefused, this,
                [&](int id, const QString& topic, const QString& reason) {
                    if (waiting.remove(id) && failure.isEmpty())
                        failure = QString("the broker refused %1: %2").arg(topic, reason);
                }),
        connect(&m_mqtt, &MqttClient::stateChanged, this,
                [&](MqttClient::State state, const QString& reason) {
                    if (state != MqttClient::State::Connected && failure.isEmpty())
                        failure = "the connection to the broker was lost (" + reason + ")";
                }),
    };
    for (const Message& message : messages) {
        const int id = m_mqtt.publish(message.topic, message.payload, message.retain);
        if (id < 0) {
            failure = message.topic + " could not be handed to the broker: not connected";
            break;
        }
        waiting.insert(id);
    }
    if (failure.isEmpty() && !waitUntil([&] { return waiting.isEmpty() || !failure.isEmpty(); }, timeoutMs))
        failure = QString("the broker did not take %1 of the %2 messages within %3 s")
                      .arg(waiting.size())
                      .arg(messages.size())
                      .arg(timeoutMs / 1000.0);
    for (const QMetaObject::Connection& connection : connections)
        disconnect(connection);
    if (failure.isEmpty())
        return true;
    *error = failure;
    return false;
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
        connect(&m_mqtt, &MqttClient::subscriptionRefused, &loop, check),
        connect(&m_mqtt, &MqttClient::published, &loop, check),
        connect(&m_mqtt, &MqttClient::publishRefused, &loop, check),
        connect(&m_mqtt, &MqttClient::stateChanged, &loop, check),
        connect(&m_mqtt, &MqttClient::stopped, &loop, check),
    };
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    for (const QMetaObject::Connection& connection : connections)
        disconnect(connection);
    return done();
}
