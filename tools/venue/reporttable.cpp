#include "reporttable.h"

#include <QDateTime>
#include <QMap>
#include <QTimeZone>

#include <functional>
#include <vector>

namespace {

using Row = Books::Row;
using Figures = Books::Figures;

struct Column {
    const char* csv;
    const char* title;
    std::function<QString(const Row&)> value;
};

QString minutes(qint64 seconds)
{
    return QString::number(seconds / 60.0, 'f', 1);
}

QString percent(qint64 part, qint64 whole)
{
    return whole > 0 ? QString::number(100.0 * part / whole, 'f', 1) : QString();
}

QString waitSeconds(qint64 ms)
{
    return ms < 0 ? QString() : QString::number(ms / 1000.0, 'f', 1);
}

QString offset(int seconds)
{
    const QChar sign = seconds < 0 ? '-' : '+';
    seconds = qAbs(seconds);
    return QString("%1%2:%3")
        .arg(sign)
        .arg(seconds / 3600, 2, 10, QChar('0'))
        .arg(seconds / 60 % 60, 2, 10, QChar('0'));
}

// The columns every grouping shares after its own first ones.
std::vector<Column> periodColumns(const char* first, const char* title)
{
    return {
        {first, title, [](const Row& r) { return r.key; }},
        {"sessions", "sessions", [](const Row& r) { return QString::number(r.figures.sessions); }},
        {"minutes_sold", "sold (min)", [](const Row& r) { return minutes(r.figures.soldSeconds); }},
        {"launches", "launches", [](const Row& r) { return QString::number(r.figures.launches); }},
        {"help_calls", "help calls", [](const Row& r) { return QString::number(r.figures.helpCalls); }},
    };
}

std::vector<Column> columns(Books::By by)
{
    const Column inSession{"minutes_in_session", "in session (min)",
                           [](const Row& r) { return minutes(r.figures.inSessionSeconds); }};
    const Column played{"minutes_played", "played (min)",
                        [](const Row& r) { return minutes(r.figures.playedMs / 1000); }};
    const Column failed{"failed_starts", "failed starts",
                        [](const Row& r) { return QString::number(r.figures.failedStarts); }};
    const Column median{"help_median_wait_s", "help median (s)",
                        [](const Row& r) { return waitSeconds(r.figures.helpMedianMs()); }};
    const Column longest{"help_longest_wait_s", "help longest (s)",
                         [](const Row& r) { return waitSeconds(r.figures.helpLongestMs()); }};
    const Column open{"open_hours", "open (h)",
                      [](const Row& r) { return QString::number(r.figures.openMs / 3600000.0, 'f', 2); }};
    std::vector<Column> all;
    switch (by) {
    case Books::By::Station:
        all = periodColumns("station", "station");
        all.push_back(
            {"offline_minutes", "offline (min)", [](const Row& r) { return minutes(r.figures.offlineMs / 1000); }});
        all.insert(all.end(), {inSession, played, failed});
        all.push_back({"session_share_pct", "in session %",
                       [](const Row& r) { return percent(r.figures.sessionMs, r.figures.openMs); }});
        all.push_back(
            {"idle_share_pct", "idle %", [](const Row& r) { return percent(r.figures.idleMs, r.figures.openMs); }});
        all.push_back({"offline_share_pct", "offline %",
                       [](const Row& r) { return percent(r.figures.offlineMs, r.figures.openMs); }});
        all.insert(all.end(), {open, median, longest});
        return all;
    case Books::By::Game:
        return {{"game", "game", [](const Row& r) { return r.key; }},
                {"launches", "launches", [](const Row& r) { return QString::number(r.figures.launches); }},
                played,
                {"sessions", "sessions", [](const Row& r) { return QString::number(r.figures.sessions); }},
                failed};
    case Books::By::Day:
    case Books::By::Hour:
        break;
    }
    all = periodColumns("period", "period");
    all.insert(all.end(), {inSession, played, failed, median, longest});
    if (by == Books::By::Day)
        all.push_back(open);
    all.push_back({"utc_offset", "UTC offset", [](const Row& r) { return offset(r.utcOffsetSeconds); }});
    return all;
}

QString csvField(const QString& text)
{
    if (!text.contains(QRegExp("[,\"\r\n]")))
        return text;
    return '"' + QString(text).replace('"', "\"\"") + '"';
}

Row totalRow(const Books::Figures& figures)
{
    Row total;
    total.key = "total";
    total.figures = figures;
    return total;
}

} // namespace

