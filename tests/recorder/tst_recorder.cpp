// The recorder end to end: a real Mosquitto set up by nerq-venue init, the real nerq-recorder with
// its own credentials, a real SQLite file, and stations played by the test that publish events as
// the README's table has them and keep an outbox until the recorder acknowledges. What goes wrong
// at a venue: the recorder stopped, the broker killed, a second recorder, hostile stations, a
// database that cannot be written, a station whose connection dies.

#include "booksdatabase.h"
#include "eventloopwait.h"
#include "eventstation.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "testpaths.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QFile>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// What a station does in a session, over and over: each call emits the next event of the cycle.
void emitNext(EventStation& station, int step)
{
    const QString session = QString("s%1").arg(step / 7);
    switch (step % 7) {
    case 0:
        station.emitEvent("session-started", {{"session", session}, {"seconds", 600}, {"gameId", "orbit"}});
        break;
    case 1:
        station.emitEvent("game-started", {{"gameId", "orbit"}, {"by", "desk"}, {"session", session}});
        break;
    case 2:
        station.emitEvent("help-called", {{"session", session}});
        break;
    case 3:
        station.emitEvent("help-answered", {{"by", "desk"}, {"calledAt", double(nowMs() - 5000)}});
        break;
    case 4:
        station.emitEvent("session-extended", {{"session", session}, {"seconds", 300}});
        break;
    case 5:
        station.emitEvent("game-ended", {{"gameId", "orbit"}, {"reason", "player"}});
        break;
    default:
        station.emitEvent("session-ended",
                          {{"session", session}, {"reason", "time"}, {"seconds", 900}, {"playedSeconds", 880}});
        break;
    }
}

// Every station emits an event every `everyMs` for `msecs`, the event loop running meanwhile.
void stream(const Stations& stations, int msecs, int everyMs = 25)
{
    static int step = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < msecs) {
        for (const auto& station : stations)
            emitNext(*station, step);
        ++step;
        waitUntil([] { return false; }, everyMs);
    }
}

