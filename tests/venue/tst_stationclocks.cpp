// Commands and times across clocks: real nerq-station agents whose wall clocks are moved (Debian's
// libfaketime) an hour and more off the desk's, a real broker, and the desk as nerq-venue or as a
// client of the desk's credentials.

#include "desksession.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtTest>

#include <utility>

namespace {

// The times nerq-venue printed in a line, as milliseconds since the epoch.
QList<qint64> timesIn(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"));
    QList<qint64> times;
    for (auto it = stamp.globalMatch(line); it.hasNext();)
        times << QDateTime::fromString(it.next().captured(), "yyyy-MM-dd hh:mm:ss").toMSecsSinceEpoch();
    return times;
}

QByteArray launch(const QString& id, const QString& game, qint64 expires)
{
    StationCommand command;
    command.id = id;
    command.command = "launch";
    command.gameId = game;
    command.expires = expires;
    command.by = "test";
    return command.toJson();
}

} // namespace

class StationClocksTest : public QObject
{
    Q_OBJECT

private slots:
    void commandsHoldWhateverTheClocksSay();
    void theDeskShowsStationTimesOnItsOwnClock();
};

// With no time server on the venue's network, the stations' clocks drift: one an hour ahead of
// the desk, one an hour behind. The broker's count of each command's lifetime decides.
void StationClocksTest::commandsHoldWhateverTheClocksSay()
{
    QVERIFY2(!fakeTimeLibrary().isEmpty(), "Debian's faketime is missing: run scripts/setup.sh");
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation ahead("ahead", broker.addStation("ahead"));
    TestStation behind("behind", broker.addStation("behind"));
    TestStation far("far", broker.addStation("far"));
    ahead.setClockOffset(3600);
    behind.setClockOffset(-3600);
    far.setClockOffset(3 * 3600);
    for (TestStation* station : {&ahead, &behind, &far}) {
        station->writeCatalogue({TestStation::nativeEntry("orbit", station->nativeGame("orbit"), 2),
                                 TestStation::nativeEntry("reef", station->nativeGame("reef"), 4)});
        station->installSteamGame(546560, "Half-Life Alyx"); // for the Steam scan
        QVERIFY2(station->start(), qPrintable(station->log()));
    }

    // Carried out at once, on both.
    int status = -1;
    for (const QStringList& command : {QStringList{"launch", "orbit"}, QStringList{"calibrate"}, QStringList{"scan"}}) {
        const QString output = broker.runDesk(command + QStringList{"--station", "ahead,behind"}, &status);
        QVERIFY2(status == 0, qPrintable(output + ahead.log() + behind.log()));
    }
    for (TestStation* station : {&ahead, &behind}) {
        QVERIFY2(waitUntil([&] { return station->launched() == QStringList{"orbit"}; }, 5000),
                 qPrintable(station->log()));
        QVERIFY(station->calibrationRequested());
    }

    // Lying unread in a frozen station past its lifetime, a command is never carried out, though
    // the clock of that station, an hour behind, would call it fresh for an hour yet.
    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    const auto send = [&](const QString& station, const QString& id, const QString& game, int lifetime,
                          qint64 expires) {
        const QByteArray command = launch(id, game, expires ? expires : nowMs() + lifetime * 1000LL);
        return desk.mqtt().publish(VenueTopics::commands(station), command, false, lifetime) >= 0;
    };
    behind.pause();
    QVERIFY(send("behind", "frozen", "reef", 2, 0));
    QTest::qWait(3500);
    behind.resume();
    QVERIFY2(behind.waitForLog("Command frozen (launch reef", 5000), qPrintable(behind.log()));

    // Queued by the broker for a station that is away: within its lifetime it is carried out
    // when the station is back (its clock an hour ahead would call it an hour old); past its
    // lifetime the broker drops it.
    ahead.kill();
    QVERIFY(send("ahead", "queued-stale", "reef", 1, 0));
    QTest::qWait(2500);
    QVERIFY(send("ahead", "queued", "reef", 30, 0));
    QVERIFY2(ahead.start(), qPrintable(ahead.log()));
    QVERIFY2(ahead.waitForLog("Command queued (launch reef", 5000), qPrintable(ahead.log()));
    QVERIFY2(waitUntil(
                 [&] {
                     return ahead.launched() == QStringList({"orbit", "reef"});
                 },
                 5000),
             qPrintable(ahead.log()));

    // Without the broker's count (an MQTT 3.1.1 sender), `expires` on the station's clock decides.
    QVERIFY(desk.mqtt().publish(VenueTopics::commands("ahead"), launch("plain", "orbit", nowMs() + 60000), false) >= 0);
    QVERIFY2(ahead.waitForLog("Command plain (launch orbit", 5000), qPrintable(ahead.log()));
    QVERIFY2(ahead.log().contains("this station's clock"), qPrintable(ahead.log()));

    // A repeat is known as one on a station three hours ahead, with other commands in between.
    QVERIFY(send("far", "once", "orbit", 60, 0));
    QVERIFY(send("far", "between", "reef", 60, 0));
    QVERIFY2(far.waitForLog("Command between (launch reef", 5000), qPrintable(far.log()));
    QVERIFY(send("far", "once", "orbit", 60, 0));
    QVERIFY2(far.waitForLog("Command once was taken on before", 5000), qPrintable(far.log()));
    desk.close();

    QTest::qWait(500);
    QCOMPARE(behind.launched(), QStringList{"orbit"});
    QVERIFY2(!ahead.log().contains("Command queued-stale"), qPrintable(ahead.log()));
    QCOMPARE(far.launched(), QStringList({"orbit", "reef"}));
}

