#include "books.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace {

// The clock reads the zone for the stretch and this much either side, where records may lie.
constexpr qint64 kMarginMs = 3LL * 24 * 60 * 60 * 1000;

} // namespace

qint64 Books::Figures::helpMedianMs() const
{
    if (helpWaitsMs.isEmpty())
        return -1;
    QVector<qint64> waits = helpWaitsMs;
    std::sort(waits.begin(), waits.end());
    const int middle = waits.size() / 2;
    return waits.size() % 2 ? waits[middle] : (waits[middle - 1] + waits[middle]) / 2;
}

qint64 Books::Figures::helpLongestMs() const
{
    return helpWaitsMs.isEmpty() ? -1 : *std::max_element(helpWaitsMs.cbegin(), helpWaitsMs.cend());
}

Books::Books(BookRecords records, qint64 from, qint64 to, qint64 now)
    : m_records(std::move(records))
    , m_from(from)
    , m_to(to)
    , m_now(now)
    , m_clock(from - kMarginMs, to + kMarginMs)
{
    buildSpans();
    buildDays();
}

void Books::buildSpans()
{
    for (const BookRecords::Session& session : qAsConst(m_records.sessions)) {
        const qint64 end = session.endedAt ? session.endedAt : m_now;
        m_sessions[session.station].add(session.startedAt, std::min(end, m_now));
    }
    // Marks come sorted by time: a station is online from one that says so to one that does not.
    QHash<QString, qint64> onlineSince;
    for (const BookRecords::Mark& mark : qAsConst(m_records.marks)) {
        const auto since = onlineSince.constFind(mark.station);
        if (mark.online && since == onlineSince.cend()) {
            onlineSince.insert(mark.station, mark.at);
        } else if (!mark.online && since != onlineSince.cend()) {
            m_active[mark.station].add(*since, std::min(mark.at, m_now));
            onlineSince.remove(mark.station);
        }
    }
    for (auto it = onlineSince.cbegin(); it != onlineSince.cend(); ++it)
        m_active[it.key()].add(*it, m_now);
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
        m_active[it.key()].add(*it);
        if (!m_records.stations.contains(it.key()))
            m_records.stations << it.key();
    }
    for (auto it = m_active.cbegin(); it != m_active.cend(); ++it) {
        if (!m_records.stations.contains(it.key()))
            m_records.stations << it.key();
    }
    m_records.stations.sort();
}

void Books::buildDays()
{
    Spans venue;
    for (const Spans& active : qAsConst(m_active))
        venue.add(active);
    for (QDate date = m_clock.date(m_from); m_clock.dayStart(date) < m_to; date = date.addDays(1)) {
        Day day;
        day.start = std::max(m_clock.dayStart(date), m_from);
        day.end = std::min(m_clock.dayStart(date.addDays(1)), m_to);
        const qint64 until = std::min(day.end, m_now);
        if (until > day.start && venue.bounds(day.start, until, &day.openFrom, &day.openTo)) {
            for (const QString& station : qAsConst(m_records.stations)) {
                Figures& figures = day.stations[station];
                figures.openMs = day.openTo - day.openFrom;
                figures.sessionMs = sessionSpans(station).within(day.openFrom, day.openTo);
                const qint64 active = activeSpans(station).within(day.openFrom, day.openTo);
                figures.offlineMs = figures.openMs - active;
                figures.idleMs = active - figures.sessionMs;
            }
        }
        m_days << day;
    }
}

const Spans& Books::sessionSpans(const QString& station) const
{
    static const Spans none;
    const auto it = m_sessions.constFind(station);
    return it == m_sessions.cend() ? none : *it;
}

const Spans& Books::activeSpans(const QString& station) const
{
    static const Spans none;
    const auto it = m_active.constFind(station);
    return it == m_active.cend() ? none : *it;
}

bool Books::openHours(qint64 start, qint64* first, qint64* last) const
{
    for (const Day& day : m_days) {
        if (day.start == start && day.openTo > day.openFrom) {
            *first = day.openFrom;
            *last = day.openTo;
            return true;
        }
    }
    return false;
}

Books::Key Books::key(By by, qint64 at, const QString& station, const QString& gameId, int* offset) const
{
    *offset = m_clock.offsetSeconds(at);
    switch (by) {
    // Periods are keyed by their start alone; their names are written once a row (label()).
    case By::Day:
        return {std::max(m_clock.dayStart(m_clock.date(at)), m_from), QString()};
    case By::Hour: {
        const qint64 start = m_clock.hourStart(at);
        *offset = m_clock.offsetSeconds(start);
        return {start, QString()};
    }
    case By::Station:
        return {0, station};
    case By::Game:
        break;
    }
    return {0, gameId};
}

