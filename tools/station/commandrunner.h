#pragma once

#include "commandjournal.h"
#include "messageage.h"
#include "outcome.h"
#include "venueprotocol.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class AgentClock;
class MqttClient;

// The desk's commands to this station: each checked (its form; meant for this station; its
// lifetime not over, by the broker's count where it gives one), carried out at most once whatever the broker delivers (the journal notes it before it
// runs), and answered on the station's results. What a command does is offered by the part that
// does it; an action may answer later, from work done beside the loop.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(const Outcome& outcome)>;
    using Action = std::function<void(const StationCommand& command, Reply reply)>;

    CommandRunner(MqttClient& mqtt, QString station, QString journalPath, const AgentClock& clock);

    void offer(const QString& command, Action action);
    // The journal of what was carried out before, at start.
    void load();
    // A message on the station's commands topic; `age` as the client read it.
    void handle(const QByteArray& payload, const MessageAge& age = MessageAge());

signals:
    // A command was carried out and answered: the state it changed is worth publishing.
    void carriedOut();
    // Every command answered after it was taken on, for the books.
    void answered(const StationCommand& command, const Outcome& outcome);

private:
    void answerAgain(const StationCommand& command, const CommandJournal::Entry& done);
    // Why the command must not run, or empty; notes it in the journal when it may.
    QString refusal(const StationCommand& command, const MessageAge& age);
    void finish(const StationCommand& command, const Outcome& outcome);
    void publish(const CommandResult& result);

    MqttClient& m_mqtt;
    QString m_station;
    CommandJournal m_journal;
    const AgentClock& m_clock;
    QHash<QString, Action> m_actions;
    QSet<QString> m_running; // ids carried out now, their answer to come
};
