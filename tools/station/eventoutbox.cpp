#include "eventoutbox.h"

#include "agentclock.h"
#include "fileplatform.h"
#include "mqttclient.h"
#include "safefile.h"
#include "venuejson.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <QJsonDocument>
#include <QThread>

#include <cmath>
#include <utility>

namespace {

using VenueJson::compact;

// A whole number in the range the interface carries, or -1.
qint64 wholeNumber(const QJsonValue& value)
{
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < 0 || d > double(kLatestTime) || std::floor(d) != d)
        return -1;
    return qint64(d);
}

} // namespace

EventOutbox::EventOutbox(MqttClient& mqtt, QString station, QString path, const AgentClock& clock, Limits limits)
    : m_mqtt(mqtt)
    , m_station(std::move(station))
    , m_path(std::move(path))
    , m_clock(clock)
    , m_limits(limits)
    , m_holdAfter(qEnvironmentVariable("NERQ_STATION_HOLD_AFTER_EVENT"))
{
    m_resend.setInterval(kResendMs);
    connect(&m_resend, &QTimer::timeout, this, &EventOutbox::checkProgress);
    connect(&m_mqtt, &MqttClient::connected, this, [this] { sendOutstanding(); });
}

EventOutbox::EventOutbox(MqttClient& mqtt, QString station, QString path, const AgentClock& clock)
    : EventOutbox(mqtt, std::move(station), std::move(path), clock, Limits())
{}

EventOutbox::~EventOutbox() = default;

QString EventOutbox::topic() const
{
    return VenueTopics::events(m_station);
}

QString EventOutbox::ackTopic() const
{
    return VenueTopics::recorderAck(m_station);
}

bool EventOutbox::open()
{
    load();
    m_writable = rewrite();
    return m_writable;
}

void EventOutbox::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        LOG(ERROR) << m_path.toStdString() << " cannot be read (" << file.errorString().toStdString()
                   << "): the events it holds are not sent, and sequence numbers may repeat";
        return;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            // A machine that died while a line was written leaves part of it.
            LOG(WARNING) << m_path.toStdString() << ", line " << lineNumber << ": not an event; skipped";
            continue;
        }
        take(document.object(), line);
    }
    for (auto it = m_events.begin(); it != m_events.end();) {
        if (it.key() <= m_upTo) {
            m_times.remove(it.key());
            it = m_events.erase(it);
        } else {
            ++it;
        }
    }
}

void EventOutbox::take(const QJsonObject& line, const QByteArray& text)
{
    const qint64 seq = wholeNumber(line.value("seq"));
    const qint64 upTo = wholeNumber(line.value("upTo"));
    const qint64 next = wholeNumber(line.value("next"));
    if (seq > 0 && line.value("type").isString()) {
        m_events.insert(seq, text);
        m_times.insert(seq, wholeNumber(line.value("at")));
        m_next = qMax(m_next, seq + 1);
    }
    if (upTo >= 0)
        m_upTo = qMax(m_upTo, upTo);
    if (next > 0)
        m_next = qMax(m_next, next);
}

bool EventOutbox::rewrite()
{
    m_file.close();
    QByteArray text = compact({{"next", double(m_next)}, {"upTo", double(m_upTo)}}) + '\n';
    for (const QByteArray& event : std::as_const(m_events))
        text += event + '\n';
    StagedFile staged(m_path);
    QString error;
    if (!staged.write(text, &error) || !staged.commit(&error)) {
        LOG(ERROR) << "The station's events cannot be kept on disk (" << error.toStdString()
                   << "): they are kept in memory only until the recorder has them";
        return false;
    }
    m_deadLines = 0;
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        LOG(ERROR) << m_path.toStdString() << " cannot be opened (" << m_file.errorString().toStdString()
                   << "): events are kept in memory only";
        return false;
    }
    return true;
}

bool EventOutbox::append(const QByteArray& line, bool sync)
{
    if (!m_writable)
        return false;
    QString error;
    if (m_file.write(line + '\n') != line.size() + 1 || !m_file.flush()) {
        error = m_file.errorString();
    } else if (sync && !FilePlatform::sync(m_file, &error)) {
        // reported below
    } else {
        return true;
    }
    LOG(ERROR) << "An event could not be written to " << m_path.toStdString() << " (" << error.toStdString()
               << "); it is kept in memory until the recorder has it";
    return false;
}

qint64 EventOutbox::record(const QString& type, const QJsonObject& fields)
{
    const qint64 now = m_clock.wallMs();
    enforceBounds(now);
    const qint64 seq = add(type, fields, now);
    if (m_mqtt.isConnected())
        m_mqtt.publish(topic(), m_events.value(seq), false);
    return seq;
}

qint64 EventOutbox::add(const QString& type, QJsonObject fields, qint64 at)
{
    const qint64 seq = m_next++;
    fields.insert("id", QString("%1:%2").arg(m_station).arg(seq));
    fields.insert("station", m_station);
    fields.insert("seq", double(seq));
    fields.insert("type", type);
    fields.insert("at", double(at));
    const QByteArray event = compact(fields);
    m_events.insert(seq, event);
    m_times.insert(seq, at);
    append(event, m_synced);
    holdIfAsked(type, seq);
    return seq;
}