// What the desk shows of a station, online, after a launch and gone, is on the desk's clock,
// though the stations' clocks are an hour off either way.
void StationClocksTest::theDeskShowsStationTimesOnItsOwnClock()
{
    QVERIFY2(!fakeTimeLibrary().isEmpty(), "Debian's faketime is missing: run scripts/setup.sh");
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation ahead("ahead", broker.addStation("ahead"));
    TestStation behind("behind", broker.addStation("behind"));
    ahead.setClockOffset(3600);
    behind.setClockOffset(-3600);
    for (TestStation* station : {&ahead, &behind}) {
        station->writeCatalogue({TestStation::nativeEntry("orbit", station->nativeGame("orbit"), 2)});
        QVERIFY2(station->start(), qPrintable(station->log()));
    }
    int status = -1;
    QString output = broker.runDesk({"launch", "orbit", "--all"}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    // Read a while later, from what the broker keeps: the statuses' age counts too.
    QTest::qWait(2000);

    const auto near = [](qint64 at) { return qAbs(at - nowMs()) < 30000; };
    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    for (const auto& [id, offset] : {std::pair<QString, qint64>{"ahead", 3600}, {"behind", -3600}}) {
        StationStatus sent;
        QVERIFY2(StationStatus::parse(desk.statusPayloads().value(id), &sent, &error), qPrintable(error));
        QVERIFY2(qAbs(sent.since - offset * 1000 - nowMs()) < 30000, "the station's clock was not moved");
        const StationStatus shown = desk.stations().value(id);
        QVERIFY2(near(shown.since), qPrintable(QString("%1: since %2 ms off").arg(id).arg(shown.since - nowMs())));
        QVERIFY(shown.lastLaunch && near(shown.lastLaunch->at));
    }
    desk.close();
    output = broker.runDesk({"status"}, &status);
    QCOMPARE(timesIn(lineFor(output, "ahead")).size(), 2); // online since, last launch
    for (const qint64 at : timesIn(lineFor(output, "ahead") + lineFor(output, "behind")))
        QVERIFY2(near(at), qPrintable(output));

    // Its connection gone, the station is offline since then, by the broker's count.
    const qint64 killedAt = nowMs();
    behind.kill();
    QVERIFY(waitUntil([&] { return !statusOf(broker.desk(), "behind").online; }, 20000));
    const StationStatus gone = statusOf(broker.desk(), "behind");
    QVERIFY2(gone.since >= killedAt - 2000 && gone.since <= nowMs(),
             qPrintable(QString("offline since %1 ms after the kill").arg(gone.since - killedAt)));
    output = broker.runDesk({"status"}, &status);
    QVERIFY2(lineFor(output, "behind").contains("OFFLINE since"), qPrintable(output));
    QVERIFY2(near(timesIn(lineFor(output, "behind")).value(0)), qPrintable(output));
}

QTEST_GUILESS_MAIN(StationClocksTest)
#include "tst_stationclocks.moc"
