#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class AgentClock;
class MqttClient;
struct StationSettings;

// The station's whole state on its status topic, retained: built from its parts each time, and
// published when the payload differs from the one published last (payloads are compared whole,
// so no field can be left out of the comparison). The same state, offline, is the broker's last
// will. Each part adds its own fields: a new status field is one line in the part that knows it.
// What goes out also says when it was sent (`at`, on this station's clock), with an expiry
// interval the broker counts down, so a reader knows its age whatever the two clocks say.
class StatusBoard : public QObject
{
    Q_OBJECT

public:
    // How often the parts are looked at: the running game, the device service.
    static constexpr int kPollMs = 2000;

    using Fields = std::function<void(QJsonObject& status)>;

    StatusBoard(MqttClient& mqtt, const StationSettings& settings, const AgentClock& clock);

    // `fields` adds the part's fields to the status; `willFields`, when given, then says what
    // the broker's last will says of them instead.
    void add(Fields fields, Fields willFields = {});
    // Fields that change with every look (a session's time left): put in when the status is
    // sent, at the same moment as `at`, and, like `at`, left out of the comparison.
    void addAtSending(Fields fields);

    // Keeps the status current every kPollMs.
    void startPolling();
    // After each connect: "online" again, with everything current, published even when unchanged.
    void online();
    // The agent stops: it says "offline" itself while it can.
    void offline();
    // Builds the status anew; publishes it when it changed, and keeps the will in step.
    void refresh();
    // Builds and publishes it even when unchanged: a warning, a desk that asks for a fresh figure.
    void republish();

    // The status as last built, without `at`.
    const QByteArray& payload() const { return m_built; }

private:
    struct Part {
        Fields fields;
        Fields willFields;
    };
    QJsonObject build() const;
    QJsonObject will(const QJsonObject& status) const;
    QByteArray sentNow(QJsonObject status) const; // with `at`

    MqttClient& m_mqtt;
    const AgentClock& m_clock;
    QString m_topic;
    QJsonObject m_identity; // station, version, host
    std::vector<Part> m_parts;
    std::vector<Fields> m_atSending;
    bool m_online = false;
    qint64 m_since = 0;
    QByteArray m_built;
    QByteArray m_published; // empty: publish whatever is built next
    QByteArray m_will;
    QTimer m_poll;
};
