#include "agentconnection.h"

#include <easylogging++.h>

#include <QCoreApplication>

#include <utility>

AgentConnection::AgentConnection(QString serverName, QString version, QObject* parent)
    : QObject(parent)
    , m_serverName(std::move(serverName))
    , m_version(std::move(version))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &AgentConnection::tryConnect);
}

void AgentConnection::start()
{
    tryConnect();
}

bool AgentConnection::isConnected() const
{
    return m_link && !m_link->isRejected() && m_socket->state() == QLocalSocket::ConnectedState;
}

void AgentConnection::tryConnect()
{
    if (m_socket)
        m_socket->deleteLater();
    auto* socket = new QLocalSocket(this);
    m_socket = socket;
    m_link = new HeadsetLink(socket);
    connect(socket, &QLocalSocket::connected, this, &AgentConnection::connected);
    // A failed attempt and a lost connection both end unconnected.
    connect(socket, &QLocalSocket::stateChanged, this, [this, socket](QLocalSocket::LocalSocketState state) {
        if (socket == m_socket && state == QLocalSocket::UnconnectedState)
            lost(socket->error() == QLocalSocket::UnknownSocketError ? QStringLiteral("closed")
                                                                     : socket->errorString());
    });
    connect(m_link, &HeadsetLink::received, this, &AgentConnection::received);
    connect(m_link, &HeadsetLink::rejected, this, [](const QString& reason) {
        LOG(ERROR) << "Agent: sent " << reason.toStdString() << "; connection closed";
    });
    socket->connectToServer(m_serverName);
}

void AgentConnection::connected()
{
    LOG(INFO) << "Agent: connected at " << m_serverName.toStdString();
    m_reported = false;
    m_wasConnected = true;
    send(HeadsetHello{QCoreApplication::applicationPid(), m_version}.toJson());
    send(m_runtime.toJson());
}

void AgentConnection::lost(const QString& reason)
{
    if (m_retry.isActive())
        return;
    if (m_wasConnected || !m_reported)
        LOG(WARNING) << "Agent: " << (m_wasConnected ? "connection lost" : "not reachable") << " ("
                     << reason.toStdString() << "); trying again every " << kRetryMs / 1000 << " s";
    m_reported = true;
    m_wasConnected = false;
    m_retry.start();
}

void AgentConnection::received(const QJsonObject& message)
{
    const LinkParsed<AgentMessage> parsed = HeadsetLink::fromAgent(message);
    switch (parsed.verdict) {
    case LinkVerdict::Message:
        if (const auto* view = std::get_if<HeadsetView>(&parsed.message))
            emit viewReceived(*view);
        else
            emit noticeReceived(std::get<HeadsetNotice>(parsed.message));
        return;
    case LinkVerdict::UnknownType:
        if (!m_unknownTypes.contains(parsed.reason) && m_unknownTypes.size() < 100) {
            m_unknownTypes.insert(parsed.reason);
            LOG(WARNING) << "Agent: skipping messages of the unknown type \"" << parsed.reason.toStdString() << "\"";
        }
        return;
    case LinkVerdict::Invalid:
        break;
    }
    // A peer that sends nonsense of a known kind cannot be trusted with the customer's screen.
    LOG(ERROR) << "Agent: sent a wrong message (" << parsed.reason.toStdString() << "); connection closed";
    m_socket->abort();
}

void AgentConnection::setRuntime(const HeadsetRuntime& runtime)
{
    m_runtime = runtime;
    send(runtime.toJson());
}

bool AgentConnection::sendHelp()
{
    return send(HeadsetHelpCall().toJson());
}

bool AgentConnection::sendDone()
{
    return send(HeadsetDone().toJson());
}

bool AgentConnection::send(const QByteArray& json)
{
    return isConnected() && m_link->send(json);
}
