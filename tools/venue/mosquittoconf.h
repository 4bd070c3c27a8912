#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The broker's mosquitto.conf as nerq-venue init writes it: no anonymous client, the password
// and ACL files for every listener, persistence, the station listener and the websockets
// listener of the desk's page, all with absolute paths.
struct MosquittoConf {
    QString dir;         // the venue's folder, absolute
    QString user;        // whom a broker started by root runs as; empty: no such line
    QString bindAddress; // the listeners' address; empty: every interface
    int port = 1883;
    int wsPort = 9001;
    bool tls = false;
    // With TLS the broker's websockets listener takes this port on loopback, and stunnel the
    // page's port with the venue's certificate (see PageTls): Debian 12's Mosquitto serves no
    // page over TLS that a browser can read.
    int wsLocalPort = 0;
    QString httpDir; // the desk's page; empty: the websockets listener serves none

    QByteArray text() const;
    // What the broker must read as it starts, as the paths this configuration names (the
    // persistence folder, which it also writes, last); and what it serves of the page.
    QStringList brokerReads() const;
    QString persistence() const;
    QStringList pageReads() const;

    // Why a line of mosquitto's configuration cannot name `path`, or empty when it can: the
    // broker reads it as UTF-8 and refuses control characters in it.
    static QString unfitPath(const QString& path);
};
