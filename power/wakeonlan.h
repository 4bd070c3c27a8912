#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QVector>

#include <optional>

struct NetworkAddress;

// Wake-on-LAN: the magic packet (6 bytes 0xFF, then the interface's MAC address 16 times) in one
// UDP datagram, by default to the interface's broadcast address on port 9.
namespace WakeOnLan {

constexpr quint16 kPort = 9;

struct Target {
    QHostAddress address;
    quint16 port = kPort;
};

// The 6 bytes of "aa:bb:cc:dd:ee:ff" (or with "-"); none for anything else.
std::optional<QByteArray> macBytes(const QString& mac);
QByteArray magicPacket(const QByteArray& mac);
// "ADDRESS[:PORT]" (an IPv6 address in brackets when it has a port); none, with the reason.
std::optional<Target> parseTarget(const QString& text, QString* error);

struct Sent {
    bool ok = false;
    QString error; // what the system said when not
};
Sent send(const QString& mac, const Target& target);

// A packet for each of a station's interfaces: to the interface's broadcast address on kPort, or
// all to `to`.
struct Packet {
    QString mac;
    Target target;
    Sent sent;
};
QVector<Packet> wakeInterfaces(const QVector<NetworkAddress>& addresses, const std::optional<Target>& to);

} // namespace WakeOnLan
