#include "mqttclient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

namespace {

constexpr int kQos = 1;
constexpr int kFirstRetryMs = 250;
// A session outlives a day's power cut of the station; the broker forgets it after that.
constexpr int kSessionExpirySeconds = 24 * 60 * 60;

QString libraryError(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return qt_error_string(errno);
    return QString::fromUtf8(mosquitto_strerror(rc));
}

void initLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

struct MqttClient::Event {
    enum Kind { Connected, Refused, Lost, Message, Published, Subscribed } kind;
    QString text; // a reason, or a topic
    QByteArray payload;
    bool retained = false;
    int id = 0;
    int code = 0; // an MQTT 5 reason code; from 128 on, a failure
    MessageAge age;
};

namespace {

// MQTT 5 answers a publish or a subscription with a reason code; 128 and above say no.
constexpr int kFirstFailureCode = 128;

} // namespace

struct MqttClient::Callbacks {
    static void connect(mosquitto*, void* self, int rc, int, const mosquitto_property*)
    {
        auto* client = static_cast<MqttClient*>(self);
        if (rc == 0)
            client->m_events.push_back({Event::Connected, {}, {}, false, 0, 0, {}});
        else
            client->m_events.push_back(
                {Event::Refused, QString::fromUtf8(mosquitto_reason_string(rc)), {}, false, rc, rc, {}});
    }
    static void disconnect(mosquitto*, void* self, int rc, const mosquitto_property*)
    {
        auto* client = static_cast<MqttClient*>(self);
        const QString reason = rc == 0 ? QStringLiteral("disconnected") : libraryError(rc);
        client->m_events.push_back({Event::Lost, reason, {}, false, rc, rc, {}});
    }
    static void message(mosquitto*, void* self, const mosquitto_message* m, const mosquitto_property* properties)
    {
        auto* client = static_cast<MqttClient*>(self);
        MessageAge age;
        age.heldHereMs = client->m_heldHereMs;
        uint32_t left = 0;
        if (mosquitto_property_read_int32(properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, &left, false))
            age.expiryLeftSeconds = left;
        client->m_events.push_back({Event::Message, QString::fromUtf8(m->topic),
                                    QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain, 0, 0,
                                    age});
    }
    static void publish(mosquitto*, void* self, int mid, int code, const mosquitto_property*)
    {
        static_cast<MqttClient*>(self)->m_events.push_back(
            {Event::Published, QString::fromUtf8(mosquitto_reason_string(code)), {}, false, mid, code, {}});
    }
    static void subscribe(mosquitto*, void* self, int mid, int count, const int* granted, const mosquitto_property*)
    {
        // Each filter is subscribed on its own, so the first code is the one.
        const int code = count > 0 ? granted[0] : 0;
        static_cast<MqttClient*>(self)->m_events.push_back(
            {Event::Subscribed, QString::fromUtf8(mosquitto_reason_string(code)), {}, false, mid, code, {}});
    }
};

MqttClient::MqttClient(const BrokerConfig& broker, const QString& clientId, QObject* parent)
    : QObject(parent)
    , m_broker(broker)
    , m_clientId(clientId)
    , m_miscTimer(new QTimer(this))
    , m_retryTimer(new QTimer(this))
    , m_stopTimer(new QTimer(this))
{
    m_miscTimer->setInterval(1000);
    m_retryTimer->setSingleShot(true);
    m_stopTimer->setSingleShot(true);
    connect(m_miscTimer, &QTimer::timeout, this, &MqttClient::housekeeping);
    connect(m_retryTimer, &QTimer::timeout, this, &MqttClient::connectNow);
    connect(m_stopTimer, &QTimer::timeout, this, &MqttClient::finishStop);
}

MqttClient::~MqttClient()
{
    dropSocket();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttClient::setWill(const QString& topic, const QByteArray& payload, int expirySeconds)
{
    m_willTopic = topic;
    m_willPayload = payload;
    m_willExpiry = expirySeconds;
}

void MqttClient::start()
{
    if (m_mosq)
        return;
    initLibrary();
    m_mosq = mosquitto_new(m_clientId.toUtf8().constData(), !m_persistent, this);
    if (!m_mosq) {
        setState(State::Stopped, "cannot make an MQTT client: " + qt_error_string(errno));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(m_mosq, &Callbacks::connect);
    mosquitto_disconnect_v5_callback_set(m_mosq, &Callbacks::disconnect);
    mosquitto_message_v5_callback_set(m_mosq, &Callbacks::message);
    mosquitto_publish_v5_callback_set(m_mosq, &Callbacks::publish);
    mosquitto_subscribe_v5_callback_set(m_mosq, &Callbacks::subscribe);
    mosquitto_username_pw_set(m_mosq, m_broker.user.toUtf8().constData(), m_broker.password.toUtf8().constData());
    if (!m_broker.caFile.isEmpty())
        mosquitto_tls_set(m_mosq, m_broker.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    // libmosquitto 2.0 has no asynchronous connect that takes MQTT 5 properties, but it keeps
    // those of the last mosquitto_connect_bind_v5() for every later (asynchronous) connect. An
    // invalid port makes that call store them and return before it touches the network.
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
    if (m_persistent)
        mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, kSessionExpirySeconds);
    mosquitto_connect_bind_v5(m_mosq, "localhost", -1, m_keepAlive, nullptr, properties);
    mosquitto_property_free_all(&properties);

    m_stopping = false;
    m_retryMs = kFirstRetryMs;
    setState(State::Connecting, QString("connecting to %1:%2").arg(m_broker.host).arg(m_broker.port));
    connectNow();
}

void MqttClient::connectNow()
{
    if (!m_mosq || m_stopping)
        return;
    dropSocket();
    // The will as it stands now; each connection carries the one it was made with.
    if (!m_willTopic.isEmpty()) {
        mosquitto_property* properties = nullptr;
        if (m_willExpiry > 0)
            mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, m_willExpiry);
        // libmosquitto keeps the properties only when it takes the will.
        if (mosquitto_will_set_v5(m_mosq, m_willTopic.toUtf8().constData(), m_willPayload.size(),
                                  m_willPayload.constData(), kQos, true, properties)
            != MOSQ_ERR_SUCCESS)
            mosquitto_property_free_all(&properties);
    }
    // Resolving the name is the one step that may wait: a venue's broker is named on its own
    // network, where the answer comes at once or not at all.
    const int rc = mosquitto_connect_async(m_mosq, m_broker.host.toUtf8().constData(), m_broker.port, m_keepAlive);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost("cannot reach the broker: " + libraryError(rc));
        return;
    }
    watchSocket();
    afterLibrary();
}

void MqttClient::watchSocket()
{
    const int socket = mosquitto_socket(m_mosq);
    if (socket < 0)
        return;
    m_readNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    m_writeNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    m_miscTimer->start();
    m_stalls.start();
}

void MqttClient::dropSocket()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    m_miscTimer->stop();
}