namespace ReportTable {

QString timeZoneId()
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    return id.isEmpty() ? QStringLiteral("local time") : QString::fromUtf8(id);
}

QString timeZoneName(qint64 from, qint64 to)
{
    QStringList names;
    for (qint64 at = from; at < to + 1; at += 24 * 3600 * 1000LL) {
        const QString name = QDateTime::fromMSecsSinceEpoch(std::min(at, to)).timeZoneAbbreviation();
        if (!name.isEmpty() && !names.contains(name))
            names << name;
        if (at >= to)
            break;
    }
    return names.isEmpty() ? timeZoneId() : timeZoneId() + " (" + names.join(", ") + ")";
}

QString csv(const Books& books, Books::By by, const QString& timeZone)
{
    const std::vector<Column> all = columns(by);
    QStringList header;
    for (const Column& column : all)
        header << column.csv;
    const bool zone = by == Books::By::Day || by == Books::By::Hour;
    if (zone)
        header << "time_zone";
    QString out = header.join(',') + '\n';
    for (const Row& row : books.rows(by)) {
        QStringList fields;
        for (const Column& column : all)
            fields << csvField(column.value(row));
        if (zone)
            fields << csvField(timeZone);
        out += fields.join(',') + '\n';
    }
    return out;
}

} // namespace ReportTable

namespace {

QString table(const QVector<QStringList>& cells)
{
    QVector<int> widths(cells.first().size(), 0);
    for (const QStringList& line : cells) {
        for (int i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], static_cast<int>(line[i].size()));
    }
    QString out;
    for (const QStringList& line : cells) {
        QStringList padded;
        for (int i = 0; i < line.size(); ++i)
            padded << (i == 0 ? line[i].leftJustified(widths[i]) : line[i].rightJustified(widths[i]));
        out += padded.join("  ").trimmed() + '\n';
    }
    return out;
}

QString helpLine(const Figures& total)
{
    const int answered = total.helpWaitsMs.size();
    if (total.helpCalls == 0)
        return "Help calls: none.\n";
    QString line = QString("Help calls: %1, answered %2").arg(total.helpCalls).arg(answered);
    if (answered)
        line += QString("; wait until answered: median %1 s, longest %2 s")
                    .arg(waitSeconds(total.helpMedianMs()), waitSeconds(total.helpLongestMs()));
    if (total.helpCalls > answered)
        line += QString("; %1 not answered").arg(total.helpCalls - answered);
    return line + ".\n";
}

QString failureLine(const Books& books)
{
    QMap<QString, int> counts;
    QMap<QString, QString> lastError;
    int all = 0;
    for (const BookRecords::Failure& failure : books.records().failures) {
        if (failure.at < books.from() || failure.at >= books.to())
            continue;
        const QString game = failure.gameId.isEmpty() ? QStringLiteral("(no game)") : failure.gameId;
        ++counts[game];
        lastError[game] = failure.error;
        ++all;
    }
    if (!all)
        return "Games that failed to start: none.\n";
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QString("%1 %2 (last: %3)").arg(it.key()).arg(*it).arg(lastError.value(it.key()));
    return QString("Games that failed to start: %1: %2.\n").arg(all).arg(parts.join(", "));
}

} // namespace

namespace ReportTable {

QString text(const Books& books, Books::By by, const QString& timeZone)
{
    std::vector<Column> all = columns(by);
    if (by != Books::By::Hour && QLatin1String(all.back().csv) == QLatin1String("utc_offset"))
        all.pop_back();
    QVector<QStringList> cells;
    QStringList header;
    for (const Column& column : all)
        header << column.title;
    cells << header;
    const Books::Figures total = books.total();
    QVector<Row> rows = books.rows(by);
    if (by != Books::By::Game)
        rows << totalRow(total);
    for (const Row& row : qAsConst(rows)) {
        QStringList line;
        for (const Column& column : all)
            line << column.value(row);
        cells << line;
    }
    QString out = "Times in " + timeZone + ".\n\n";
    out += rows.isEmpty() ? QStringLiteral("Nothing recorded.\n") : table(cells);
    out += '\n' + helpLine(total) + failureLine(books);
    return out;
}

} // namespace ReportTable
