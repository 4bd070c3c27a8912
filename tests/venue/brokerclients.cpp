#include "brokerclients.h"

#include "programrun.h"
#include "venueprotocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>

namespace {

QString request(QTcpSocket& socket, const QString& path)
{
    socket.write(("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").toLatin1());
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return QString::fromUtf8(reply);
}

} // namespace

QStringList clientArguments(const BrokerConfig& config)
{
    QStringList arguments{"-h", config.host, "-p", QString::number(config.port), "-V", "mqttv5"};
    if (!config.user.isEmpty())
        arguments << "-u" << config.user << "-P" << config.password;
    if (!config.caFile.isEmpty())
        arguments << "--cafile" << config.caFile;
    return arguments;
}

int publish(const BrokerConfig& config, const QString& topic, const QString& payload, bool retain)
{
    int exitCode = 0;
    QStringList arguments = clientArguments(config) + QStringList{"-q", "1", "-t", topic, "-m", payload};
    if (retain)
        arguments << "-r";
    runTool("mosquitto_pub", arguments, &exitCode, 10000);
    return exitCode;
}

QString topic(const QString& station, const QString& leaf)
{
    return VenueTopics::root() + "stations/" + station + '/' + leaf;
}

BrokerConfig stationConfig(const QString& path)
{
    BrokerConfig config;
    QString error;
    if (!BrokerConfig::load(path, &config, &error))
        qWarning("%s", qPrintable(error));
    return config;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct stat statOf(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

QString httpGet(int port, const QString& path)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
    return socket.waitForConnected(5000) ? request(socket, path) : "cannot connect: " + socket.errorString();
}

QString httpsGet(int port, const QString& ca, const QString& path)
{
    QSslSocket socket;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!ca.isEmpty())
        config.setCaCertificates(QSslCertificate::fromPath(ca));
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted("127.0.0.1", static_cast<quint16>(port));
    if (!socket.waitForEncrypted(5000))
        return "TLS failed: " + socket.errorString();
    return request(socket, path);
}

Subscriber::Subscriber(const BrokerConfig& config, const QStringList& topics)
{
    QStringList arguments = clientArguments(config) + QStringList{"-d", "-v", "-q", "1", "-W", "30"};
    for (const QString& filter : topics)
        arguments << "-t" << filter;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // Line-buffered, or the subscription's acknowledgement would only show at the end.
    m_process.start("stdbuf", QStringList{"-oL", "mosquitto_sub"} + arguments);
}

Subscriber::~Subscriber()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool Subscriber::subscribed()
{
    return waitFor("received SUBACK");
}

bool Subscriber::waitFor(const QString& text, int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (!output().contains(text) && timer.elapsed() < msecs && m_process.state() != QProcess::NotRunning)
        m_process.waitForReadyRead(50);
    return output().contains(text);
}

bool Subscriber::ended(int msecs)
{
    return m_process.waitForFinished(msecs) || m_process.state() == QProcess::NotRunning;
}

QStringList Subscriber::messages()
{
    QStringList lines = output().split('\n');
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [](const QString& line) { return !line.startsWith("nerq/"); }),
        lines.end());
    return lines;
}

QString Subscriber::output()
{
    m_output += QString::fromUtf8(m_process.readAll());
    return m_output;
}