void EventOutbox::enforceBounds(qint64 now)
{
    // No room for this event: room for it and for the one that names what went, a tenth at a
    // time, so that one drop event stands for many.
    int count = qMax(0, m_events.size() + 1 - m_limits.maxEvents);
    if (count > 0)
        count = qMax(count + 1, m_limits.maxEvents / 10);
    int old = 0;
    for (auto it = m_times.cbegin(); it != m_times.cend() && it.value() < now - m_limits.maxAgeMs; ++it)
        count = qMax(count, ++old);
    if (count > 0)
        dropOldest(qMin(count, m_events.size()));
}

void EventOutbox::dropOldest(int count)
{
    qint64 from = m_events.firstKey();
    qint64 to = from;
    for (int i = 0; i < count; ++i) {
        const auto it = m_events.begin();
        to = it.key();
        // A drop event going with them: its range goes into the new one.
        const QJsonObject event = QJsonDocument::fromJson(it.value()).object();
        if (event.value("type").toString() == QLatin1String("events-dropped"))
            from = qMin(from, wholeNumber(event.value("from")));
        m_times.remove(it.key());
        m_events.erase(it);
    }
    if (!m_warnedFull) {
        m_warnedFull = true;
        LOG(WARNING) << "The recorder has not taken this station's events for too long (more than "
                     << m_limits.maxEvents << ", or older than " << m_limits.maxAgeMs / 86400000
                     << " days): the oldest are dropped, from event " << from
                     << " on; an events-dropped event names each range";
    }
    const bool writable = m_writable;
    m_writable = false; // the new drop event goes into the file written anew below
    add("events-dropped", {{"from", double(from)}, {"to", double(to)}}, m_clock.wallMs());
    m_writable = writable && rewrite();
}

void EventOutbox::handleAck(const QByteArray& payload)
{
    QJsonObject ack;
    QString problem;
    const bool read = VenueJson::readObject(payload, &ack, &problem);
    const qint64 upTo = wholeNumber(ack.value("upTo"));
    if (!read)
        problem = "is " + problem;
    else if (ack.value("station").toString() != m_station)
        problem = "names another station";
    else if (upTo < 0)
        problem = "has no \"upTo\" sequence number";
    else if (upTo > lastSeq() && m_upTo == 0)
        return numberOnFrom(upTo);
    else if (upTo > lastSeq())
        problem =
            QString("acknowledges up to event %1, but this station has sent only up to %2").arg(upTo).arg(lastSeq());
    if (!problem.isEmpty()) {
        LOG(WARNING) << "An acknowledgement on " << ackTopic().toStdString() << ' ' << problem.toStdString()
                     << "; ignored";
        return;
    }
    if (upTo <= m_upTo)
        return;
    m_upTo = upTo;
    while (!m_events.isEmpty() && m_events.firstKey() <= upTo) {
        m_times.remove(m_events.firstKey());
        m_events.erase(m_events.begin());
        ++m_deadLines;
    }
    if (m_events.isEmpty())
        m_warnedFull = false;
    // Losing this line costs only sending again what the recorder has.
    append(compact({{"upTo", double(upTo)}}), false);
    if (m_writable && m_deadLines > m_events.size() + 1000)
        m_writable = rewrite();
}

void EventOutbox::numberOnFrom(qint64 upTo)
{
    // The books know this station's events from before its outbox was lost (a wiped state folder,
    // a new disk): numbered from 1 again, its new events would be taken for those and lost.
    LOG(WARNING) << "The books hold this station's events up to " << upTo << ", from before " << m_path.toStdString()
                 << " was lost; its events are numbered on from " << upTo + 1;
    const QMap<qint64, QByteArray> held = std::exchange(m_events, {});
    m_times.clear();
    m_next = upTo + 1;
    m_upTo = upTo;
    for (const QByteArray& text : held) {
        QJsonObject event = QJsonDocument::fromJson(text).object();
        const qint64 seq = m_next++;
        event.insert("id", QString("%1:%2").arg(m_station).arg(seq));
        event.insert("seq", double(seq));
        m_events.insert(seq, compact(event));
        m_times.insert(seq, wholeNumber(event.value("at")));
    }
    if (m_writable)
        m_writable = rewrite();
    sendOutstanding();
}

void EventOutbox::start()
{
    m_mqtt.subscribe(ackTopic());
    m_resend.start();
}

void EventOutbox::sendOutstanding(int most)
{
    if (!m_mqtt.isConnected())
        return;
    int sent = 0;
    for (auto it = m_events.cbegin(); it != m_events.cend() && (most < 0 || sent < most); ++it, ++sent)
        m_mqtt.publish(topic(), it.value(), false);
}

void EventOutbox::checkProgress()
{
    // The broker lost what it held (killed), or the recorder was away: the first go again. Only
    // the first: a recorder that is merely busy must not be flooded.
    if (!m_events.isEmpty() && m_upTo == m_lastChecked)
        sendOutstanding(kResendWindow);
    m_lastChecked = m_upTo;
}

void EventOutbox::holdIfAsked(const QString& type, qint64 seq) const
{
    if (m_holdAfter.isEmpty() || type != m_holdAfter)
        return;
    // Tests only: a station that dies between writing an event and sending it.
    LOG(WARNING) << "Holding after writing event " << seq << " (NERQ_STATION_HOLD_AFTER_EVENT), before sending it";
    el::Loggers::flushAll();
    for (;;)
        QThread::sleep(1);
}
