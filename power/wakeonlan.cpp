#include "wakeonlan.h"

#include "venueprotocol.h"

#include <QRegularExpression>
#include <QUdpSocket>

namespace WakeOnLan {

std::optional<QByteArray> macBytes(const QString& mac)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{2}([:-][0-9A-Fa-f]{2}){5}")));
    if (!pattern.match(mac).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(QString(mac).remove(':').remove('-').toLatin1());
}

QByteArray magicPacket(const QByteArray& mac)
{
    return QByteArray(6, '\xff') + mac.repeated(16);
}

std::optional<Target> parseTarget(const QString& text, QString* error)
{
    static const QRegularExpression bracketed(
        QRegularExpression::anchoredPattern(QStringLiteral("\\[([^\\]]+)\\](?::(\\d+))?")));
    QString host = text;
    QString port;
    const QRegularExpressionMatch match = bracketed.match(text);
    if (match.hasMatch()) {
        host = match.captured(1);
        port = match.captured(2);
    } else if (text.count(':') == 1) {
        host = text.section(':', 0, 0);
        port = text.section(':', 1);
    }
    Target target;
    if (!target.address.setAddress(host)) {
        *error = QString("\"%1\" is no IP address").arg(host);
        return std::nullopt;
    }
    bool ok = true;
    const int number = port.isEmpty() ? kPort : port.toInt(&ok);
    if (!ok || number < 1 || number > 65535) {
        *error = QString("\"%1\" is no port (1 to 65535)").arg(port);
        return std::nullopt;
    }
    target.port = static_cast<quint16>(number);
    return target;
}

Sent send(const QString& mac, const Target& target)
{
    const std::optional<QByteArray> bytes = macBytes(mac);
    if (!bytes)
        return {false, QString("\"%1\" is no MAC address").arg(mac)};
    // Qt's UDP sockets may send to a broadcast address from the start.
    QUdpSocket socket;
    const QByteArray packet = magicPacket(*bytes);
    if (socket.writeDatagram(packet, target.address, target.port) != packet.size())
        return {false, socket.errorString()};
    return {true, {}};
}

QVector<Packet> wakeInterfaces(const QVector<NetworkAddress>& addresses, const std::optional<Target>& to)
{
    QVector<Packet> packets;
    for (const NetworkAddress& address : addresses) {
        const Target target = to ? *to : Target{QHostAddress(address.broadcast), kPort};
        packets.append({address.mac, target, send(address.mac, target)});
    }
    return packets;
}

} // namespace WakeOnLan
