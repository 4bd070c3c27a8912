#include "reportcommand.h"

#include "booksdatabase.h"
#include "commandline.h"
#include "reporttable.h"
#include "venueprotocol.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <utility>

namespace {

const char kDescription[] =
    "The venue's books for the days from --from to --to (default: today), read from DIR/books.sqlite,\n"
    "which nerq-recorder keeps. Dates and hours are the desk's local time, its zone named in the\n"
    "output. --by day (default) or hour: per period; --by station: per station, with its share of\n"
    "the day's open hours (from the first station online to the last one going off) in a session,\n"
    "idle and offline; --by game: launches and minutes played per game.\n"
    "\n"
    "Sessions count where they started: minutes sold are the time bought (start and extensions,\n"
    "however the session ended), minutes in session the time it ran. Games count where they\n"
    "started, help calls where they were made (with the median and longest wait until answered),\n"
    "failed starts (launch or session-start) where they failed.\n"
    "\n"
    "--csv: for a spreadsheet or a till system: a header line, then one line per row; the first\n"
    "columns are, in this order: --by day and hour: period, sessions, minutes_sold, launches,\n"
    "help_calls; --by station: station, sessions, minutes_sold, launches, help_calls,\n"
    "offline_minutes; --by game: game, launches, minutes_played. More columns follow them.\n"
    "Exit status: 0 done, 1 no books or they cannot be read, 2 usage error.";

bool date(const QCommandLineParser& parser, const QString& option, QDate* value, CommandLine& cli, int* status)
{
    if (!parser.isSet(option))
        return true;
    *value = QDate::fromString(parser.value(option), Qt::ISODate);
    if (value->isValid())
        return true;
    *status = cli.usageError(QString("--%1 takes a date as 2026-03-29, not \"%2\"").arg(option, parser.value(option)));
    return false;
}

bool grouping(const QString& text, Books::By* by)
{
    const std::pair<const char*, Books::By> names[] = {
        {"day", Books::By::Day}, {"hour", Books::By::Hour}, {"station", Books::By::Station}, {"game", Books::By::Game}};
    for (const auto& [name, value] : names) {
        if (text == QLatin1String(name)) {
            *by = value;
            return true;
        }
    }
    return false;
}

} // namespace

int runReportCommand(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("DIR", "The venue's folder, where nerq-recorder keeps the books.");
    parser.addOptions({{"from", "The first day (default: --to, or today).", "DATE"},
                       {"to", "The last day (default: today).", "DATE"},
                       {"by", "day, hour, station or game (default: day).", "GROUPING", "day"},
                       {"csv", "Comma-separated values with a header line."}});
    int status = 0;
    if (!cli.parse(parser, "nerq-venue report DIR [--from DATE] [--to DATE] [--by day|station|game|hour] [--csv]",
                   arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("report takes one folder");
    QDate to = QDate::currentDate();
    if (!date(parser, "to", &to, cli, &status))
        return status;
    QDate from = to;
    if (!date(parser, "from", &from, cli, &status))
        return status;
    if (from > to)
        return cli.usageError("report: --from is after --to");
    Books::By by = Books::By::Day;
    if (!grouping(parser.value("by"), &by))
        return cli.usageError("--by takes day, hour, station or game, not \"" + parser.value("by") + "\"");

    const QString dir = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    BooksDatabase db(dir + '/' + BooksDatabase::kFileName, BooksDatabase::Mode::ReadOnly);
    BooksDatabase::Outcome outcome = db.open();
    const qint64 start = from.startOfDay().toMSecsSinceEpoch();
    const qint64 end = to.addDays(1).startOfDay().toMSecsSinceEpoch();
    BookRecords records;
    if (outcome.ok())
        outcome = BookRecords::read(db, start, end, &records);
    if (!outcome.ok())
        return cli.fail(outcome.message);
    const Books books(std::move(records), start, end, nowMs());
    if (parser.isSet("csv")) {
        cli.out() << ReportTable::csv(books, by, ReportTable::timeZoneId());
        return 0;
    }
    cli.out() << "The books of " << dir << ", " << from.toString(Qt::ISODate)
              << (from == to ? QString() : " to " + to.toString(Qt::ISODate)) << ", by " << parser.value("by") << ".\n"
              << ReportTable::text(books, by, ReportTable::timeZoneName(start, end));
    return 0;
}
