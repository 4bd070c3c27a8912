#include "statusboard.h"

#include "agentclock.h"
#include "messageage.h"
#include "mqttclient.h"
#include "stationsettings.h"
#include "venueprotocol.h"

#include <QJsonDocument>

#include <utility>

namespace {

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Statuses are retained with a long expiry: what the broker has left of it tells a reader how
// long ago one was sent, and `at` when that was on this station's clock, so the reader can put
// the station's times on its own clock.
constexpr int kStatusExpiry = static_cast<int>(MessageTiming::kRetainedLifetimeSeconds);

} // namespace

StatusBoard::StatusBoard(MqttClient& mqtt, const StationSettings& settings, const AgentClock& clock)
    : m_mqtt(mqtt)
    , m_clock(clock)
    , m_topic(VenueTopics::status(settings.station))
    , m_identity{{"station", settings.station}, {"version", settings.version}, {"host", settings.host}}
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &StatusBoard::refresh);
}

void StatusBoard::add(Fields fields, Fields willFields)
{
    m_parts.push_back({std::move(fields), std::move(willFields)});
}

void StatusBoard::addAtSending(Fields fields)
{
    m_atSending.push_back(std::move(fields));
}

void StatusBoard::startPolling()
{
    m_poll.start();
}

void StatusBoard::online()
{
    m_online = true;
    m_since = m_clock.wallMs();
    m_published.clear();
    refresh();
}

void StatusBoard::offline()
{
    m_poll.stop();
    const bool wasOnline = m_online;
    m_online = false;
    m_since = m_clock.wallMs();
    const QJsonObject status = build();
    m_built = compact(status);
    if (wasOnline && m_mqtt.isConnected())
        m_mqtt.publish(m_topic, sentNow(status), true, kStatusExpiry);
}

void StatusBoard::refresh()
{
    const QJsonObject status = build();
    m_built = compact(status);
    const QByteArray lastWill = compact(will(status));
    if (lastWill != m_will) {
        m_will = lastWill;
        m_mqtt.setWill(m_topic, lastWill, kStatusExpiry);
    }
    // Most looks find nothing new; nothing is sent then. The comparison leaves `at` out, or every
    // look would be news.
    if (!m_online || m_built == m_published)
        return;
    if (m_mqtt.publish(m_topic, sentNow(status), true, kStatusExpiry) >= 0)
        m_published = m_built;
}

void StatusBoard::republish()
{
    m_published.clear();
    refresh();
}

QByteArray StatusBoard::sentNow(QJsonObject status) const
{
    status.insert("at", double(m_clock.wallMs()));
    for (const Fields& fields : m_atSending)
        fields(status);
    return compact(status);
}

QJsonObject StatusBoard::build() const
{
    QJsonObject status = m_identity;
    status.insert("online", m_online);
    status.insert("since", m_since ? QJsonValue(double(m_since)) : QJsonValue(QJsonValue::Null));
    for (const Part& part : m_parts)
        part.fields(status);
    return status;
}

QJsonObject StatusBoard::will(const QJsonObject& status) const
{
    // What the broker says for us when the connection dies: the state as it was, offline, and
    // since when it cannot say.
    QJsonObject will = status;
    will.insert("online", false);
    will.insert("since", QJsonValue(QJsonValue::Null));
    will.insert("at", QJsonValue(QJsonValue::Null)); // the broker sends it, later; its expiry tells when
    for (const Part& part : m_parts) {
        if (part.willFields)
            part.willFields(will);
    }
    return will;
}