QString Books::label(By by, const Key& key) const
{
    if (by == By::Station || by == By::Game)
        return key.second;
    const qint64 local = key.first + m_clock.offsetSeconds(key.first) * 1000LL;
    return QDateTime::fromMSecsSinceEpoch(local, Qt::UTC).toString(by == By::Day ? "yyyy-MM-dd" : "yyyy-MM-dd hh:mm");
}

void Books::count(By by, std::map<Key, Row>& rows) const
{
    const auto row = [&](qint64 at, const QString& station, const QString& gameId) -> Figures* {
        if (!inRange(at) || (by == By::Game && gameId.isEmpty()))
            return nullptr;
        int offset = 0;
        const Key k = key(by, at, station, gameId, &offset);
        Row& found = rows[k];
        if (found.key.isEmpty()) {
            found.key = label(by, k);
            found.start = k.first;
            // A period's offset is the one it starts with.
            found.utcOffsetSeconds = by == By::Day ? m_clock.offsetSeconds(k.first) : offset;
        }
        return &found.figures;
    };
    for (const BookRecords::Session& session : m_records.sessions) {
        if (Figures* figures = row(session.startedAt, session.station, session.gameId)) {
            ++figures->sessions;
            figures->soldSeconds += session.boughtSeconds;
            figures->inSessionSeconds +=
                session.endedAt ? session.playedSeconds : std::max<qint64>(0, (m_now - session.startedAt) / 1000);
        }
    }
    for (const BookRecords::Game& game : m_records.games) {
        if (Figures* figures = row(game.startedAt, game.station, game.gameId)) {
            ++figures->launches;
            figures->playedMs += std::max<qint64>(0, (game.endedAt ? game.endedAt : m_now) - game.startedAt);
        }
    }
    for (const BookRecords::Help& help : m_records.help) {
        if (Figures* figures = row(help.calledAt, help.station, QString())) {
            ++figures->helpCalls;
            if (help.answeredAt)
                figures->helpWaitsMs << help.answeredAt - help.calledAt;
        }
    }
    for (const BookRecords::Failure& failure : m_records.failures) {
        if (Figures* figures = row(failure.at, failure.station, failure.gameId))
            ++figures->failedStarts;
    }
}

void Books::share(By by, std::map<Key, Row>& rows) const
{
    for (const Day& day : m_days) {
        if (by == By::Day) {
            Row& row = rows[{day.start, QString()}];
            row.figures.openMs = day.openTo - day.openFrom;
            continue;
        }
        for (auto it = day.stations.cbegin(); it != day.stations.cend(); ++it) {
            Figures& figures = rows[{0, it.key()}].figures;
            figures.openMs += it->openMs;
            figures.sessionMs += it->sessionMs;
            figures.offlineMs += it->offlineMs;
            figures.idleMs += it->idleMs;
        }
    }
}

QVector<Books::Row> Books::rows(By by) const
{
    std::map<Key, Row> rows;
    // Every day and every station has its row, an empty one too.
    if (by == By::Day || by == By::Station)
        share(by, rows);
    for (auto& [period, row] : rows) {
        row.key = label(by, period);
        row.start = period.first;
        row.utcOffsetSeconds = m_clock.offsetSeconds(period.first);
    }
    count(by, rows);
    QVector<Row> result;
    for (const auto& entry : rows)
        result << entry.second;
    return result;
}

Books::Figures Books::total() const
{
    return total(rows(By::Station));
}

Books::Figures Books::total(const QVector<Row>& stationRows) const
{
    Figures total;
    for (const Row& row : stationRows) {
        const Figures& figures = row.figures;
        total.sessions += figures.sessions;
        total.soldSeconds += figures.soldSeconds;
        total.inSessionSeconds += figures.inSessionSeconds;
        total.launches += figures.launches;
        total.playedMs += figures.playedMs;
        total.helpCalls += figures.helpCalls;
        total.helpWaitsMs += figures.helpWaitsMs;
        total.failedStarts += figures.failedStarts;
        total.sessionMs += figures.sessionMs;
        total.offlineMs += figures.offlineMs;
        total.idleMs += figures.idleMs;
    }
    for (const Day& day : m_days)
        total.openMs += day.openTo - day.openFrom;
    return total;
}
