#pragma once

#include "brokerconfig.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

// What the broker tests do as the venue's clients and its operator: Mosquitto's own command-line
// clients with a station's, the desk's or a device's credentials (what they may publish and read
// shows what the broker allows), the page fetched as a browser would, and a look at the venue's
// files.

// mosquitto_pub's and mosquitto_sub's options for these credentials (MQTT 5, TLS with a CA file).
QStringList clientArguments(const BrokerConfig& config);

// QoS 1: when mosquitto_pub is back, the broker has dealt with the message. Its exit status.
int publish(const BrokerConfig& config, const QString& topic, const QString& payload, bool retain = false);
// A station's topic: "<root>stations/<station>/<leaf>".
QString topic(const QString& station, const QString& leaf);

// A station's, the desk's or a device's file; empty credentials (with a warning) when unreadable.
BrokerConfig stationConfig(const QString& path);
QByteArray contents(const QString& path);
struct stat statOf(const QString& path);

// GET `path` from the desk's page on loopback: the reply. Over TLS trusting `ca` alone (empty:
// the system's CAs), or why TLS failed.
QString httpGet(int port, const QString& path);
QString httpsGet(int port, const QString& ca, const QString& path);

// mosquitto_sub for at most 30 s; what it received as "topic payload" lines.
class Subscriber
{
public:
    Subscriber(const BrokerConfig& config, const QStringList& topics);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // False when the broker refused the connection.
    bool subscribed();
    bool waitFor(const QString& text, int msecs = 5000);
    bool ended(int msecs = 5000);
    QStringList messages();
    QString output();

private:
    QProcess m_process;
    QString m_output;
};
