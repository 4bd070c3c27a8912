#pragma once

#include <QByteArray>
#include <QString>

// The [broker] section of a station's station.conf or the desk's console.conf: where the venue's
// broker is and whom to sign in as. nerq-venue writes both; an operator may edit them by hand.
//
//   [broker]
//   host=desk-pc
//   port=1883
//   station=st01          (console.conf: user=desk)
//   password=...
//   cafile=venue-ca.crt   (only with TLS; relative to the file's folder)
struct BrokerConfig {
    QString host;
    int port = 1883;
    QString user; // a station's id, which is its MQTT user name, or the desk's user
    QString password;
    QString caFile; // absolute; empty when the broker speaks plain MQTT
    bool station = false;

    // False, with "<file>:<line>: <reason>" or "<file>: <reason>", when the file cannot be read
    // or lacks what a connection needs.
    static bool load(const QString& path, BrokerConfig* config, QString* error);
    // The file's text; `caFile` is written as given, so a relative name stays relative.
    QByteArray text() const;
};

// A station id: 1 to 64 ASCII letters, digits, "-" or "_". It becomes an MQTT user name and a
// topic level, so nothing else may pass.
bool isStationId(const QString& id);
