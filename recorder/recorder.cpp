#include "recorder.h"

#include "mqttclient.h"
#include "venuejson.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <QJsonObject>

namespace {

// One warning a station at most this often; the rest are counted into the next.
constexpr qint64 kWarningGapMs = 10000;
// With nothing new, today's figures still move on with the sessions that run: once a minute.
constexpr qint64 kSummaryRefreshMs = 60000;

} // namespace

Recorder::Recorder(MqttClient& mqtt, const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_settings(settings)
    , m_store(settings.databasePath)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(m_settings.batchMs);
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(m_settings.retryMs);
    m_summaryTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kSummaryRefreshMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &Recorder::flush);
    connect(&m_retryTimer, &QTimer::timeout, this, &Recorder::retry);
    connect(&m_summaryTimer, &QTimer::timeout, this, &Recorder::publishSummary);
    // Once a minute the summary is made again with nothing new, for the day's clock moves on; a
    // test of its age here would miss every other tick, as a summary comes a moment after its tick.
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        m_summaryDirty = true;
        summaryDue();
    });
    connect(&m_mqtt, &MqttClient::messageReceived, this, &Recorder::received);
    connect(&m_mqtt, &MqttClient::connected, this, [this] {
        // A broker that lost its retained messages (killed before it saved them) gets them again.
        if (!m_failing)
            publishAcks(m_store.acks().all().keys());
        m_summaryDirty = true;
        summaryDue();
    });
}

Recorder::~Recorder() = default;

void Recorder::start()
{
    m_mqtt.subscribe(VenueTopics::allEvents());
    m_mqtt.subscribe(VenueTopics::allStatuses());
    const BooksDatabase::Outcome outcome = m_store.open();
    if (outcome.ok())
        LOG(INFO) << "Books: " << m_settings.databasePath.toStdString() << ", " << m_store.acks().all().size()
                  << " stations known";
    else
        fail(outcome);
    if (m_settings.summary)
        m_refreshTimer.start();
}

qint64 Recorder::now() const
{
    return m_settings.clock ? m_settings.clock() : nowMs();
}

void Recorder::received(const QString& topic, const QByteArray& payload, bool)
{
    if (const QString station = VenueTopics::stationOf(topic, "events"); !station.isEmpty())
        eventReceived(station, payload);
    else if (const QString reporter = VenueTopics::stationOf(topic, "status"); !reporter.isEmpty())
        statusReceived(reporter, payload);
}

void Recorder::eventReceived(const QString& station, const QByteArray& payload)
{
    QString error;
    std::optional<StationEvent> event = StationEvent::parse(station, payload, &error);
    if (!event) {
        warn(station, "an event that is not one, not recorded: " + error);
        return;
    }
    if (m_pending.events.size() >= m_settings.maxPending) {
        // The station still holds it, unacknowledged, and sends it again.
        if (!m_droppedWarned)
            LOG(WARNING) << "Books: " << m_pending.events.size()
                         << " events wait for the database; later ones are left with the stations";
        m_droppedWarned = true;
        return;
    }
    // Committed long ago: the station missed the acknowledgement, which it gets again, once.
    if (m_store.isOpen() && event->seq <= m_store.acks().upTo(station)) {
        m_reacknowledge.insert(station);
        queued();
        return;
    }
    m_pending.events.append(*event);
    queued();
}

void Recorder::statusReceived(const QString& station, const QByteArray& payload)
{
    if (payload.isEmpty())
        return; // a station taken away
    StationStatus status;
    QString error;
    if (!StationStatus::parse(payload, &status, &error) || status.station != station) {
        warn(station, "a status that is not one: " + (error.isEmpty() ? "it names " + status.station : error));
        return;
    }
    // The broker's last will is the one status without a time: the connection died unseen.
    const bool will = !status.online && status.since == 0;
    const std::optional<bool> known = presence(station);
    if ((will && known != false) || (status.online && known == false)) {
        m_pending.presence.append({station, now(), status.online});
        m_pendingPresence.insert(station, status.online);
        LOG(INFO) << "Station " << station.toStdString()
                  << (status.online ? " is back" : ": the broker says its connection died");
    }
    const QByteArray addresses = networkToJson(status.network);
    if (!status.network.isEmpty() && addresses != network(station)) {
        m_pending.networks.append({station, addresses, now()});
        m_pendingNetworks.insert(station, addresses);
    }
    queued();
}

