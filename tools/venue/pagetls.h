#pragma once

#include <QByteArray>
#include <QString>

// TLS for the desk's page: stunnel takes the page's port with the broker's certificate and hands
// each connection to the broker's own websockets listener on loopback. Debian 12's Mosquitto
// cannot do it itself: over TLS its web server offers browsers HTTP/2, which its page serving
// does not speak, and every browser fails the page. stunnel offers no HTTP/2, so browsers speak
// HTTP/1.1 to it, websockets included.
struct PageTls {
    static constexpr const char* kFile = "page-tls.conf";

    QString dir;         // the venue's folder, absolute
    QString bindAddress; // empty: every interface
    int port = 9001;     // the page's port, https:// and wss://
    int localPort = 0;   // the broker's websockets listener, on loopback

    // stunnel's configuration, run in the foreground: `stunnel DIR/page-tls.conf`.
    QByteArray text() const;
};