// Each station's events in the books once each, all of them, in the station's order, as sent.
void verifyBooks(const QString& path, Stations& stations)
{
    const auto books = booksOf(path);
    for (auto& station : stations) {
        const QList<QPair<qint64, QByteArray>> rows = books.value(station->id());
        const QMap<qint64, QByteArray> sent = station->everything();
        QCOMPARE(rows.size(), sent.size());
        qint64 expected = 1;
        for (const auto& row : rows) {
            QCOMPARE(row.first, expected++);
            QCOMPARE(row.second, sent.value(row.first));
        }
    }
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void everyEventOnceAcrossARecorderRestart()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01", "st02", "st03"});
        for (auto& station : stations)
            station->emitEvent("online");
        stream(stations, 1500);
        recorder.stop();
        // Sessions and games go on while the desk's recorder is away.
        stream(stations, 2000);
        for (auto& station : stations)
            QVERIFY(station->outstanding() > 0);
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        stream(stations, 1000);
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));
        verifyBooks(recorder.databasePath(), stations);
    }

    void nothingLostOrTwiceWhenTheBrokerIsKilled()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01", "st02"});
        stream(stations, 1500, 10);
        // Mid-stream: what the broker held in memory, queued for the recorder, is gone.
        broker.kill();
        stream(stations, 1000, 10);
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        stream(stations, 1500, 10);
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));
        verifyBooks(recorder.databasePath(), stations);
        QCOMPARE(scalar(recorder.databasePath(), "SELECT COUNT(*) - COUNT(DISTINCT id) FROM events"), 0);
    }

    void theCommandLineSaysWhatIsWrong_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "nerq-recorder DIR [--wake-to";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "nerq-recorder 1.";
        QTest::newRow("unknown option") << QStringList{"--fast", "/tmp"} << 2
                                        << "nerq-recorder: Unknown option 'fast'.";
        QTest::newRow("no folder") << QStringList() << 2 << "nerq-recorder: give the venue's folder, one";
        QTest::newRow("a wake port") << QStringList{"--wake-to", "127.0.0.1:0", "/tmp"} << 2 << "\"0\" is no port";
        QTest::newRow("not a folder") << QStringList{"/dev/null"} << 1 << "/dev/null is no folder";
    }

    void theCommandLineSaysWhatIsWrong()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        QProcess recorder;
        recorder.setProcessChannelMode(QProcess::MergedChannels);
        recorder.start(TestPaths::tool("nerq-recorder"), arguments);
        QVERIFY(recorder.waitForFinished(10000));
        const QString output = QString::fromUtf8(recorder.readAll());
        QCOMPARE(recorder.exitCode(), status);
        QVERIFY2(output.contains(message), qPrintable(output));
    }

    void aSecondRecorderRefusesAndTheFirstGoesOn()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess first(broker.dir());
        QVERIFY2(first.start(), qPrintable(first.log()));
        RecorderProcess second(broker.dir());
        QVERIFY(second.launch());
        QCOMPARE(second.waitForExit(), 1);
        QVERIFY2(second.log().contains("another nerq-recorder (process"), qPrintable(second.log()));
        Stations stations = makeStations(broker, {"st01"});
        const qint64 seq = stations[0]->emitEvent("ready");
        QVERIFY2(stations[0]->waitAcknowledged(seq), qPrintable(first.log()));
        QVERIFY(first.isRunning());
    }

    void anEventSentAgainIsAcknowledgedAgainAndKeptOnce()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01"});
        EventStation& st01 = *stations[0];
        st01.emitEvent("online");
        const qint64 last = st01.emitEvent("ready");
        QVERIFY(st01.waitAcknowledged(last));
        // A station that missed the acknowledgement (the broker died before it passed it on).
        const int acknowledgements = st01.acknowledgements();
        st01.mqtt().publish(VenueTopics::events("st01"), st01.payload(1), false);
        QVERIFY2(waitUntil([&] { return st01.acknowledgements() > acknowledgements; }, 5000),
                 qPrintable(recorder.log()));
        QCOMPARE(st01.acknowledged(), last);
        QCOMPARE(scalar(recorder.databasePath(), "SELECT COUNT(*) FROM events"), 2);
    }

    void hostileEventsGetAWarningAndNoRow()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01"});
        EventStation& st01 = *stations[0];
        const QString topic = VenueTopics::events("st01");
        const QList<QByteArray> hostile{
            "not json at all",
            "[1, 2, 3]",
            R"({"id":"st01:1","station":"st01","seq":"1","type":"ready","at":1700000000000})",
            R"({"id":"st01:2","station":"st01","seq":1,"type":"ready","at":1700000000000})",
            R"({"id":"st02:1","station":"st02","seq":1,"type":"ready","at":1700000000000})",
            R"({"id":"st01:1","station":"st01","seq":1,"type":"session-started","at":1700000000000,)"
            R"("session":"a","seconds":-5,"gameId":null})",
            R"({"id":"st01:1","station":"st01","seq":1,"type":"game-ended","at":1700000000000,)"
            R"("gameId":"orbit","reason":"bored"})",
            R"({"id":"st01:1","station":"st01","seq":1.5,"type":"ready","at":1700000000000})",
            "{\"id\":\"st01:1\",\"station\":\"st01\",\"seq\":1,\"type\":\"ready\",\"at\":1,\"pad\":\""
                + QByteArray(1024 * 1024, 'x') + "\"}",
        };
        for (const QByteArray& payload : hostile)
            st01.mqtt().publish(topic, payload, false);
        // The recorder goes on: a good event after them is recorded and acknowledged.
        const qint64 good = st01.emitEvent("ready");
        QVERIFY2(st01.waitAcknowledged(good), qPrintable(recorder.log()));
        QCOMPARE(scalar(recorder.databasePath(), "SELECT COUNT(*) FROM events"), 1);
        QVERIFY2(recorder.log().contains("an event that is not one, not recorded: not JSON"),
                 qPrintable(recorder.log()));
        QVERIFY(recorder.isRunning());

        // Far ahead of the station's sequence: kept, never acknowledged past the gap...
        st01.skipTo(50);
        const qint64 ahead = st01.emitEvent("calibrated");
        waitUntil([] { return false; }, 1000);
        QCOMPARE(scalar(recorder.databasePath(), "SELECT COUNT(*) FROM events WHERE seq = 50"), 1);
        QCOMPARE(st01.acknowledged(), good);
        // ...until the station says what it dropped in between.
        const qint64 dropped = st01.emitEvent("events-dropped", {{"from", 2}, {"to", 49}});
        QVERIFY2(st01.waitAcknowledged(dropped), qPrintable(recorder.log()));
        QCOMPARE(ahead + 1, dropped);
    }

    void aLockedDatabaseStopsTheAcknowledgementsUntilItIsFree()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01"});
        const qint64 first = stations[0]->emitEvent("online");
        QVERIFY(stations[0]->waitAcknowledged(first));

        // Another program holds the write lock (a copy tool, someone's sqlite3 shell).
        auto holder = std::make_unique<BooksDatabase>(recorder.databasePath(), BooksDatabase::Mode::ReadWrite);
        QVERIFY(holder->open().ok());
        QVERIFY(holder->run({"BEGIN IMMEDIATE"}, "locking").ok());
        stream(stations, 500);
        QVERIFY2(recorder.waitForLog("is locked by another program"), qPrintable(recorder.log()));
        waitUntil([] { return false; }, 1500);
        QCOMPARE(stations[0]->acknowledged(), first);

        QVERIFY(holder->run({"ROLLBACK"}, "unlocking").ok());
        holder.reset();
        QVERIFY2(recorder.waitForLog("can be written again"), qPrintable(recorder.log()));
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));
        verifyBooks(recorder.databasePath(), stations);
    }

    void aDamagedDatabaseIsNamedAndANewOneTakesOver()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QFile damaged(recorder.databasePath());
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(8192, '\x5a'));
        damaged.close();
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        QVERIFY2(recorder.waitForLog("is damaged or not a database"), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01"});
        stream(stations, 500);
        waitUntil([] { return false; }, 1000);
        QCOMPARE(stations[0]->acknowledged(), 0);
        // The operator moves it aside.
        QVERIFY(QFile::rename(recorder.databasePath(), recorder.databasePath() + ".damaged"));
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));
        verifyBooks(recorder.databasePath(), stations);
    }

    void aReadOnlyDatabaseStopsTheAcknowledgementsUntilItIsWritable()
    {
        // Root writes any file: the recorder runs as the folder's owner, an ordinary user.
        const bool root = ::geteuid() == 0;
        VenueBroker broker(root ? VenueBroker::Options{false, "nobody", false, {}} : VenueBroker::Options{});
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        if (root)
            recorder.setUser("nobody");
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01"});
        const qint64 first = stations[0]->emitEvent("online");
        QVERIFY2(stations[0]->waitAcknowledged(first), qPrintable(recorder.log()));
        recorder.stop();

        QFile books(recorder.databasePath());
        const QFile::Permissions writable = books.permissions();
        QVERIFY(books.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        stream(stations, 500);
        QVERIFY2(recorder.waitForLog("is read-only"), qPrintable(recorder.log()));
        waitUntil([] { return false; }, 1000);
        QCOMPARE(stations[0]->acknowledged(), first);

        QVERIFY(books.setPermissions(writable));
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));
        verifyBooks(recorder.databasePath(), stations);
    }
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
