// nerq-venue report against books written by the recorder's own store: a generated month of a
// 30-station venue (300 sessions a day) in Europe/Berlin, across the change to summer time on the
// last Sunday of March, must give the figures a hand computation gives. The expected numbers below
// are worked out by hand from the plan of the month, not by code.
//
// The plan of the month is VenuePlan's (venueplan.h), from 2026-03-15 to 2026-04-13.

#include "eventloopwait.h"
#include "eventstore.h"
#include "testpaths.h"
#include "venueplan.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

namespace {

const QDate kFirst(2026, 3, 15);
const int kDays = 30;
const int kStations = 30;

// The report's CSV lines as fields, the header first.
QList<QStringList> report(const QString& dir, const QStringList& options, QString* output = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "Europe/Berlin");
    process.setProcessEnvironment(environment);
    process.start(TestPaths::tool("nerq-venue"), QStringList{"report", dir} + options);
    process.waitForFinished(60000);
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    if (output)
        *output = text + QString::fromUtf8(process.readAllStandardError());
    QList<QStringList> lines;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        lines << line.split(',');
    return lines;
}

QStringList repeated(int times, const QString& text)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << text;
    return list;
}

QStringList column(const QList<QStringList>& lines, const QString& name)
{
    const int index = lines.isEmpty() ? -1 : lines.first().indexOf(name);
    QStringList values;
    for (int i = 1; i < lines.size() && index >= 0; ++i)
        values << lines[i].value(index);
    return values;
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

    QTemporaryDir m_venue;

private slots:
    void initTestCase()
    {
        // The desk's zone for this process too, so that the plan's local times are Berlin's.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        EventStore store(m_venue.filePath("books.sqlite"));
        QVERIFY2(store.open().ok(), "cannot make the books");
        for (int k = 0; k < kStations; ++k) {
            VenuePlan plan(k);
            BooksBatch batch;
            for (int d = 0; d < kDays; ++d)
                plan.day(kFirst.addDays(d), &batch);
            QStringList moved;
            const auto outcome = store.write(batch, QDateTime::currentMSecsSinceEpoch(), &moved);
            QVERIFY2(outcome.ok(), qPrintable(outcome.message));
        }
    }

    void byDayInTheDesksZone()
    {
        const auto lines = report(m_venue.path(), {"--from", "2026-03-15", "--to", "2026-04-13", "--csv"});
        QCOMPARE(lines.value(0).mid(0, 5),
                 (QStringList{"period", "sessions", "minutes_sold", "launches", "help_calls"}));
        QCOMPARE(lines.size(), 1 + kDays);
        QStringList days;
        for (int d = 0; d < kDays; ++d)
            days << kFirst.addDays(d).toString(Qt::ISODate);
        QCOMPARE(column(lines, "period"), days);
        // 30 stations x 10 sessions; sold per station 5 x 30 + 5 x 40 = 350 minutes; in session
        // 5 x 30 + 4 x 40 + 20 = 330 minutes; 6 answered calls and one not; 3 failed starts, the
        // one at 00:30 local among them; open from 10:00 to 22:00, on the short day too.
        QCOMPARE(column(lines, "sessions"), repeated(kDays, "300"));
        QCOMPARE(column(lines, "minutes_sold"), repeated(kDays, "10500.0"));
        QCOMPARE(column(lines, "launches"), repeated(kDays, "300"));
        QCOMPARE(column(lines, "help_calls"), repeated(kDays, "7"));
        QCOMPARE(column(lines, "minutes_in_session"), repeated(kDays, "9900.0"));
        QCOMPARE(column(lines, "minutes_played"), repeated(kDays, "9900.0"));
        QCOMPARE(column(lines, "failed_starts"), repeated(kDays, "3"));
        QCOMPARE(column(lines, "help_median_wait_s"), repeated(kDays, "135.0"));
        QCOMPARE(column(lines, "help_longest_wait_s"), repeated(kDays, "260.0"));
        QCOMPARE(column(lines, "open_hours"), repeated(kDays, "12.00"));
        // Summer time starts at 02:00 on 2026-03-29: that day still begins in winter time.
        QCOMPARE(column(lines, "utc_offset"), repeated(15, "+01:00") + repeated(15, "+02:00"));
        QCOMPARE(column(lines, "time_zone"), repeated(kDays, "Europe/Berlin"));
    }

    void byStationWithTheShareOfTheOpenHours()
    {
        const auto lines =
            report(m_venue.path(), {"--from", "2026-03-15", "--to", "2026-04-13", "--by", "station", "--csv"});
        QCOMPARE(lines.value(0).mid(0, 6),
                 (QStringList{"station", "sessions", "minutes_sold", "launches", "help_calls", "offline_minutes"}));
        QCOMPARE(lines.size(), 1 + kStations);
        QStringList help = repeated(kStations, "0");
        QStringList offline = repeated(kStations, "0.0");
        QStringList offlineShare = repeated(kStations, "0.0");
        QStringList idleShare = repeated(kStations, "54.2"); // (720 - 330) / 720 of every day
        for (int k = 0; k <= 25; k += 5)
            help[k] = "30";
        help[29] = "30";
        offline[12] = "600.0"; // 20 minutes a day
        offlineShare[12] = "2.8";
        idleShare[12] = "51.4"; // (720 - 330 - 20) / 720
        QCOMPARE(column(lines, "sessions"), repeated(kStations, "300"));
        QCOMPARE(column(lines, "minutes_sold"), repeated(kStations, "10500.0"));
        QCOMPARE(column(lines, "launches"), repeated(kStations, "300"));
        QCOMPARE(column(lines, "help_calls"), help);
        QCOMPARE(column(lines, "offline_minutes"), offline);
        QCOMPARE(column(lines, "session_share_pct"), repeated(kStations, "45.8")); // 330 / 720
        QCOMPARE(column(lines, "idle_share_pct"), idleShare);
        QCOMPARE(column(lines, "offline_share_pct"), offlineShare);
        QCOMPARE(column(lines, "open_hours"), repeated(kStations, "360.00"));
    }

    void byGame()
    {
        const auto lines =
            report(m_venue.path(), {"--from", "2026-03-15", "--to", "2026-04-13", "--by", "game", "--csv"});
        QCOMPARE(lines.value(0).mid(0, 3), (QStringList{"game", "launches", "minutes_played"}));
        // Per station and day: orbit 30 + 40 + 30 + 20, skyline 40 + 30 + 40, depths 30 + 40 + 30.
        QCOMPARE(column(lines, "game"), (QStringList{"depths", "orbit", "skyline"}));
        QCOMPARE(column(lines, "launches"), (QStringList{"2700", "3600", "2700"}));
        QCOMPARE(column(lines, "minutes_played"), (QStringList{"90000.0", "108000.0", "99000.0"}));
        QCOMPARE(column(lines, "failed_starts"), (QStringList{"30", "30", "30"}));
    }

    void byHourAcrossTheChangeToSummerTime()
    {
        const auto lines =
            report(m_venue.path(), {"--from", "2026-03-29", "--by", "hour", "--to", "2026-03-29", "--csv"});
        const QStringList periods = column(lines, "period");
        const QStringList offsets = column(lines, "utc_offset");
        QVERIFY(!periods.contains("2026-03-29 02:00"));
        QCOMPARE(offsets.value(periods.indexOf("2026-03-29 00:00")), QString("+01:00"));
        QCOMPARE(column(lines, "failed_starts").value(periods.indexOf("2026-03-29 00:00")), QString("1"));
        // Every session j = 0 starts between 10:00 and 10:29, all 30 bought for 30 minutes.
        const int ten = periods.indexOf("2026-03-29 10:00");
        QCOMPARE(offsets.value(ten), QString("+02:00"));
        QCOMPARE(column(lines, "sessions").value(ten), QString("30"));
        QCOMPARE(column(lines, "minutes_sold").value(ten), QString("900.0"));
    }

    void inWordsWithTheZoneAndTheHelpCalls()
    {
        QString output;
        report(m_venue.path(), {"--from", "2026-03-15", "--to", "2026-04-13"}, &output);
        QVERIFY2(output.contains("Times in Europe/Berlin (CET, CEST)."), qPrintable(output));
        QVERIFY2(output.contains("Help calls: 210, answered 180; wait until answered: median 135.0 s, longest 260.0 s; "
                                 "30 not answered."),
                 qPrintable(output));
        QVERIFY2(output.contains("Games that failed to start: 90: depths 30 (last: launcher missing), orbit 30"),
                 qPrintable(output));
        QVERIFY2(output.contains(QRegularExpression("\ntotal +9000 +315000.0 +9000 +210 ")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
