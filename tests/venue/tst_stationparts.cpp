// The station agent's parts, each on its own where that is simpler than end to end: the status
// board against a real broker, the running game and the command runner on a clock the test sets,
// the work beside the loop, and the failures that used to pass without a word (a journal that
// cannot be set aside, a stop signal that cannot be arranged).

#include "cataloguework.h"
#include "commandjournal.h"
#include "commandrunner.h"
#include "gameitem.h"
#include "mqttclient.h"
#include "runninggame.h"
#include "stationsettings.h"
#include "statusboard.h"
#include "stopsignal.h"
#include "testclock.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

BrokerConfig addStation(VenueBroker& broker, const QString& id)
{
    BrokerConfig config;
    QString error;
    BrokerConfig::load(broker.addStation(id), &config, &error);
    return config;
}

// A client of the broker as station st01, and one of the desk's that notes what st01 publishes.
class Link
{
public:
    explicit Link(VenueBroker& broker)
        : station(addStation(broker, "st01"), "st01")
        , desk(broker.desk(), "watcher")
    {
        QObject::connect(&desk, &MqttClient::messageReceived,
                         [this](const QString& topic, const QByteArray& payload, bool, const MessageAge& age) {
                             if (topic == VenueTopics::status("st01")) {
                                 statuses << QJsonDocument::fromJson(payload).object();
                                 statusAges << age;
                             } else if (topic == VenueTopics::results("st01"))
                                 results << QJsonDocument::fromJson(payload).object();
                         });
        desk.subscribe(VenueTopics::status("st01"));
        desk.subscribe(VenueTopics::results("st01"));
    }

    bool connect()
    {
        QSignalSpy subscribed(&desk, &MqttClient::subscribed);
        QSignalSpy connected(&station, &MqttClient::connected);
        desk.start();
        station.start();
        return (subscribed.size() >= 2 || subscribed.wait(5000)) && (subscribed.size() >= 2 || subscribed.wait(5000))
               && (!connected.isEmpty() || connected.wait(5000));
    }

    MqttClient station;
    MqttClient desk;
    QList<QJsonObject> statuses;
    QList<MessageAge> statusAges;
    QList<QJsonObject> results;
};

StationSettings settings(const QString& dir)
{
    StationSettings settings;
    settings.station = "st01";
    settings.version = "test";
    settings.host = "test-pc";
    settings.catalogueDir = dir;
    settings.journalPath = dir + "/journal";
    return settings;
}

std::unique_ptr<GameItem> game(const QString& id, bool native)
{
    auto item = std::make_unique<GameItem>();
    item->setGameInfo(id, id, QString(), native, native ? "/bin/true" : QString(), native ? 0 : 570, 1);
    return item;
}

QByteArray command(const QString& id, const QString& name, qint64 expires)
{
    StationCommand command;
    command.id = id;
    command.command = name;
    command.gameId = name == "launch" ? "orbit" : QString();
    command.expires = expires;
    return command.toJson();
}

} // namespace

class StationPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void theBoardPublishesAnyFieldThatChanges();
    void theRunningGameCountsOnTheMonotonicClock();
    void commandsRunOnceAndExpireByTheStationsClock();
    void workRunsBesideTheLoopInOrder();
    void aJournalThatCannotBeSetAsideIsSaid();
    void aStopSignalThatCannotBeArrangedIsSaid();
};

void StationPartsTest::theBoardPublishesAnyFieldThatChanges()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    Link link(broker);
    QTemporaryDir dir;
    TestClock clock;
    StatusBoard board(link.station, settings(dir.path()), clock);
    int extra = 1;
    board.add([&](QJsonObject& status) { status.insert("extra", extra); },
              [](QJsonObject& will) { will.insert("extra", 0); });
    QObject::connect(&link.station, &MqttClient::connected, &board, &StatusBoard::online);
    QVERIFY(link.connect());
    QTRY_COMPARE_WITH_TIMEOUT(link.statuses.size(), 1, 5000);
    QCOMPARE(link.statuses.last().value("online").toBool(), true);
    QCOMPARE(link.statuses.last().value("since").toDouble(), double(clock.wall));
    QCOMPARE(link.statuses.last().value("extra").toInt(), 1);
    // When it was sent, on this clock, and an expiry interval the broker counts down: a reader
    // knows its age whatever the two clocks say.
    QCOMPARE(link.statuses.last().value("at").toDouble(), double(clock.wall));
    QVERIFY(link.statusAges.last().expiryLeftSeconds > MessageTiming::kRetainedLifetimeSeconds - 5);

    // Nothing new: nothing sent, though time went on (when it is sent is no news). A field of a
    // part's own, which no other code knows, changes: sent.
    clock.wall += 1000;
    board.refresh();
    QTest::qWait(300);
    QCOMPARE(link.statuses.size(), 1);
    extra = 2;
    board.refresh();
    QTRY_COMPARE_WITH_TIMEOUT(link.statuses.size(), 2, 5000);
    QJsonObject sent = link.statuses.last();
    QCOMPARE(sent.value("extra").toInt(), 2);
    QCOMPARE(sent.take("at").toDouble(), double(clock.wall));
    QCOMPARE(QJsonDocument::fromJson(board.payload()).object(), sent);

    // Stopping, the board says so itself.
    clock.wall += 5000;
    board.offline();
    QTRY_COMPARE_WITH_TIMEOUT(link.statuses.size(), 3, 5000);
    QCOMPARE(link.statuses.last().value("online").toBool(), false);
    QCOMPARE(link.statuses.last().value("since").toDouble(), double(clock.wall));
}

