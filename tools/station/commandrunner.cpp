#include "commandrunner.h"

#include "agentclock.h"
#include "mqttclient.h"

#include <easylogging++.h>

#include <utility>

namespace {

std::string text(const QString& value)
{
    return value.toStdString();
}

} // namespace

CommandRunner::CommandRunner(MqttClient& mqtt, QString station, QString journalPath, const AgentClock& clock)
    : m_mqtt(mqtt)
    , m_station(std::move(station))
    , m_journal(std::move(journalPath))
    , m_clock(clock)
{}

void CommandRunner::offer(const QString& command, Action action)
{
    m_actions.insert(command, std::move(action));
}

void CommandRunner::load()
{
    QString warning;
    if (!m_journal.load(&warning))
        LOG(WARNING) << text(warning);
}

void CommandRunner::handle(const QByteArray& payload, const MessageAge& age)
{
    StationCommand command;
    QString error;
    if (!StationCommand::parse(payload, &command, &error)) {
        LOG(WARNING) << "Command " << (command.id.isEmpty() ? std::string("without an id") : text(command.id))
                     << " refused: " << text(error);
        publish({command.id, m_station, false, error, m_clock.wallMs()});
        return;
    }
    if (m_running.contains(command.id)) {
        LOG(INFO) << "Command " << text(command.id) << " delivered again while it is carried out; its answer follows";
        return;
    }
    if (const auto done = m_journal.find(command.id)) {
        answerAgain(command, *done);
        return;
    }
    const QString refused = refusal(command, age);
    const auto action = m_actions.constFind(command.command);
    if (!refused.isEmpty() || action == m_actions.cend()) {
        finish(command, Outcome::failed(refused.isEmpty() ? "this station does not know it" : refused));
        return;
    }
    m_running.insert(command.id);
    action.value()(command, [this, command](const Outcome& outcome) { finish(command, outcome); });
}

void CommandRunner::answerAgain(const StationCommand& command, const CommandJournal::Entry& done)
{
    // Delivered again: the same answer, nothing carried out twice.
    LOG(INFO) << "Command " << text(command.id) << " was taken on before; not carried out again";
    CommandResult result{command.id, m_station, false, "the agent stopped while carrying it out; not carried out again",
                         m_clock.wallMs()};
    QString error;
    if (!done.result.isEmpty() && CommandResult::parse(done.result, &result, &error)) {
        m_mqtt.publish(VenueTopics::results(m_station), done.result, false);
        return;
    }
    if (!done.result.isEmpty())
        LOG(WARNING) << "The noted result of command " << text(command.id) << " cannot be read (" << text(error)
                     << "); it is answered as not carried out again";
    publish(result);
}

QString CommandRunner::refusal(const StationCommand& command, const MessageAge& age)
{
    QString error;
    if (!command.station.isEmpty() && command.station != m_station)
        return "meant for station \"" + command.station + "\", not this one";
    // A customer must not find a game starting long after the desk gave up on it, whatever this
    // station's clock says: the broker's count of the command's lifetime decides.
    const qint64 now = m_clock.wallMs();
    const MessageTiming::Freshness freshness = MessageTiming::judge(command, age, now);
    if (!freshness.fresh)
        return freshness.reason;
    // Kept by its end on this station's clock, which is the one the journal is pruned by.
    if (!m_journal.begin(command.id, now + freshness.leftMs, now, &error))
        return "not carried out: the agent cannot note it, so it might run twice (" + error + ")";
    return {};
}

void CommandRunner::finish(const StationCommand& command, const Outcome& outcome)
{
    m_running.remove(command.id);
    const CommandResult result{command.id, m_station, outcome.ok(), outcome.reason(), m_clock.wallMs()};
    LOG(INFO) << "Command " << text(command.id) << " (" << text(command.command)
              << (command.gameId.isEmpty() ? std::string() : " " + text(command.gameId)) << ", from "
              << text(command.by.isEmpty() ? QStringLiteral("desk") : command.by)
              << "): " << (result.ok ? std::string("done") : text(result.error));
    // The desk hears first; the state that changed and the note of the answer follow.
    publish(result);
    emit answered(command, outcome);
    emit carriedOut();
    QString error;
    if (!m_journal.finish(command.id, result.toJson(), &error))
        LOG(ERROR) << "Could not note the result of command " << text(command.id) << ": " << text(error);
}

void CommandRunner::publish(const CommandResult& result)
{
    if (m_mqtt.publish(VenueTopics::results(m_station), result.toJson(), false) < 0)
        LOG(WARNING) << "The result of command " << text(result.id) << " could not be sent: not connected";
}
