#include "stationpower.h"

#include "networkaddresses.h"
#include "powercontrol.h"

#include <easylogging++.h>

#include <QJsonArray>
#include <QJsonDocument>

StationPower::StationPower() = default;

StationPower::~StationPower() = default;

void StationPower::offer(CommandRunner& commands)
{
    commands.offer("power",
                   [this](const StationCommand& command, const CommandRunner::Reply& reply) { power(command, reply); });
}

void StationPower::addTo(QJsonObject& status)
{
    if (!m_networkAge.isValid() || m_networkAge.elapsed() >= kNetworkLookMs) {
        m_network = localNetworkAddresses();
        m_networkAge.start();
    }
    status.insert("network", QJsonDocument::fromJson(networkToJson(m_network)).array());
}

void StationPower::power(const StationCommand& command, const CommandRunner::Reply& reply)
{
    const bool off = command.action == QLatin1String("off");
    if (!command.force && m_inSession && m_inSession()) {
        reply(Outcome::failed(
            QString("a customer is in a session: not %1 (force it to)").arg(off ? "switched off" : "restarted")));
        return;
    }
    LOG(WARNING) << (off ? "Switching this PC off" : "Restarting this PC") << " at the desk's request (command "
                 << command.id.toStdString() << (command.force ? ", forced" : "") << ')';
    if (!m_control)
        m_control = PowerControl::forThisMachine();
    const PowerControl::Answer answer = [reply](const PowerControl::Outcome& outcome) {
        reply(outcome.done ? Outcome::done() : Outcome::failed("the system refused: " + outcome.error));
    };
    if (off)
        m_control->powerOff(answer);
    else
        m_control->restart(answer);
}
