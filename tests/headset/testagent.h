#pragma once

#include "headsetlink.h"

#include <QJsonObject>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <optional>

class QLocalSocket;

// The station agent's end of the local link, as the tests of nerq-headset need it: listens where
// the agent would, sends the current view to every headset that connects (a newer connection
// replaces the older), sends views, notices and any raw bytes, and keeps what the headset said.
// It stands in for nerq-station until the agent's own tests drive the headset.
class TestAgent : public QObject
{
    Q_OBJECT

public:
    explicit TestAgent(QString serverName);
    ~TestAgent() override;

    bool listen();
    // Stops listening and drops the headset, as an agent that went away.
    void close();

    // Sent now to the headset, and to each that connects later.
    void setView(const HeadsetView& view);
    HeadsetView view() const { return m_view; }
    void sendNotice(const HeadsetNotice& notice);
    void sendRaw(const QByteArray& bytes);

    bool connected() const;
    int connections() const { return m_connections; }
    // Messages from the headset, all connections together, in order.
    QList<QJsonObject> received() const { return m_received; }
    int count(const QString& type) const;
    // Waits until `count` messages of the type have come; false on timeout.
    bool waitFor(const QString& type, int count, int msecs = 10000);
    bool waitForConnections(int count, int msecs = 10000);
    bool waitForDisconnect(int msecs = 10000);
    // The last runtime report, if any.
    std::optional<HeadsetRuntime> runtime() const;
    // Messages of one type, in order.
    QList<QJsonObject> messages(const QString& type) const;

private:
    void accept();

    QString m_serverName;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_socket;
    QPointer<HeadsetLink> m_link;
    HeadsetView m_view;
    int m_connections = 0;
    QList<QJsonObject> m_received;
};