void StationPartsTest::theRunningGameCountsOnTheMonotonicClock()
{
    QTemporaryDir dir;
    TestClock clock;
    RunningGame running(dir.path(), clock);
    const auto look = [&] {
        QJsonObject status;
        running.addTo(status);
        return status;
    };
    QCOMPARE(look().value("runningGame"), QJsonValue(QJsonValue::Null));
    QCOMPARE(look().value("lastLaunch"), QJsonValue(QJsonValue::Null));

    // A Steam game counts as running for a grace after its launch, until Steam says otherwise.
    const auto steam = game("alyx", false);
    running.started(*steam, {ShellOpen::Opened::How::Desktop, 0, {}}, "till");
    const qint64 launchedAt = clock.wall;
    QCOMPARE(look().value("runningGame").toString(), QString("alyx"));
    QCOMPARE(look().value("lastLaunch").toObject(),
             QJsonObject({{"gameId", "alyx"}, {"at", double(launchedAt)}, {"by", "till"}}));
    // The wall clock put back an hour (or on) changes no duration.
    clock.wall -= 3600 * 1000;
    clock.monotonic += RunningGame::kSteamStartGraceMs - 1000;
    QCOMPARE(look().value("runningGame").toString(), QString("alyx"));
    clock.wall += 7200 * 1000;
    QCOMPARE(look().value("runningGame").toString(), QString("alyx"));
    clock.monotonic += 2000;
    QCOMPARE(look().value("runningGame"), QJsonValue(QJsonValue::Null));

    // A native game runs while its process runs, and not after.
    QProcess process;
    process.start("sleep", {"30"});
    QVERIFY(process.waitForStarted());
    const auto native = game("orbit", true);
    running.started(*native, {ShellOpen::Opened::How::Program, process.processId(), {}}, "desk");
    QCOMPARE(look().value("runningGame").toString(), QString("orbit"));
    QCOMPARE(look().value("runningGame").toString(), QString("orbit"));
    process.kill();
    process.waitForFinished();
    QCOMPARE(look().value("runningGame"), QJsonValue(QJsonValue::Null));
    // The last will knows of no game.
    QJsonObject will = look();
    RunningGame::addToWill(will);
    QCOMPARE(will.value("runningGame"), QJsonValue(QJsonValue::Null));
    QCOMPARE(will.value("lastLaunch").toObject().value("gameId").toString(), QString("orbit"));
}

void StationPartsTest::commandsRunOnceAndExpireByTheStationsClock()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    Link link(broker);
    QTemporaryDir dir;
    TestClock clock;
    CommandRunner runner(link.station, "st01", dir.filePath("journal"), clock);
    QList<CommandRunner::Reply> waiting;
    int launches = 0;
    runner.offer("launch", [&](const StationCommand&, const CommandRunner::Reply& reply) {
        ++launches;
        reply(Outcome::done());
    });
    runner.offer("scan", [&](const StationCommand&, const CommandRunner::Reply& reply) { waiting << reply; });
    runner.load();
    QVERIFY(link.connect());

    // Expiry is judged on the station's clock, whatever the test process's own says.
    runner.handle(command("c1", "launch", clock.wall + 1000));
    clock.wall += 3600 * 1000;
    runner.handle(command("c2", "launch", clock.wall - 1));
    QTRY_COMPARE_WITH_TIMEOUT(link.results.size(), 2, 5000);
    QCOMPARE(launches, 1);
    QCOMPARE(link.results[0].value("ok").toBool(), true);
    QCOMPARE(link.results[0].value("at").toDouble(), double(clock.wall - 3600 * 1000));
    QVERIFY2(link.results[1].value("error").toString().contains("expired at"),
             qPrintable(link.results[1].value("error").toString()));

    // A command answered later, delivered again meanwhile: carried out once, answered once.
    runner.handle(command("s1", "scan", clock.wall + 10000));
    runner.handle(command("s1", "scan", clock.wall + 10000));
    QTest::qWait(300);
    QCOMPARE(waiting.size(), 1);
    QCOMPARE(link.results.size(), 2);
    waiting.takeFirst()(Outcome::failed("no Steam here"));
    QTRY_COMPARE_WITH_TIMEOUT(link.results.size(), 3, 5000);
    QCOMPARE(link.results[2].value("error").toString(), QString("no Steam here"));
    // Delivered once more after its answer: the same answer again, from the journal.
    runner.handle(command("s1", "scan", clock.wall + 10000));
    QTRY_COMPARE_WITH_TIMEOUT(link.results.size(), 4, 5000);
    QCOMPARE(link.results[3], link.results[2]);
    QVERIFY(waiting.isEmpty());

    // With the broker's count of its lifetime, that count decides, not `expires` on this clock:
    // 5 s left is fresh here an hour past `expires`, and kept in the journal by its end on this
    // clock; the same after 6 s unread in a stalled loop is not carried out.
    runner.handle(command("b1", "launch", clock.wall - 3600 * 1000), MessageAge{5, 0});
    runner.handle(command("b2", "launch", clock.wall + 3600 * 1000), MessageAge{5, 6000});
    QTRY_COMPARE_WITH_TIMEOUT(link.results.size(), 6, 5000);
    QCOMPARE(launches, 2);
    QCOMPARE(link.results[4].value("ok").toBool(), true);
    QVERIFY2(link.results[5].value("error").toString().contains("lifetime ran out"),
             qPrintable(link.results[5].value("error").toString()));
    CommandJournal journal(dir.filePath("journal"));
    QString warning;
    QVERIFY2(journal.load(&warning), qPrintable(warning));
    QCOMPARE(journal.find("b1")->expires, clock.wall + 5000);
}

