// The venue on this machine: one Mosquitto broker on loopback, set up by nerq-venue init, and 32
// nerq-station agents, each with its own home, catalogue and device blocks (a native game whose
// launcher is /bin/true).
//   - nerq-venue launch --all, the desk's whole command, and the same from the first command sent
//     to the last result (in process): p50 and p95 over the launches;
//   - the broker stopped and started again: time until all agents are online again;
//   - one idle agent: CPU over the idle time and resident memory.
//   bench_venue [STATIONS] [LAUNCHES] [IDLE SECONDS]     (default 32 50 60)

#include "benchblocks.h"
#include "desksession.h"
#include "procstat.h"
#include "teststation.h"
#include "venuebroker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[at];
}

int onlineSince(const DeskSession& desk, qint64 since)
{
    int count = 0;
    for (const StationStatus& status : desk.stations())
        count += status.online && status.since >= since;
    return count;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BenchBlocks blocks;
    if (!qEnvironmentVariableIsSet("NERQ_TOOLS_DIR"))
        qputenv("NERQ_TOOLS_DIR", QCoreApplication::applicationDirPath().toUtf8());
    // Never this machine's own power-off, whatever reaches an agent (each notes it in its home too).
    if (!qEnvironmentVariableIsSet("NERQ_POWER_NOTES"))
        qputenv("NERQ_POWER_NOTES", QDir::temp().filePath("nerq-power-notes-bench_venue").toUtf8());
    const QStringList args = QCoreApplication::arguments();
    const int stationCount = args.value(1, "32").toInt();
    const int launches = args.value(2, "50").toInt();
    const int idleSeconds = args.value(3, "60").toInt();

    VenueBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_venue: %s\n", qPrintable(broker.report()));
        return 1;
    }
    std::vector<std::unique_ptr<TestStation>> stations;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= stationCount; ++i) {
        const QString id = QString("st%1").arg(i, 2, 10, QChar('0'));
        auto station = std::make_unique<TestStation>(id, broker.addStation(id));
        station->writeCatalogue({TestStation::nativeEntry("quick", "/bin/true", 1)});
        station->launch();
        stations.push_back(std::move(station));
    }
    QString error;
    {
        DeskSession desk(broker.desk());
        if (!desk.open(5000, &error)) {
            std::fprintf(stderr, "bench_venue: %s\n", qPrintable(error));
            return 1;
        }
        if (!desk.waitUntil([&] { return onlineSince(desk, 0) == stationCount; }, 60000)) {
            std::fprintf(stderr, "bench_venue: only %d of %d stations came online\n", onlineSince(desk, 0),
                         stationCount);
            return 1;
        }
        std::printf("%d agents online %.0f ms after the first one started\n", stationCount, double(clock.elapsed()));
        desk.close();
    }

    // The desk's whole command, as an operator runs it.
    std::vector<double> whole;
    for (int i = 0; i < launches; ++i) {
        clock.restart();
        int status = -1;
        broker.runDesk({"launch", "quick", "--all"}, &status);
        whole.push_back(clock.nsecsElapsed() / 1e6);
        if (status != 0)
            std::fprintf(stderr, "bench_venue: launch %d ended with %d\n", i + 1, status);
    }
    std::printf("nerq-venue launch --all, %d stations, %d launches: p50 %.1f ms, p95 %.1f ms (whole command)\n",
                stationCount, launches, percentile(whole, 0.5), percentile(whole, 0.95));

    // A session that stays open reads all the while; one left unread meanwhile would find the
    // broker's queue for it full of the stations' news.
    DeskSession desk(broker.desk());
    desk.open(5000, &error);
    const auto cpuOfAll = [&] {
        double total = ProcStat::cpuMilliseconds(broker.pid());
        for (const auto& station : stations)
            total += ProcStat::cpuMilliseconds(station->pid());
        return total;
    };
    const double allBefore = cpuOfAll();
    const double selfBefore = ProcStat::cpuMilliseconds(QCoreApplication::applicationPid());
    std::vector<double> sent;
    StationCommand command;
    command.command = "launch";
    command.gameId = "quick";
    for (int i = 0; i < launches; ++i) {
        clock.restart();
        const QList<DeskSession::Outcome> outcomes = desk.send(desk.stations().keys(), command, 10);
        sent.push_back(clock.nsecsElapsed() / 1e6);
        for (const DeskSession::Outcome& outcome : outcomes) {
            if (outcome.state != DeskSession::Outcome::Done)
                std::fprintf(stderr, "bench_venue: %s did not launch (%d: %s)\n", qPrintable(outcome.station),
                             outcome.state, qPrintable(outcome.error));
        }
    }
    std::printf("first command sent to last result, %d stations, %d launches: p50 %.1f ms, p95 %.1f ms\n", stationCount,
                launches, percentile(sent, 0.5), percentile(sent, 0.95));
    std::printf("  CPU per launch: agents and broker %.1f ms, desk %.1f ms\n", (cpuOfAll() - allBefore) / launches,
                (ProcStat::cpuMilliseconds(QCoreApplication::applicationPid()) - selfBefore) / launches);
    desk.close();

    broker.stop();
    broker.start();
    const qint64 back = nowMs();
    clock.restart();
    DeskSession again(broker.desk());
    again.open(5000, &error);
    again.waitUntil([&] { return onlineSince(again, back) == stationCount; }, 30000);
    std::printf("broker restarted: %d of %d agents online again %.0f ms after it listened\n", onlineSince(again, back),
                stationCount, double(clock.elapsed()));
    again.close();

    // One agent alone, doing nothing: its own work is its 1 s keep-alive timer and 2 s look at
    // what runs.
    stations.resize(1);
    const qint64 pid = stations.front()->pid();
    const double cpuBefore = ProcStat::cpuMilliseconds(pid);
    QThread::sleep(static_cast<unsigned long>(idleSeconds));
    const double cpu = ProcStat::cpuMilliseconds(pid) - cpuBefore;
    std::printf("one idle agent over %d s: CPU %.0f ms (%.3f %%), resident memory %.1f MB\n", idleSeconds, cpu,
                cpu / (idleSeconds * 10.0), ProcStat::residentMegabytes(pid));
    return 0;
}
