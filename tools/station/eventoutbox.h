#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

class AgentClock;
class MqttClient;

// What happened on the station, as events for the venue's books: each one is on disk (synced)
// before it is sent, and stays there until the recorder acknowledges it (recorder/<station>,
// retained), so neither a broker that dies nor a station killed in between loses or repeats one.
// Sequence numbers go on from the last one ever written, across restarts. Everything outstanding
// goes out in order at each connect, and the first of it again whenever the acknowledgement has
// stood still for kResendMs. Bounded: past maxEvents or maxAgeMs the oldest go, named by an
// events-dropped event, so the acknowledgement can pass them.
//
//   EventOutbox outbox(mqtt, "st01", stateDir + "/station-st01.events", clock);
//   outbox.open();
//   outbox.record("game-started", {{"gameId", "orbit"}, {"by", "desk"}, {"session", QJsonValue()}});
//
// The file holds one JSON object a line: the events, and {"upTo": n} or {"next": n, "upTo": n}
// for what is acknowledged and the next sequence number. It is written anew at open and when
// mostly acknowledged; between those, lines are appended.
class EventOutbox : public QObject
{
    Q_OBJECT

public:
    struct Limits {
        int maxEvents = 10000;
        qint64 maxAgeMs = 30LL * 24 * 60 * 60 * 1000;
    };
    static constexpr int kResendMs = 3000;
    static constexpr int kResendWindow = 200;

    EventOutbox(MqttClient& mqtt, QString station, QString path, const AgentClock& clock, Limits limits);
    EventOutbox(MqttClient& mqtt, QString station, QString path, const AgentClock& clock);
    ~EventOutbox() override;

    // Reads what earlier runs left (a line it cannot read is skipped with a warning) and writes
    // the file anew. False, with an error log, when the file cannot be written: events are then
    // kept in memory only.
    bool open();
    // Subscribe-side wiring: the acknowledgement's topic and the resend timer.
    void start();

    // A new event of `type` with the type's fields, now, on disk and then sent; its seq.
    qint64 record(const QString& type, const QJsonObject& fields = {});
    // A message on recorder/<station>; anything else than an acknowledgement of this station's
    // events as far as it has sent is logged and ignored, except the books' word, while nothing
    // was ever acknowledged here, that they hold more: this outbox was lost, and numbers on.
    void handleAck(const QByteArray& payload);
    // In order, the first `most` (all when negative), when connected.
    void sendOutstanding(int most = -1);

    // Without a sync after each event (a benchmark filling an outbox); on by default.
    void setSynced(bool synced) { m_synced = synced; }

    qint64 lastSeq() const { return m_next - 1; }
    qint64 acknowledged() const { return m_upTo; }
    int outstanding() const { return m_events.size(); }
    QString topic() const;
    QString ackTopic() const;

private:
    void load();
    void take(const QJsonObject& line, const QByteArray& text);
    bool rewrite();
    bool append(const QByteArray& line, bool sync);
    qint64 add(const QString& type, QJsonObject fields, qint64 at);
    void enforceBounds(qint64 now);
    void dropOldest(int count);
    void checkProgress();
    void numberOnFrom(qint64 upTo);
    void holdIfAsked(const QString& type, qint64 seq) const;

    MqttClient& m_mqtt;
    QString m_station;
    QString m_path;
    const AgentClock& m_clock;
    Limits m_limits;
    QFile m_file;
    bool m_writable = false;
    bool m_synced = true;
    QMap<qint64, QByteArray> m_events; // outstanding, by seq
    QMap<qint64, qint64> m_times;      // their `at`
    qint64 m_next = 1;
    qint64 m_upTo = 0;
    int m_deadLines = 0; // acknowledged events still in the file
    bool m_warnedFull = false;
    qint64 m_lastChecked = -1;
    QTimer m_resend;
    QString m_holdAfter; // a test's: the type after whose writing the agent stops dead
};
