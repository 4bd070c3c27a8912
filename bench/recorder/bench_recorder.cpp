// The venue's books on this machine: one Mosquitto broker on loopback set up by nerq-venue init,
// the real nerq-recorder, and stations played in this process that publish events as the agents
// will (an outbox each, sent again until acknowledged).
//   - a busy venue's day: EVENTS events from 30 stations, as fast as they come, from the first sent
//     to the last acknowledged: the time and the events per second sustained;
//   - a month and a year of a 30-station venue (300 sessions a day) written through the recorder's
//     store: rows, time and the database's size; nerq-venue report over the year, each grouping;
//   - one idle recorder: CPU over the idle time and resident memory.
//   bench_recorder [EVENTS] [DAYS OF THE YEAR] [IDLE SECONDS]     (default 30000 365 60)

#include "eventloopwait.h"
#include "eventstore.h"
#include "procstat.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "venuebroker.h"
#include "venueplan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void busyDay(VenueBroker& broker, const RecorderProcess& recorder, int events)
{
    QStringList ids;
    for (int i = 0; i < 30; ++i)
        ids << QString("st%1").arg(i, 2, 10, QChar('0'));
    Stations stations = makeStations(broker, ids);
    const int each = events / 30;
    QElapsedTimer clock;
    clock.start();
    for (int sent = 0; sent < each; sent += 10) {
        for (auto& station : stations) {
            for (int i = 0; i < 10 && sent + i < each; ++i)
                station->emitEvent("calibrated");
        }
        QCoreApplication::processEvents();
    }
    const qint64 sentMs = clock.elapsed();
    if (!allAcknowledged(stations, 600000)) {
        std::fprintf(stderr, "bench_recorder: not all acknowledged:\n%s\n", qPrintable(recorder.log().right(2000)));
        return;
    }
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("a busy day: %d events from 30 stations, all sent in %.2f s, all acknowledged after %.2f s: "
                "%.0f events/s\n",
                each * 30, sentMs / 1000.0, seconds, each * 30 / seconds);
    for (auto& station : stations)
        station->stop();
}

qint64 sizeOf(const QString& path)
{
    return QFileInfo(path).size() + QFileInfo(path + "-wal").size();
}

// `days` of the plan from 2026-01-01, written station by station, a month a transaction.
void writePlan(const QString& path, int days, const char* what)
{
    EventStore store(path);
    if (!store.open().ok())
        return;
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < 30; ++k) {
        VenuePlan plan(k);
        for (int first = 0; first < days; first += 30) {
            BooksBatch batch;
            for (int d = first; d < qMin(days, first + 30); ++d)
                plan.day(QDate(2026, 1, 1).addDays(d), &batch);
            QStringList moved;
            store.write(batch, 1, &moved);
        }
    }
    const double seconds = clock.elapsed() / 1000.0;
    const auto written = static_cast<long long>(store.eventsWritten());
    std::printf("%s (%d days): %lld events written in %.2f s (%.0f a second), database %.1f MB\n", what, days, written,
                seconds, written / seconds, sizeOf(path) / 1e6);
}

void reports(const QString& dir, int days)
{
    const QString to = QDate(2026, 1, 1).addDays(days - 1).toString(Qt::ISODate);
    for (const char* by : {"day", "station", "game", "hour"}) {
        QProcess report;
        QElapsedTimer clock;
        clock.start();
        report.start(QCoreApplication::applicationDirPath() + "/nerq-venue",
                     {"report", dir, "--from", "2026-01-01", "--to", to, "--by", by, "--csv"});
        report.waitForFinished(600000);
        std::printf("nerq-venue report over %d days --by %s: %lld ms, %d lines, exit %d\n", days, by, clock.elapsed(),
                    report.readAllStandardOutput().count('\n'), report.exitCode());
    }
}

void idle(const RecorderProcess& recorder, int seconds)
{
    waitUntil([] { return false; }, 5000);
    const double before = ProcStat::cpuMilliseconds(recorder.pid());
    QElapsedTimer clock;
    clock.start();
    waitUntil([] { return false; }, seconds * 1000);
    const double cpu = ProcStat::cpuMilliseconds(recorder.pid()) - before;
    std::printf("one idle recorder over %d s: %.0f ms of CPU (%.3f %%), %.1f MB resident\n", seconds, cpu,
                100.0 * cpu / clock.elapsed(), ProcStat::residentMegabytes(recorder.pid()));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("NERQ_TOOLS_DIR"))
        qputenv("NERQ_TOOLS_DIR", QCoreApplication::applicationDirPath().toUtf8());
    const QStringList args = QCoreApplication::arguments();
    const int events = args.value(1, "30000").toInt();
    const int days = args.value(2, "365").toInt();
    const int idleSeconds = args.value(3, "60").toInt();

    VenueBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_recorder: %s\n", qPrintable(broker.report()));
        return 1;
    }
    {
        RecorderProcess recorder(broker.dir());
        if (!recorder.start()) {
            std::fprintf(stderr, "bench_recorder: %s\n", qPrintable(recorder.log()));
            return 1;
        }
        busyDay(broker, recorder, events);
    }
    QTemporaryDir books;
    writePlan(books.filePath("month.sqlite"), 30, "a month of a 30-station venue");
    QDir().mkpath(books.filePath("year"));
    writePlan(books.filePath("year/books.sqlite"), days, "a year of a 30-station venue");
    reports(books.filePath("year"), days);
    if (qEnvironmentVariableIsSet("KEEP_YEAR"))
        QFile::copy(books.filePath("year/books.sqlite"), qEnvironmentVariable("KEEP_YEAR"));

    RecorderProcess recorder(broker.dir());
    if (recorder.start())
        idle(recorder, idleSeconds);
    return 0;
}
