// A station's outbox drained: 10,000 events waiting in the real nerq-station's state folder (a
// station that was cut off), the agent started against a real broker and the real nerq-recorder;
// how long until every event is in the books, and until the station has dropped them all.
//
//   bench_outbox [events] [runs]

#include "agentclock.h"
#include "eventloopwait.h"
#include "eventoutbox.h"
#include "mqttclient.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "teststation.h"
#include "venuebroker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

// The events as a station that could not reach the broker kept them, in its own file, until
// `events` wait there; the last one's sequence number.
qint64 fill(const QString& path, int events)
{
    MqttClient never(BrokerConfig(), "never-connected");
    EventOutbox outbox(never, "st01", path, AgentClock::system());
    outbox.setSynced(false); // its own run synced each one; the benchmark only needs them there
    outbox.open();
    while (outbox.outstanding() < events) {
        const qint64 seq = outbox.lastSeq() + 1;
        outbox.record(seq % 2 ? "command-failed" : "game-started",
                      seq % 2 ? QJsonObject{{"command", "launch"},
                                            {"commandId", QString("c%1").arg(seq)},
                                            {"error", "no game \"nosuch\" in this station's catalogue"},
                                            {"gameId", "nosuch"}}
                              : QJsonObject{{"gameId", "orbit"}, {"by", "desk"}, {"session", QJsonValue()}});
    }
    return outbox.lastSeq();
}

qint64 inBooks(const RecorderProcess& recorder)
{
    return scalar(recorder.databasePath(), "SELECT COUNT(*) FROM events WHERE station = 'st01'");
}

// One drain; false when it did not finish within a minute.
bool drain(const RecorderProcess& recorder, TestStation& station, int events)
{
    const QString path = station.stateDir() + "/station-st01.events";
    QDir().mkpath(station.stateDir());
    const qint64 last = fill(path, events);
    const qint64 bytes = QFileInfo(path).size();
    const int connects = station.log().count("Broker: connected");
    QElapsedTimer clock;
    clock.start();
    if (!station.launch())
        return false;
    waitUntil([&] { return station.log().count("Broker: connected") > connects; }, 10000);
    const qint64 connected = clock.elapsed();
    // Every event, and the new run's "online", in the books.
    if (!waitUntil([&] { return inBooks(recorder) >= last + 1; }, 60000))
        return false;
    const qint64 done = clock.elapsed();
    station.stop();
    std::printf("%d events: agent connected after %lld ms; all in the books %lld ms after the connection "
                "(%.0f events a second); the outbox's file %.1f MB\n",
                events, static_cast<long long>(connected), static_cast<long long>(done - connected),
                1000.0 * events / qMax<qint64>(1, done - connected), bytes / 1e6);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("NERQ_TOOLS_DIR"))
        qputenv("NERQ_TOOLS_DIR", QCoreApplication::applicationDirPath().toUtf8());
    if (!qEnvironmentVariableIsSet("NERQ_POWER_NOTES"))
        qputenv("NERQ_POWER_NOTES", QDir::temp().filePath("nerq-power-notes-bench_outbox").toUtf8());
    const QStringList args = QCoreApplication::arguments();
    // With the agent's "online" as it starts, a full outbox.
    const int events = args.value(1, "9999").toInt();
    const int runs = args.value(2, "3").toInt();

    VenueBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_outbox: %s\n", qPrintable(broker.report()));
        return 1;
    }
    RecorderProcess recorder(broker.dir());
    TestStation station("st01", broker.addStation("st01"));
    if (!recorder.start()) {
        std::fprintf(stderr, "bench_outbox: %s\n", qPrintable(recorder.log()));
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        if (!drain(recorder, station, events)) {
            std::fprintf(stderr, "bench_outbox: not drained\n%s\n%s\n", qPrintable(station.log()),
                         qPrintable(recorder.log()));
            return 1;
        }
    }
    return 0;
}