void MqttClient::readable()
{
    m_stalls.served();
    m_heldHereMs = m_stalls.heldHereMs();
    const int rc = mosquitto_loop_read(m_mosq, 1);
    afterLibrary();
    if (rc != MOSQ_ERR_SUCCESS && m_readNotifier)
        lost("connection lost: " + libraryError(rc));
}

void MqttClient::writable()
{
    const int rc = mosquitto_loop_write(m_mosq, 1);
    afterLibrary();
    if (rc != MOSQ_ERR_SUCCESS && m_readNotifier)
        lost("connection lost: " + libraryError(rc));
}

void MqttClient::housekeeping()
{
    // Keep-alive pings, and libmosquitto's view of a connection that went quiet.
    m_stalls.served();
    const int rc = mosquitto_loop_misc(m_mosq);
    afterLibrary();
    if (rc != MOSQ_ERR_SUCCESS && m_readNotifier)
        lost("connection lost: " + libraryError(rc));
}

void MqttClient::lost(const QString& reason)
{
    dropSocket();
    m_inFlight.clear();
    m_pendingSubscriptions.clear();
    if (m_stopping) {
        finishStop();
        return;
    }
    setState(State::Retrying, reason);
    // Stations reconnecting together after the broker's restart spread out a little.
    const int jitter = QRandomGenerator::global()->bounded(m_retryMs / 4 + 1);
    m_retryTimer->start(m_retryMs + jitter);
    m_retryMs = qMin(m_retryMs * 2, kMaxRetrySeconds * 1000);
}

