#pragma once

#include "headsetlink.h"

#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

// nerq-headset's end of the local link to the station agent: connects, says hello and how the VR
// runtime stands, hands on what the agent shows, and tries again every 2 s while the agent is not
// there (logging the change once). A peer that breaks the protocol is dropped with a log line.
class AgentConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRetryMs = 2000;

    AgentConnection(QString serverName, QString version, QObject* parent = nullptr);

    void start();
    bool isConnected() const;
    // Kept, and sent now when connected and again on every connect.
    void setRuntime(const HeadsetRuntime& runtime);
    // False when there is no agent to hand it to.
    bool sendHelp();
    bool sendDone();

signals:
    void viewReceived(const HeadsetView& view);
    void noticeReceived(const HeadsetNotice& notice);

private:
    void tryConnect();
    void connected();
    void lost(const QString& reason);
    void received(const QJsonObject& message);
    bool send(const QByteArray& json);

    QString m_serverName;
    QString m_version;
    QPointer<QLocalSocket> m_socket;
    QPointer<HeadsetLink> m_link;
    HeadsetRuntime m_runtime;
    QTimer m_retry;
    // Logged once each: a change of reachability, and each unknown message type.
    bool m_reported = false;
    bool m_wasConnected = false;
    QSet<QString> m_unknownTypes;
};
