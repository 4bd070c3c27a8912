#include "testagent.h"

#include <QLocalSocket>
#include <QtTest>

#include <utility>

TestAgent::TestAgent(QString serverName)
    : m_serverName(std::move(serverName))
{
    connect(&m_server, &QLocalServer::newConnection, this, &TestAgent::accept);
}

TestAgent::~TestAgent()
{
    close();
}

bool TestAgent::listen()
{
    // As the agent does: a socket file left by a dead agent is taken over.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(m_serverName);
}

void TestAgent::close()
{
    m_server.close();
    if (m_socket)
        m_socket->abort();
}

void TestAgent::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The newer headset wins; the older is heard to the end, then closed.
        if (m_socket) {
            if (m_link)
                m_link->readPending();
            m_socket->abort();
        }
        m_socket = socket;
        ++m_connections;
        m_link = new HeadsetLink(socket);
        connect(m_link, &HeadsetLink::received, this, [this](const QJsonObject& message) { m_received << message; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        m_link->send(m_view.toJson());
    }
}

void TestAgent::setView(const HeadsetView& view)
{
    m_view = view;
    if (connected())
        m_link->send(view.toJson());
}

void TestAgent::sendNotice(const HeadsetNotice& notice)
{
    if (connected())
        m_link->send(notice.toJson());
}

void TestAgent::sendRaw(const QByteArray& bytes)
{
    if (connected()) {
        m_socket->write(bytes);
        m_socket->flush();
    }
}

bool TestAgent::connected() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

int TestAgent::count(const QString& type) const
{
    return messages(type).size();
}

QList<QJsonObject> TestAgent::messages(const QString& type) const
{
    QList<QJsonObject> found;
    for (const QJsonObject& message : m_received)
        if (message.value("type").toString() == type)
            found << message;
    return found;
}

bool TestAgent::waitFor(const QString& type, int wanted, int msecs)
{
    return QTest::qWaitFor([&] { return count(type) >= wanted; }, msecs);
}

bool TestAgent::waitForConnections(int wanted, int msecs)
{
    return QTest::qWaitFor([&] { return m_connections >= wanted && connected(); }, msecs);
}

bool TestAgent::waitForDisconnect(int msecs)
{
    return QTest::qWaitFor([&] { return !connected(); }, msecs);
}

std::optional<HeadsetRuntime> TestAgent::runtime() const
{
    const QList<QJsonObject> reports = messages("runtime");
    if (reports.isEmpty())
        return std::nullopt;
    const LinkParsed<HeadsetMessage> parsed = HeadsetLink::fromHeadset(reports.last());
    if (parsed.verdict != LinkVerdict::Message)
        return std::nullopt;
    return std::get<HeadsetRuntime>(parsed.message);
}
