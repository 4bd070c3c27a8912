#pragma once

#include "headsetlink.h"
#include "outcome.h"
#include "sessionstatus.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

#include <optional>

class AgentClock;

// The customer's call for help, from the headset's button to the desk: kept with the time it was
// made (and in the agent's state), so a call made while the broker is away reaches the desk with
// that time once it is back; answered by the desk's help-answer. A new customer (a session's
// start) or a cleaned station clears it.
class HelpCall : public QObject
{
    Q_OBJECT

public:
    explicit HelpCall(const AgentClock& clock, QObject* parent = nullptr);

    // The customer pressed the button (again: a fresh call).
    void call(const QString& session);
    // The desk has seen it; `by` who is coming, or empty.
    Outcome answer(const QString& by);
    void clear();

    // `help`, as the status says it.
    void addTo(QJsonObject& status) const;
    // What the headset shows: `reachable` is whether the agent can reach the broker now.
    std::optional<HelpView> view(bool reachable) const;

    QJsonValue save() const;
    void restore(const QJsonValue& value);

signals:
    void changed();
    void called(const QString& session);
    void answered(const QString& by, qint64 calledAt);

private:
    const AgentClock& m_clock;
    std::optional<HelpStatus> m_call;
};
