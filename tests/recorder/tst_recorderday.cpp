// What the recorder makes of a station's day beyond its events, end to end with a real broker and
// the real nerq-recorder: a station whose connection dies (the broker's last will) is recorded as
// offline once, at the recorder's time, and back when its status says so; today's summary is
// published, retained, for the page; the recorder's own credentials reach nothing else.

#include "brokerclients.h"
#include "eventloopwait.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

QByteArray status(const QString& station, bool online, bool will)
{
    return statusPayload(station, online, will ? 0 : nowMs(), {{"02:00:00:00:00:05", "127.255.255.255"}});
}

// The desk, listening on a topic: the last payload it got.
class Listener
{
public:
    Listener(const BrokerConfig& desk, const QString& topic)
        : m_mqtt(desk, "test-desk-listener")
    {
        QObject::connect(&m_mqtt, &MqttClient::messageReceived,
                         [this](const QString&, const QByteArray& payload, bool) { m_last = payload; });
        m_mqtt.subscribe(topic);
        m_mqtt.start();
    }
    QJsonObject waitFor(const std::function<bool(const QJsonObject&)>& wanted, int msecs = 15000)
    {
        waitUntil([&] { return wanted(QJsonDocument::fromJson(m_last).object()); }, msecs);
        return QJsonDocument::fromJson(m_last).object();
    }

private:
    MqttClient m_mqtt;
    QByteArray m_last;
};

QJsonObject stationOf(const QJsonObject& summary, const QString& station)
{
    for (const QJsonValue& entry : summary.value("stations").toArray()) {
        if (entry.toObject().value("station").toString() == station)
            return entry.toObject();
    }
    return {};
}

} // namespace

class TestRecorderDay : public QObject
{
    Q_OBJECT

private slots:
    void aConnectionThatDiesIsAnOutageFromTheRecordersTime()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        const BrokerConfig st05 = stationConfig(broker.addStation("st05"));
        const QString statusTopic = VenueTopics::status("st05");
        QCOMPARE(publish(st05, statusTopic, status("st05", true, false), true), 0);
        // A station whose process dies: the broker publishes its will.
        QProcess station;
        station.start("mosquitto_sub", clientArguments(st05)
                                           + QStringList{"-t", VenueTopics::recorderAck("st05"), "--will-topic",
                                                         statusTopic, "--will-payload", status("st05", false, true),
                                                         "--will-qos", "1", "--will-retain"});
        QVERIFY(station.waitForStarted());
        waitUntil([] { return false; }, 500);
        const qint64 before = nowMs();
        station.kill();
        station.waitForFinished();
        QVERIFY2(recorder.waitForLog("st05: the broker says its connection died"), qPrintable(recorder.log()));
        const QString path = recorder.databasePath();
        QVERIFY(waitUntil([&] { return scalar(path, "SELECT COUNT(*) FROM presence WHERE online = 0") == 1; }, 5000));
        const qint64 at = scalar(path, "SELECT at FROM presence WHERE online = 0");
        QVERIFY(at >= before && at <= nowMs());
        // The addresses its status carried are kept for waking it.
        QCOMPARE(
            scalar(path, "SELECT COUNT(*) FROM stations WHERE station = 'st05' AND network LIKE '%02:00:00:00:00:05%'"),
            1);

        // The will stays retained: a recorder started again sees it again, and records nothing new.
        recorder.stop();
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        waitUntil([] { return false; }, 1000);
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM presence"), 1);

        QCOMPARE(publish(st05, statusTopic, status("st05", true, false), true), 0);
        QVERIFY(waitUntil([&] { return scalar(path, "SELECT COUNT(*) FROM presence WHERE online = 1") == 1; }, 5000));
    }

    void todaysSummaryIsRetainedForThePage()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        Stations stations = makeStations(broker, {"st01", "st02"});
        EventStation& st01 = *stations[0];
        const qint64 start = nowMs() - 60000;
        st01.emitEvent("online", {}, start);
        stations[1]->emitEvent("online", {}, start);
        st01.emitEvent("session-started", {{"session", "c1"}, {"seconds", 900}, {"gameId", "orbit"}}, start + 1000);
        st01.emitEvent("game-started", {{"gameId", "orbit"}, {"by", "desk"}, {"session", "c1"}}, start + 2000);
        st01.emitEvent("help-called", {{"session", "c1"}}, start + 30000);
        QVERIFY2(allAcknowledged(stations), qPrintable(recorder.log()));

        // A page that opens later still gets it at once.
        Listener page(broker.desk(), VenueTopics::todayReport());
        const QJsonObject summary = page.waitFor(
            [](const QJsonObject& s) { return s.value("figures").toObject().value("helpCalls").toInt() == 1; });
        QCOMPARE(summary.value("date").toString(), QDate::currentDate().toString(Qt::ISODate));
        QVERIFY(!summary.value("timeZone").toString().isEmpty());
        const QJsonObject figures = summary.value("figures").toObject();
        QCOMPARE(figures.value("sessions").toInt(), 1);
        QCOMPARE(figures.value("minutesSold").toDouble(), 15.0);
        QCOMPARE(figures.value("launches").toInt(), 1);
        QCOMPARE(summary.value("open").toObject().value("from").toDouble(), double(start));
        const QJsonObject timeline = stationOf(summary, "st01").value("timeline").toObject();
        const QJsonObject session = timeline.value("sessions").toArray().first().toObject();
        QCOMPARE(session.value("from").toDouble(), double(start + 1000));
        QVERIFY(session.value("to").isNull()); // still running
        QCOMPARE(session.value("gameId").toString(), QString("orbit"));
        QCOMPARE(timeline.value("games").toArray().first().toObject().value("gameId").toString(), QString("orbit"));
        QCOMPARE(timeline.value("help").toArray().first().toObject().value("at").toDouble(), double(start + 30000));
        QVERIFY(timeline.value("help").toArray().first().toObject().value("answeredAt").isNull());
        QCOMPARE(stationOf(summary, "st02").value("timeline").toObject().value("sessions").toArray().size(), 0);

        // The next one comes no sooner than 10 s after it, however much happens meanwhile.
        const qint64 first = qint64(summary.value("at").toDouble());
        st01.emitEvent("help-answered", {{"by", "desk"}, {"calledAt", double(start + 30000)}});
        const QJsonObject next = page.waitFor(
            [](const QJsonObject& s) { return s.value("figures").toObject().value("helpAnswered").toInt() == 1; });
        QVERIFY2(qint64(next.value("at").toDouble()) - first >= 9900, "two summaries within 10 s");
    }

    void theRecordersCredentialsReachNothingElse()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        Stations stations = makeStations(broker, {"st01"});
        QProcess commands;
        commands.start("mosquitto_sub", clientArguments(broker.desk())
                                            + QStringList{"-t", VenueTopics::commands("st01"), "-t",
                                                          VenueTopics::catalogue(), "-W", "3", "-v"});
        QVERIFY(commands.waitForStarted());
        waitUntil([] { return false; }, 500);
        const BrokerConfig recorder = stationConfig(broker.dir() + "/recorder.conf");
        QCOMPARE(recorder.user, QString("recorder"));
        for (const QString& forbidden : {VenueTopics::commands("st01"), VenueTopics::catalogue()})
            publish(recorder, forbidden, "{}");
        commands.waitForFinished(5000);
        QCOMPARE(QString::fromUtf8(commands.readAll()), QString());
    }
};

QTEST_GUILESS_MAIN(TestRecorderDay)
#include "tst_recorderday.moc"
