#include "headsetserver.h"

#include "sessionstatus.h"

#include <easylogging++.h>

#include <QLocalSocket>

#include <utility>

namespace {

std::string text(const QString& value)
{
    return value.toStdString();
}

} // namespace

HeadsetServer::HeadsetServer(QString serverName, ViewSource view, QObject* parent)
    : QObject(parent)
    , m_serverName(std::move(serverName))
    , m_view(std::move(view))
{
    connect(&m_server, &QLocalServer::newConnection, this, &HeadsetServer::accept);
}

HeadsetServer::~HeadsetServer()
{
    // Nothing said on the way out: the headset finds the agent gone and waits for the next.
    if (m_socket)
        m_socket->disconnect(this);
}

bool HeadsetServer::listen()
{
    // A socket file left by an agent that died is taken over; only this user may connect.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_serverName)) {
        LOG(INFO) << "Headset: listening at " << text(m_serverName);
        return true;
    }
    LOG(ERROR) << "Headset: cannot listen at " << text(m_serverName) << " (" << text(m_server.errorString())
               << "); the headset shows nothing, sessions go on all the same";
    return false;
}

bool HeadsetServer::connected() const
{
    return m_link && !m_link->isRejected() && m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

HeadsetRuntime HeadsetServer::runtime() const
{
    return connected() ? m_runtime : HeadsetRuntime();
}

void HeadsetServer::addTo(QJsonObject& status) const
{
    status.insert("headset", HeadsetStatus{connected(), runtime().vr}.toJson());
}

void HeadsetServer::sendView()
{
    if (connected())
        m_link->send(m_view().toJson());
}

void HeadsetServer::sendNotice(const HeadsetNotice& notice)
{
    if (connected())
        m_link->send(notice.toJson());
}

void HeadsetServer::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The newer headset wins: the older one is a process on its way out, heard to the end.
        if (m_socket) {
            if (m_link)
                m_link->readPending();
            m_socket->disconnect(this);
            m_socket->abort();
            m_socket->deleteLater();
        }
        m_socket = socket;
        m_pid = 0;
        m_runtime = HeadsetRuntime();
        m_link = new HeadsetLink(socket);
        connect(m_link, &HeadsetLink::received, this, &HeadsetServer::received);
        connect(m_link, &HeadsetLink::rejected, this,
                [](const QString& reason) { LOG(ERROR) << "Headset: sent " << text(reason) << "; connection closed"; });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            if (socket != m_socket)
                return;
            LOG(WARNING) << "Headset: disconnected; the headset shows nothing until nerq-headset is back";
            emit changed();
        });
        m_link->send(m_view().toJson());
        emit changed();
    }
}

void HeadsetServer::received(const QJsonObject& message)
{
    const LinkParsed<HeadsetMessage> parsed = HeadsetLink::fromHeadset(message);
    switch (parsed.verdict) {
    case LinkVerdict::Message:
        handle(parsed.message);
        return;
    case LinkVerdict::UnknownType:
        if (!m_unknownTypes.contains(parsed.reason) && m_unknownTypes.size() < 100) {
            m_unknownTypes.insert(parsed.reason);
            LOG(WARNING) << "Headset: skipping messages of the unknown type \"" << text(parsed.reason) << "\"";
        }
        return;
    case LinkVerdict::Invalid:
        drop("sent a wrong message (" + parsed.reason + ")");
        return;
    }
}

void HeadsetServer::handle(const HeadsetMessage& message)
{
    if (const auto* hello = std::get_if<HeadsetHello>(&message)) {
        m_pid = hello->pid;
        LOG(INFO) << "Headset: nerq-headset " << text(hello->version) << " (process " << hello->pid << ") connected";
    } else if (const auto* report = std::get_if<HeadsetRuntime>(&message)) {
        if (report->vr != m_runtime.vr)
            LOG(INFO) << "Headset: " << (report->vr ? "has the VR runtime" : "has no VR runtime");
        const bool statusChanged = report->vr != m_runtime.vr;
        m_runtime = *report;
        emit runtimeReported(*report);
        if (statusChanged)
            emit changed();
    } else if (std::holds_alternative<HeadsetHelpCall>(message)) {
        emit helpCalled();
    } else {
        emit doneConfirmed();
    }
}

void HeadsetServer::drop(const QString& reason)
{
    // A headset that sends nonsense of a known kind cannot be trusted with the customer's buttons.
    LOG(ERROR) << "Headset: " << text(reason) << "; connection closed";
    if (m_socket)
        m_socket->abort();
}
