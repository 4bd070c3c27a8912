#pragma once

#include "commandrunner.h"
#include "venueprotocol.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QVector>

#include <functional>
#include <memory>

class PowerControl;

// Opening and closing the venue, the station's side: the network interfaces the desk wakes it by
// (`network` in its status, and so in its last will), and the desk's `power` command carried out
// through the operating system, refused while a customer is in a session unless forced.
class StationPower
{
public:
    // The interfaces are looked at again after this long (an address from DHCP may change).
    static constexpr qint64 kNetworkLookMs = 60 * 1000;
    using InSession = std::function<bool()>;

    StationPower();
    ~StationPower();
    StationPower(const StationPower&) = delete;
    StationPower& operator=(const StationPower&) = delete;

    // Whether a customer's session runs now; none runs until this is set.
    void setInSession(InSession inSession) { m_inSession = std::move(inSession); }
    void offer(CommandRunner& commands);
    void addTo(QJsonObject& status);
    void power(const StationCommand& command, const CommandRunner::Reply& reply);

private:
    InSession m_inSession;
    std::unique_ptr<PowerControl> m_control; // made at the first power command
    QVector<NetworkAddress> m_network;
    QElapsedTimer m_networkAge;
};
