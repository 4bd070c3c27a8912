#pragma once

#include "brokerconfig.h"
#include "loopstallwatch.h"
#include "messageage.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;
struct mosquitto;

// One MQTT 5 connection to the venue's broker, driven by the Qt event loop: libmosquitto's
// socket under a QSocketNotifier, one timer for its keep-alive work and one for reconnecting.
// No threads. Once started it keeps itself connected: a lost or refused connection is tried
// again after a growing pause of at most kMaxRetrySeconds. Every message goes with QoS 1.
//
// Signals are emitted after libmosquitto has returned, never from inside its callbacks, so a
// slot may publish, subscribe or stop freely.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxRetrySeconds = 3;
    // Pictures are at most 32 MB; the broker drops anything larger before it reaches us.
    static constexpr int kMaxPacketBytes = 40 * 1024 * 1024;

    enum class State { Stopped, Connecting, Connected, Retrying };

    MqttClient(const BrokerConfig& broker, const QString& clientId, QObject* parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // What the broker publishes for us (retained, with this expiry interval when not 0) when the
    // connection dies; a change takes effect at the next connect.
    void setWill(const QString& topic, const QByteArray& payload, int expirySeconds = 0);
    // Before start(): keep our subscriptions and queued messages at the broker while we are
    // away (and across its restart), so a command sent in a short drop still arrives.
    void setPersistentSession(bool persistent) { m_persistent = persistent; }
    void setKeepAliveSeconds(int seconds) { m_keepAlive = seconds; }

    // Also after stop(): the subscriptions and the will are kept for the next connection.
    void start();
    // Waits up to `waitMs` for the broker to take what was published, then leaves cleanly (no
    // last will) and emits stopped().
    void stop(int waitMs = 2000);

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }

    // QoS 1. `expirySeconds`: MQTT 5 message expiry, 0 for none. The message id, which published()
    // or publishRefused() names later, or -1 when it could not be handed to the connection (not
    // connected).
    int publish(const QString& topic, const QByteArray& payload, bool retain, int expirySeconds = 0);
    // QoS 1, made again on every connect.
    void subscribe(const QString& filter);
    void unsubscribe(const QString& filter);

signals:
    // A change of state, once: connected, lost ("connection lost: ..."), refused ("not
    // authorised"), and so on; not every retry.
    void stateChanged(MqttClient::State state, const QString& reason);
    void connected();
    // `age`: what the broker left of the message's expiry interval, and how long it may have lain
    // unread here.
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained, const MessageAge& age);
    // The broker took the message (QoS 1 acknowledgement)...
    void published(int messageId);
    // ... or answered with an MQTT 5 reason code of failure ("not authorised").
    void publishRefused(int messageId, const QString& topic, const QString& reason);
    void subscribed(const QString& filter);
    void subscriptionRefused(const QString& filter, const QString& reason);
    void stopped();

private:
    struct Event;
    struct Callbacks; // libmosquitto's callbacks, which only queue events
    friend struct Callbacks;

    void connectNow();
    void watchSocket();
    void dropSocket();
    void readable();
    void writable();
    void housekeeping();
    void lost(const QString& reason);
    void afterLibrary(); // emits what the callbacks queued, and keeps the write watch right
    void handle(const Event& event);
    void setState(State state, const QString& reason);
    void finishStop();

    BrokerConfig m_broker;
    QString m_clientId;
    mosquitto* m_mosq = nullptr;
    bool m_persistent = false;
    int m_keepAlive = 10;
    QString m_willTopic;
    QByteArray m_willPayload;
    int m_willExpiry = 0;

    State m_state = State::Stopped;
    QString m_lastReason;
    bool m_stopping = false;
    int m_retryMs = 0;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    LoopStallWatch m_stalls;
    qint64 m_heldHereMs = 0; // for what the read in progress delivers
    QTimer* m_miscTimer;
    QTimer* m_retryTimer;
    QTimer* m_stopTimer;

    QStringList m_filters;
    QHash<int, QString> m_pendingSubscriptions; // message id to filter
    QHash<int, QString> m_inFlight;             // message id to topic
    std::vector<Event> m_events;
};