std::optional<bool> Recorder::presence(const QString& station) const
{
    const auto pending = m_pendingPresence.constFind(station);
    return pending != m_pendingPresence.cend() ? std::optional<bool>(*pending) : m_store.presence(station);
}

QByteArray Recorder::network(const QString& station) const
{
    return m_pendingNetworks.value(station, m_store.network(station));
}

void Recorder::queued()
{
    if (m_failing || (m_pending.isEmpty() && m_reacknowledge.isEmpty()))
        return;
    if (m_pending.size() >= m_settings.maxBatch)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void Recorder::flush()
{
    m_flushTimer.stop();
    if (m_failing)
        return;
    QStringList moved;
    const bool writing = !m_pending.isEmpty();
    if (writing) {
        const BooksDatabase::Outcome outcome = m_store.write(m_pending, now(), &moved);
        if (!outcome.ok()) {
            fail(outcome);
            return;
        }
    }
    for (const QString& station : qAsConst(m_reacknowledge)) {
        if (!moved.contains(station))
            moved << station;
    }
    m_reacknowledge.clear();
    m_pending = BooksBatch();
    m_pendingPresence.clear();
    m_pendingNetworks.clear();
    m_droppedWarned = false;
    m_summaryDirty = m_summaryDirty || writing;
    publishAcks(moved);
    summaryDue();
}

void Recorder::fail(const BooksDatabase::Outcome& outcome)
{
    if (!m_failing || outcome.message != m_problem)
        LOG(ERROR) << "Books: " << outcome.message.toStdString()
                   << "; no acknowledgements until they can be written (the stations keep their events)";
    m_failing = true;
    m_problem = outcome.message;
    m_store.close();
    m_retryTimer.start();
}

void Recorder::retry()
{
    const BooksDatabase::Outcome outcome = m_store.open();
    if (!outcome.ok()) {
        fail(outcome);
        return;
    }
    LOG(INFO) << "Books: " << m_settings.databasePath.toStdString() << " can be written again";
    m_failing = false;
    m_problem.clear();
    // What was acknowledged before is acknowledged again: a station may have missed it.
    publishAcks(m_store.acks().all().keys());
    flush();
}

void Recorder::publishAcks(const QStringList& stations)
{
    if (!m_mqtt.isConnected())
        return;
    for (const QString& station : stations) {
        const QJsonObject ack{
            {"station", station}, {"upTo", double(m_store.acks().upTo(station))}, {"at", double(now())}};
        m_mqtt.publish(VenueTopics::recorderAck(station), VenueJson::compact(ack), true);
    }
}

void Recorder::summaryDue()
{
    if (!m_settings.summary || m_summaryTimer.isActive())
        return;
    if (!m_summaryDirty)
        return;
    // At most one every summaryMs, on the monotonic clock: a burst of events makes one summary.
    const qint64 wait = m_summaryClock.isValid() ? m_settings.summaryMs - m_summaryClock.elapsed() : 0;
    m_summaryTimer.start(static_cast<int>(qBound<qint64>(0, wait, m_settings.summaryMs)));
}

void Recorder::publishSummary()
{
    if (m_failing || !m_mqtt.isConnected())
        return;
    const QByteArray summary = m_settings.summary(now());
    if (summary.isEmpty() || m_mqtt.publish(VenueTopics::todayReport(), summary, true) < 0)
        return;
    m_summaryDirty = false;
    m_summaryClock.start();
}

void Recorder::warn(const QString& station, const QString& what)
{
    Warnings& warnings = m_warnings[station];
    const qint64 at = now();
    if (warnings.lastAt && at - warnings.lastAt < kWarningGapMs) {
        ++warnings.since;
        return;
    }
    const QString more = warnings.since ? QString(" (and %1 more since the last warning)").arg(warnings.since) : "";
    LOG(WARNING) << "Station " << station.toStdString() << ": " << what.toStdString() << more.toStdString();
    warnings = {at, 0};
}
