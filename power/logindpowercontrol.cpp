#include "logindpowercontrol.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

constexpr int kTimeoutMs = 10000;

} // namespace

LogindPowerControl::LogindPowerControl(const QDBusConnection& bus)
    : m_bus(bus)
{}

void LogindPowerControl::powerOff(const Answer& answer)
{
    call("PowerOff", answer);
}

void LogindPowerControl::restart(const Answer& answer)
{
    call("Reboot", answer);
}

void LogindPowerControl::call(const char* method, const Answer& answer)
{
    if (!m_bus.isConnected()) {
        answer({false, "no D-Bus system bus: " + m_bus.lastError().message()});
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                          "org.freedesktop.login1.Manager", method);
    message << false; // not interactive
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [answer, method](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<> reply = *done;
        done->deleteLater();
        if (reply.isError())
            answer({false,
                    QString("logind refused %1: %2 (%3)").arg(method, reply.error().message(), reply.error().name())});
        else
            answer({true, {}});
    });
}