void MqttClient::afterLibrary()
{
    std::vector<Event> events;
    events.swap(m_events);
    for (const Event& event : events) {
        if (event.kind == Event::Refused) {
            // The broker answers and says no (a wrong password, say): still worth retrying, since
            // the desk may add the station to the broker any time.
            mosquitto_disconnect(m_mosq);
            lost("the broker refused the connection: " + event.text);
            return;
        }
        handle(event);
        if (!m_mosq)
            return;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttClient::handle(const Event& event)
{
    switch (event.kind) {
    case Event::Connected:
        m_retryMs = kFirstRetryMs;
        for (const QString& filter : qAsConst(m_filters)) {
            int mid = 0;
            if (mosquitto_subscribe_v5(m_mosq, &mid, filter.toUtf8().constData(), kQos, 0, nullptr) == MOSQ_ERR_SUCCESS)
                m_pendingSubscriptions.insert(mid, filter);
        }
        setState(State::Connected, QString("connected to %1:%2").arg(m_broker.host).arg(m_broker.port));
        emit connected();
        break;
    case Event::Lost:
        if (m_readNotifier)
            lost("connection lost: " + event.text);
        break;
    case Event::Message:
        emit messageReceived(event.text, event.payload, event.retained, event.age);
        break;
    case Event::Published: {
        const QString topic = m_inFlight.take(event.id);
        if (event.code >= kFirstFailureCode)
            emit publishRefused(event.id, topic, event.text);
        else
            emit published(event.id);
        if (m_stopping && m_inFlight.isEmpty())
            finishStop();
        break;
    }
    case Event::Subscribed:
        if (!m_pendingSubscriptions.contains(event.id))
            break;
        if (event.code >= kFirstFailureCode)
            emit subscriptionRefused(m_pendingSubscriptions.take(event.id), event.text);
        else
            emit subscribed(m_pendingSubscriptions.take(event.id));
        break;
    case Event::Refused:
        break;
    }
}

int MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain, int expirySeconds)
{
    if (!m_mosq || m_state != State::Connected)
        return -1;
    mosquitto_property* properties = nullptr;
    if (expirySeconds > 0)
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, expirySeconds);
    int mid = 0;
    const int rc = mosquitto_publish_v5(m_mosq, &mid, topic.toUtf8().constData(), payload.size(), payload.constData(),
                                        kQos, retain, properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_SUCCESS)
        return -1;
    m_inFlight.insert(mid, topic);
    afterLibrary();
    return mid;
}

void MqttClient::subscribe(const QString& filter)
{
    if (m_filters.contains(filter))
        return;
    m_filters << filter;
    if (m_mosq && m_state == State::Connected) {
        int mid = 0;
        if (mosquitto_subscribe_v5(m_mosq, &mid, filter.toUtf8().constData(), kQos, 0, nullptr) == MOSQ_ERR_SUCCESS)
            m_pendingSubscriptions.insert(mid, filter);
        afterLibrary();
    }
}

void MqttClient::unsubscribe(const QString& filter)
{
    m_filters.removeAll(filter);
    if (m_mosq && m_state == State::Connected) {
        mosquitto_unsubscribe_v5(m_mosq, nullptr, filter.toUtf8().constData(), nullptr);
        afterLibrary();
    }
}

void MqttClient::stop(int waitMs)
{
    if (!m_mosq || m_stopping)
        return;
    m_stopping = true;
    m_retryTimer->stop();
    if (m_state != State::Connected || m_inFlight.isEmpty()) {
        finishStop();
        return;
    }
    m_stopTimer->start(waitMs);
}

void MqttClient::finishStop()
{
    m_stopTimer->stop();
    if (m_mosq && m_state == State::Connected) {
        // A normal disconnect: the broker drops the last will.
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_write(m_mosq, 1);
    }
    m_events.clear();
    dropSocket();
    m_inFlight.clear();
    m_pendingSubscriptions.clear();
    // A new start() makes a new connection from scratch.
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    if (m_state != State::Stopped) {
        setState(State::Stopped, "stopped");
        emit stopped();
    }
}

void MqttClient::setState(State state, const QString& reason)
{
    // A retry that fails as the last one did is no news.
    if (state == m_state && reason == m_lastReason)
        return;
    m_state = state;
    m_lastReason = reason;
    emit stateChanged(state, reason);
}