void StationPartsTest::workRunsBesideTheLoopInOrder()
{
    QStringList outcomes;
    QList<Qt::HANDLE> threads;
    {
        CatalogueWork work;
        QSignalSpy idle(&work, &CatalogueWork::idle);
        for (int i = 0; i < 3; ++i) {
            work.post(
                [i, &threads, &outcomes]() -> CatalogueWork::Then {
                    threads << QThread::currentThreadId();
                    if (i == 1)
                        throw std::runtime_error("a library threw");
                    QThread::msleep(50);
                    return [i, &outcomes] {
                        outcomes << QString("done %1 on %2")
                                        .arg(i)
                                        .arg(QThread::currentThread() == QCoreApplication::instance()->thread());
                    };
                },
                [&outcomes](const QString& error) { outcomes << "failed: " + error; });
        }
        QCOMPARE(work.pending(), 3);
        QVERIFY(outcomes.isEmpty()); // nothing waits on the loop
        QVERIFY(idle.wait(5000));
        QCOMPARE(work.pending(), 0);
    }
    QCOMPARE(outcomes, QStringList({"done 0 on 1", "failed: a library threw", "done 2 on 1"}));
    QCOMPARE(threads.size(), 3);
    QVERIFY(threads[0] != QThread::currentThreadId());

    // A piece that hangs does not hold up the end of the agent beyond a bound; its outcome is dropped.
    QElapsedTimer clock;
    clock.start();
    {
        CatalogueWork work;
        work.post(
            [] {
                QThread::sleep(10);
                return CatalogueWork::Then([] { QFAIL("an outcome after the end"); });
            },
            [](const QString&) {});
        QThread::msleep(100);
    }
    QVERIFY2(clock.elapsed() < CatalogueWork::kStopWaitMs + 1000, qPrintable(QString::number(clock.elapsed())));
}

void StationPartsTest::aJournalThatCannotBeSetAsideIsSaid()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("station-st01.commands");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    // Something that is no file sits where the unreadable journal would go.
    QVERIFY(QDir().mkpath(path + ".unreadable/kept"));
    CommandJournal journal(path);
    QString warning;
    QVERIFY(!journal.load(&warning));
    QVERIFY2(warning.contains("nor set aside as " + path + ".unreadable"), qPrintable(warning));
    QVERIFY(QFileInfo(path + ".unreadable/kept").isDir());
    // It is written anew at the next command.
    QString error;
    QVERIFY2(journal.begin("c1", 2000, 1000, &error), qPrintable(error));
    CommandJournal again(path);
    QVERIFY(again.load(&warning) && again.find("c1"));
}

void StationPartsTest::aStopSignalThatCannotBeArrangedIsSaid()
{
    // Every descriptor the process may have, taken.
    struct rlimit limit = {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    const struct rlimit lowered = {256, limit.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
    std::vector<int> taken;
    for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
        taken.push_back(fd);
    QString error;
    const bool arranged = onStopSignal([] {}, &error);
    for (const int fd : taken)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    QVERIFY(!arranged);
    QVERIFY2(error.startsWith("socketpair: "), qPrintable(error));
}

QTEST_GUILESS_MAIN(StationPartsTest)
#include "tst_stationparts.moc"
