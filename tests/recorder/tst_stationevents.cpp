// The station's events end to end: the real nerq-station, a real Mosquitto set up by nerq-venue
// init, the real nerq-recorder writing a real SQLite file. What goes wrong at a venue: the
// recorder away while the station works, the broker killed mid-stream, the station killed between
// writing an event and sending it. Then opening and closing: the station's network interfaces in
// its status and its will, and the desk's power command, which only ever reaches the stand-in.

#include "eventloopwait.h"
#include "mqttclient.h"
#include "networkaddresses.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "stationpower.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// The desk as a client of its own: sends commands, notes every result.
struct Desk {
    explicit Desk(const BrokerConfig& config)
        : mqtt(config, "test-desk")
    {
        QObject::connect(&mqtt, &MqttClient::messageReceived, [this](const QString&, const QByteArray& payload) {
            CommandResult result;
            QString error;
            if (CommandResult::parse(payload, &result, &error))
                results.insert(result.id, result);
        });
        mqtt.subscribe(VenueTopics::allResults());
        mqtt.start();
        waitUntil([this] { return mqtt.isConnected(); }, 10000);
    }
    bool send(const QString& station, const QString& id, const QString& command, const QString& gameId = {},
              const QString& action = {}, bool force = false)
    {
        StationCommand sent;
        sent.id = id;
        sent.command = command;
        sent.gameId = gameId;
        sent.action = action;
        sent.force = force;
        return send(station, sent);
    }
    bool send(const QString& station, StationCommand sent)
    {
        sent.expires = nowMs() + 60000;
        return mqtt.publish(VenueTopics::commands(station), sent.toJson(), false) >= 0;
    }
    bool answered(const QString& id, int msecs = 10000)
    {
        return waitUntil([&] { return results.contains(id); }, msecs);
    }
    MqttClient mqtt;
    QMap<QString, CommandResult> results;
};

using Rows = QList<QPair<qint64, QByteArray>>;

Rows rowsOf(const RecorderProcess& recorder, const QString& station)
{
    return booksOf(recorder.databasePath()).value(station);
}

QString typeOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object().value("type").toString();
}

// What the books hold of a station, for a failure's message.
QString listed(const Rows& rows)
{
    QStringList lines;
    for (const auto& row : rows)
        lines << QString::number(row.first) + ' ' + QString::fromUtf8(row.second);
    return lines.join('\n');
}

QJsonObject eventOf(const Rows& rows, const QString& type)
{
    for (const auto& row : rows) {
        const QJsonObject event = QJsonDocument::fromJson(row.second).object();
        if (event.value("type").toString() == type)
            return event;
    }
    return {};
}

// Until the books hold an event of `type` whose `field` is `value`.
bool waitForEvent(const RecorderProcess& recorder, const QString& station, const QString& type,
                  const QString& field = {}, const QString& value = {}, int msecs = 20000)
{
    return waitUntil(
        [&] {
            for (const auto& row : rowsOf(recorder, station)) {
                const QJsonObject event = QJsonDocument::fromJson(row.second).object();
                if (event.value("type").toString() == type && (field.isEmpty() || event.value(field) == value))
                    return true;
            }
            return false;
        },
        msecs);
}

// The station's events in the books are exactly 1, 2, ... up to the last: none missing.
QString gapIn(const Rows& rows)
{
    qint64 expected = 1;
    for (const auto& row : rows) {
        if (row.first != expected)
            return QString("event %1 where %2 was due").arg(row.first).arg(expected);
        ++expected;
    }
    return {};
}

// Per command id, how many command-failed events name it.
QMap<QString, int> failuresByCommand(const Rows& rows)
{
    QMap<QString, int> failures;
    for (const auto& row : rows) {
        const QJsonObject event = QJsonDocument::fromJson(row.second).object();
        if (event.value("type").toString() == "command-failed")
            ++failures[event.value("commandId").toString()];
    }
    return failures;
}

struct Venue {
    Venue()
    {
        ok = broker.start();
        station = std::make_unique<TestStation>("st01", broker.addStation("st01"));
        recorder = std::make_unique<RecorderProcess>(broker.dir());
    }
    QString report() const { return broker.report() + "\n" + station->log() + "\n" + recorder->log(); }
    VenueBroker broker;
    std::unique_ptr<TestStation> station;
    std::unique_ptr<RecorderProcess> recorder;
    bool ok = false;
};

} // namespace

class TestStationEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Nothing here may switch this machine off: the power calls go to the stand-in's notes.
        if (!qEnvironmentVariableIsSet("NERQ_POWER_NOTES"))
            qputenv("NERQ_POWER_NOTES", QDir::temp().filePath("nerq-power-notes-tst_stationevents").toUtf8());
    }

    void everyEventOnceInOrderWhileTheRecorderIsAway()
    {
        Venue venue;
        QVERIFY2(venue.ok, qPrintable(venue.report()));
        TestStation& st01 = *venue.station;
        st01.writeCatalogue({TestStation::nativeEntry("orbit", st01.nativeGame("orbit"), 2)});
        QVERIFY2(venue.recorder->start(), qPrintable(venue.report()));
        QVERIFY2(st01.start(), qPrintable(venue.report()));
        QVERIFY2(waitForEvent(*venue.recorder, "st01", "online"), qPrintable(venue.report()));
        venue.recorder->stop();

        Desk desk(venue.broker.desk());
        QVERIFY(desk.send("st01", "play", "launch", "orbit"));
        for (int i = 0; i < 20; ++i)
            QVERIFY(desk.send("st01", QString("miss%1").arg(i), "launch", "nosuch"));
        QVERIFY2(desk.answered("play") && desk.answered("miss19"), qPrintable(venue.report()));
        // The game's launcher ends at once: a look or two later the game has ended.
        waitUntil([] { return false; }, 2 * 2000 + 500);
        st01.stop();
        QVERIFY2(venue.recorder->start(), qPrintable(venue.report()));
        QVERIFY2(st01.start(), qPrintable(venue.report()));

        QVERIFY2(waitUntil([&] { return rowsOf(*venue.recorder, "st01").size() >= 25; }, 20000),
                 qPrintable(listed(rowsOf(*venue.recorder, "st01")) + '\n' + venue.station->log()));
        const Rows rows = rowsOf(*venue.recorder, "st01");
        QVERIFY2(gapIn(rows).isEmpty(), qPrintable(gapIn(rows)));
        QStringList types;
        for (const auto& row : rows)
            types << typeOf(row.second);
        QCOMPARE(types.first(), QString("online"));
        QCOMPARE(types.at(1), QString("game-started"));
        QCOMPARE(types.count("command-failed"), 20);
        QCOMPARE(types.count("game-ended"), 1);
        QCOMPARE(types.mid(types.size() - 2), (QStringList{"offline", "online"}));
        QCOMPARE(rows.size(), 25);
        const QMap<QString, int> failures = failuresByCommand(rows);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(failures.value(QString("miss%1").arg(i)), 1);
        const QJsonObject ended = QJsonDocument::fromJson(rows.at(types.indexOf("game-ended")).second).object();
        QCOMPARE(ended.value("gameId").toString(), QString("orbit"));
        QCOMPARE(ended.value("reason").toString(), QString("player"));
    }

    void nothingLostOrTwiceWhenTheBrokerIsKilledMidStream()
    {
        Venue venue;
        QVERIFY2(venue.ok, qPrintable(venue.report()));
        TestStation& st01 = *venue.station;
        QVERIFY2(venue.recorder->start(), qPrintable(venue.report()));
        QVERIFY2(st01.start(), qPrintable(venue.report()));
        Desk desk(venue.broker.desk());
        const int commands = 300;
        for (int i = 0; i < commands; ++i)
            QVERIFY(desk.send("st01", QString("miss%1").arg(i), "launch", "nosuch"));
        // Mid-stream: what the broker held in memory, on its way to the recorder, is gone.
        QVERIFY2(waitUntil([&] { return rowsOf(*venue.recorder, "st01").size() > 20; }, 20000),
                 qPrintable(venue.report()));
        venue.broker.kill();
        QVERIFY2(venue.broker.start(), qPrintable(venue.report()));
        // What reached the station before the kill was carried out once; the rest was lost with the
        // broker. A last command after it all marks the end.
        QVERIFY2(
            waitUntil([&] { return desk.mqtt.isConnected() && st01.log().count("Broker: connected") >= 2; }, 15000),
            qPrintable(venue.report()));
        // The marker itself may reach the broker before the station's subscriptions are back (then
        // it is nobody's to lose): sent again until one is in the books.
        bool marked = false;
        for (int i = 0; i < 6 && !marked; ++i) {
            const QString last = QString("last%1").arg(i);
            QVERIFY(desk.send("st01", last, "launch", "nosuch"));
            marked = waitForEvent(*venue.recorder, "st01", "command-failed", "commandId", last, 5000);
        }
        QVERIFY2(marked, qPrintable(venue.report()));
        const Rows rows = rowsOf(*venue.recorder, "st01");
        QVERIFY2(gapIn(rows).isEmpty(), qPrintable(gapIn(rows)));
        QCOMPARE(typeOf(rows.last().second), QString("command-failed"));
        const QMap<QString, int> failures = failuresByCommand(rows);
        for (auto it = failures.cbegin(); it != failures.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key() + " noted more than once"));
        QVERIFY(failures.size() > 20);
        QCOMPARE(scalar(venue.recorder->databasePath(), "SELECT COUNT(*) - COUNT(DISTINCT id) FROM events"), 0);
    }

    void anEventWrittenButNotSentArrivesOnceAfterAKill()
    {
        Venue venue;
        QVERIFY2(venue.ok, qPrintable(venue.report()));
        TestStation& st01 = *venue.station;
        QVERIFY2(venue.recorder->start(), qPrintable(venue.report()));
        st01.setEnvironment("NERQ_STATION_HOLD_AFTER_EVENT", "command-failed");
        QVERIFY2(st01.start(), qPrintable(venue.report()));
        Desk desk(venue.broker.desk());
        QVERIFY(desk.send("st01", "held", "launch", "nosuch"));
        QVERIFY2(st01.waitForLog("Holding after writing event"), qPrintable(venue.report()));
        const QRegularExpressionMatch held = QRegularExpression("Holding after writing event (\\d+)").match(st01.log());
        const qint64 seq = held.captured(1).toLongLong();
        QVERIFY(seq > 1);
        st01.kill(); // SIGKILL: the event is on disk, never sent
        QCOMPARE(failuresByCommand(rowsOf(*venue.recorder, "st01")).value("held"), 0);

        st01.setEnvironment("NERQ_STATION_HOLD_AFTER_EVENT", QString());
        QVERIFY2(st01.start(), qPrintable(venue.report()));
        QVERIFY2(waitUntil([&] { return rowsOf(*venue.recorder, "st01").size() >= seq + 1; }, 20000),
                 qPrintable(venue.report()));
        const Rows rows = rowsOf(*venue.recorder, "st01");
        QVERIFY2(gapIn(rows).isEmpty(), qPrintable(gapIn(rows)));
        QCOMPARE(failuresByCommand(rows).value("held"), 1);
        QCOMPARE(typeOf(rows.at(int(seq) - 1).second), QString("command-failed"));
        QCOMPARE(typeOf(rows.last().second), QString("online")); // the new run numbers on after it
    }

    void theStationSaysHowToWakeItAndPowerGoesToTheStandIn()
    {
        Venue venue;
        QVERIFY2(venue.ok, qPrintable(venue.report()));
        TestStation& st01 = *venue.station;
        QVERIFY2(st01.start(), qPrintable(venue.report()));
        const BrokerConfig deskConfig = venue.broker.desk();
        // Its first status may follow its connection by a moment on a loaded machine.
        QVERIFY2(waitUntil([&] { return statusOf(deskConfig, "st01").network == localNetworkAddresses(); }, 10000),
                 qPrintable(venue.report()));

        Desk desk(deskConfig);
        QVERIFY(desk.send("st01", "off", "power", {}, "off"));
        QVERIFY(desk.send("st01", "again", "power", {}, "restart", true));
        QVERIFY2(desk.answered("off") && desk.answered("again"), qPrintable(venue.report()));
        QVERIFY2(desk.results.value("off").ok, qPrintable(desk.results.value("off").error));
        QVERIFY(desk.results.value("again").ok);
        QFile notes(st01.powerNotes());
        QVERIFY(notes.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = notes.readAll().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith("power-off "));
        QVERIFY(lines.at(1).startsWith("restart "));

        // The broker's last will says the same, so a station that is off can be woken.
        st01.kill();
        StationStatus will;
        QVERIFY(waitUntil(
            [&] {
                will = statusOf(deskConfig, "st01");
                return will.station == "st01" && !will.online;
            },
            15000));
        QCOMPARE(will.network, localNetworkAddresses());
    }

    // A sold session as the books get it: started with its game, extended, the power-off refused
    // meanwhile, time's up ending the game (for that reason, not the player's), staff's ready.
    void aSoldSessionReachesTheBooks()
    {
        Venue venue;
        QVERIFY2(venue.ok, qPrintable(venue.report()));
        TestStation& st01 = *venue.station;
        st01.addToConfig("[session]\nwarnings=\ngrace=0\n");
        QVERIFY(st01.installStubbornGame());
        QVERIFY2(venue.recorder->start(), qPrintable(venue.report()));
        QVERIFY2(st01.start(), qPrintable(venue.report()));

        Desk desk(venue.broker.desk());
        StationCommand sold;
        sold.id = "sold";
        sold.command = "session-start";
        sold.gameId = "stubborn";
        sold.seconds = 3;
        QVERIFY(desk.send("st01", sold));
        QVERIFY2(desk.answered("sold") && desk.results.value("sold").ok, qPrintable(venue.report()));
        QVERIFY(desk.send("st01", "off", "power", {}, "off"));
        StationCommand more = sold;
        more.id = "more";
        more.command = "session-extend";
        more.gameId.clear();
        more.seconds = 2;
        QVERIFY(desk.send("st01", more));
        QVERIFY2(desk.answered("off") && !desk.results.value("off").ok, qPrintable(venue.report()));
        QVERIFY2(waitForEvent(*venue.recorder, "st01", "game-ended"), qPrintable(venue.report()));
        QVERIFY(desk.send("st01", "clean", "ready"));
        QVERIFY2(waitForEvent(*venue.recorder, "st01", "ready"), qPrintable(venue.report()));

        const Rows rows = rowsOf(*venue.recorder, "st01");
        const QString books = listed(rows);
        QVERIFY2(gapIn(rows).isEmpty(), qPrintable(books));
        QCOMPARE(eventOf(rows, "session-started").value("gameId").toString(), QString("stubborn"));
        QCOMPARE(eventOf(rows, "game-started").value("session").toString(), QString("sold"));
        QCOMPARE(eventOf(rows, "session-extended").value("seconds").toInt(), 2);
        QVERIFY2(eventOf(rows, "command-failed").value("error").toString().contains("session"), qPrintable(books));
        const QJsonObject ended = eventOf(rows, "session-ended");
        QCOMPARE(ended.value("reason").toString(), QString("time"));
        QCOMPARE(ended.value("seconds").toInt(), 5);
        QCOMPARE(eventOf(rows, "game-ended").value("reason").toString(), QString("time"));
        QVERIFY(!QFile::exists(st01.powerNotes()));
    }

    void aSessionRefusesPowerUnlessForced()
    {
        QFile notes(qEnvironmentVariable("NERQ_POWER_NOTES"));
        notes.remove();
        StationPower power;
        bool inSession = true;
        power.setInSession([&] { return inSession; });
        Outcome answer = Outcome::done();
        const auto ask = [&](bool force) {
            StationCommand command;
            command.id = "c";
            command.command = "power";
            command.action = "off";
            command.force = force;
            power.power(command, [&](const Outcome& outcome) { answer = outcome; });
        };
        ask(false);
        QVERIFY(!answer.ok());
        QVERIFY(answer.reason().contains("session"));
        QVERIFY(!notes.exists());
        ask(true);
        QVERIFY2(answer.ok(), qPrintable(answer.reason()));
        inSession = false;
        ask(false);
        QVERIFY(answer.ok());
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(notes.readAll().count("power-off "), 2);
    }
};

QTEST_GUILESS_MAIN(TestStationEvents)
#include "tst_stationevents.moc"
