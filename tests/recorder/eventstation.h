#pragma once

#include "brokerconfig.h"
#include "mqttclient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

// A station as the recorder sees it, played by the test: it publishes events exactly as the
// README's table has them, keeps each in an outbox until the recorder acknowledges it, and sends
// what is outstanding again, in order, whenever it connects, and the first of it when the
// acknowledgement has not moved for a while (as the station agent will).
//
//   EventStation st01("st01", broker.addStation("st01"));
//   st01.start();
//   const qint64 seq = st01.emitEvent("game-started", {{"gameId", "orbit"}, {"by", "desk"}, {"session", QJsonValue()}});
//   QVERIFY(st01.waitAcknowledged(seq));
class EventStation : public QObject
{
    Q_OBJECT

public:
    EventStation(const QString& id, const QString& configFile, QObject* parent = nullptr);

    const QString& id() const { return m_id; }
    void start();
    void stop();
    MqttClient& mqtt() { return m_mqtt; }

    // Adds the event to the outbox and sends it when connected; its seq. `at` 0: now.
    qint64 emitEvent(const QString& type, const QJsonObject& fields = {}, qint64 at = 0);
    // The payload of an event as it is (or was) sent.
    QByteArray payload(qint64 seq) const { return m_sent.value(seq); }
    QMap<qint64, QByteArray> everything() const { return m_sent; }
    qint64 lastSeq() const { return m_nextSeq - 1; }
    // The recorder's last acknowledgement, and the events still in the outbox.
    qint64 acknowledged() const { return m_acknowledged; }
    int outstanding() const { return m_outbox.size(); }
    int acknowledgements() const { return m_acks; }
    bool waitAcknowledged(qint64 seq, int msecs = 15000);
    // Starts the sequence numbers here (a station whose outbox dropped the ones before).
    void skipTo(qint64 seq) { m_nextSeq = seq; }

private:
    // In order; `most` < 0: all of them.
    void sendOutstanding(int most);
    void received(const QString& topic, const QByteArray& payload);
    void checkProgress();

    QString m_id;
    MqttClient m_mqtt;
    qint64 m_nextSeq = 1;
    qint64 m_acknowledged = 0;
    qint64 m_lastProgressCheck = -1;
    int m_acks = 0;
    QMap<qint64, QByteArray> m_outbox;
    QMap<qint64, QByteArray> m_sent;
    QTimer m_resend;
};
