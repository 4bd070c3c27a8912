#include "eventstation.h"

#include "brokerclients.h"
#include "eventloopwait.h"
#include "venueprotocol.h"

#include <QJsonDocument>

namespace {

// An acknowledgement that has not moved for this long: the first outstanding events go again.
// The broker delivers what it was handed; only its crash or a full queue loses events, so this is
// rare and slow: resending everything at every pause would flood a recorder that is merely busy.
constexpr int kResendMs = 3000;
constexpr int kResendWindow = 200;

} // namespace

EventStation::EventStation(const QString& id, const QString& configFile, QObject* parent)
    : QObject(parent)
    , m_id(id)
    , m_mqtt(stationConfig(configFile), "test-events-" + id)
{
    connect(&m_mqtt, &MqttClient::connected, this, [this] { sendOutstanding(-1); });
    connect(&m_mqtt, &MqttClient::messageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool) { received(topic, payload); });
    m_resend.setInterval(kResendMs);
    connect(&m_resend, &QTimer::timeout, this, &EventStation::checkProgress);
}

void EventStation::start()
{
    m_mqtt.subscribe(VenueTopics::recorderAck(m_id));
    m_mqtt.start();
    m_resend.start();
}

void EventStation::stop()
{
    m_resend.stop();
    m_mqtt.stop();
}

qint64 EventStation::emitEvent(const QString& type, const QJsonObject& fields, qint64 at)
{
    const qint64 seq = m_nextSeq++;
    QJsonObject event = fields;
    event.insert("id", QString("%1:%2").arg(m_id).arg(seq));
    event.insert("station", m_id);
    event.insert("seq", double(seq));
    event.insert("type", type);
    event.insert("at", double(at ? at : nowMs()));
    const QByteArray json = QJsonDocument(event).toJson(QJsonDocument::Compact);
    m_outbox.insert(seq, json);
    m_sent.insert(seq, json);
    m_mqtt.publish(VenueTopics::events(m_id), json, false);
    return seq;
}

void EventStation::sendOutstanding(int most)
{
    int sent = 0;
    for (auto it = m_outbox.cbegin(); it != m_outbox.cend() && (most < 0 || sent < most); ++it, ++sent)
        m_mqtt.publish(VenueTopics::events(m_id), it.value(), false);
}

void EventStation::received(const QString& topic, const QByteArray& payload)
{
    if (topic != VenueTopics::recorderAck(m_id))
        return;
    const QJsonObject ack = QJsonDocument::fromJson(payload).object();
    if (ack.value("station").toString() != m_id)
        return;
    ++m_acks;
    m_acknowledged = qint64(ack.value("upTo").toDouble());
    while (!m_outbox.isEmpty() && m_outbox.firstKey() <= m_acknowledged)
        m_outbox.erase(m_outbox.begin());
}

void EventStation::checkProgress()
{
    if (!m_outbox.isEmpty() && m_acknowledged == m_lastProgressCheck)
        sendOutstanding(kResendWindow);
    m_lastProgressCheck = m_acknowledged;
}

bool EventStation::waitAcknowledged(qint64 seq, int msecs)
{
    return waitUntil([&] { return m_acknowledged >= seq; }, msecs);
}
