#include "venueplan.h"

#include <QJsonDocument>

namespace {

const char* const kGames[] = {"orbit", "skyline", "depths"};

} // namespace

VenuePlan::VenuePlan(int station)
    : m_k(station)
    , m_station(QString("st%1").arg(station, 2, 10, QChar('0')))
{}

void VenuePlan::add(const QDateTime& at, const QString& type, QJsonObject fields)
{
    const qint64 seq = ++m_seq;
    fields.insert("id", QString("%1:%2").arg(m_station).arg(seq));
    fields.insert("station", m_station);
    fields.insert("seq", double(seq));
    fields.insert("type", type);
    fields.insert("at", double(at.toMSecsSinceEpoch()));
    QString error;
    const auto event = StationEvent::parse(m_station, QJsonDocument(fields).toJson(QJsonDocument::Compact), &error);
    if (!event)
        qFatal("the plan's own event is refused: %s", qPrintable(error));
    m_batch->events << *event;
}

void VenuePlan::session(const QDate& day, int j)
{
    const QDateTime start(day, QTime(10, 0).addSecs((70 * j + m_k) * 60));
    const QString session = QString("%1-%2-%3").arg(m_station, day.toString(Qt::ISODate)).arg(j);
    const QString game = kGames[j % 3];
    const int played = j == 9 ? 20 : (j % 2 ? 40 : 30);
    add(start, "session-started", {{"session", session}, {"seconds", 1800}, {"gameId", game}});
    add(start, "game-started", {{"gameId", game}, {"by", "desk"}, {"session", session}});
    if (j % 2)
        add(start.addSecs(25 * 60), "session-extended", {{"session", session}, {"seconds", 600}});
    if (j == 4 && m_k % 5 == 0) {
        const QDateTime called = start.addSecs(5 * 60);
        add(called, "help-called", {{"session", session}});
        add(called.addSecs((m_k + 1) * 10), "help-answered",
            {{"by", "desk"}, {"calledAt", double(called.toMSecsSinceEpoch())}});
    }
    if (j == 2 && m_k == 29)
        add(start.addSecs(60), "help-called", {{"session", session}});
    const QDateTime end = start.addSecs(played * 60);
    const QString reason = j == 9 ? "desk" : "time";
    add(end, "game-ended", {{"gameId", game}, {"reason", reason}});
    add(end, "session-ended",
        {{"session", session}, {"reason", reason}, {"seconds", j % 2 ? 2400 : 1800}, {"playedSeconds", played * 60}});
}

void VenuePlan::day(const QDate& date, BooksBatch* batch)
{
    m_batch = batch;
    const auto failed = [&](const QTime& time, const char* command, const char* game) {
        add(QDateTime(date, time), "command-failed",
            {{"command", command},
             {"commandId", "c" + time.toString()},
             {"error", "launcher missing"},
             {"gameId", game}});
    };
    if (m_k == 5)
        failed(QTime(0, 30), "launch", "skyline");
    add(QDateTime(date, QTime(10, 0)), "online");
    for (int j = 0; j < 10; ++j)
        session(date, j);
    if (m_k == 3)
        failed(QTime(12, 0), "launch", "depths");
    if (m_k == 7)
        failed(QTime(13, 0), "session-start", "orbit");
    add(QDateTime(date, QTime(22, 0)), "offline");
    if (m_k == 12) {
        batch->presence << BooksBatch::Presence{m_station, QDateTime(date, QTime(10, 50)).toMSecsSinceEpoch(), false};
        batch->presence << BooksBatch::Presence{m_station, QDateTime(date, QTime(11, 10)).toMSecsSinceEpoch(), true};
    }
}
