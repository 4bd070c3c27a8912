// The station's outbox of events on its own: its file across restarts (a torn last line, every
// event acknowledged), acknowledgements that must not be believed, and the bound, whose drop
// events the real nerq-recorder must let its acknowledgement pass.

#include "brokerclients.h"
#include "eventloopwait.h"
#include "eventoutbox.h"
#include "logcapture.h"
#include "mqttclient.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "testclock.h"
#include "venuebroker.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray ack(const QString& station, qint64 upTo)
{
    return QJsonDocument(QJsonObject{{"station", station}, {"upTo", double(upTo)}, {"at", 1}})
        .toJson(QJsonDocument::Compact);
}

QJsonObject eventOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// An outbox on a client that never connects: only its file and its memory.
struct Offline {
    explicit Offline(const QString& path, EventOutbox::Limits limits = {})
        : mqtt(BrokerConfig(), "never")
        , outbox(mqtt, "st01", path, clock, limits)
    {
        outbox.open();
    }
    TestClock clock;
    MqttClient mqtt;
    EventOutbox outbox;
};

} // namespace

class TestEventOutbox : public QObject
{
    Q_OBJECT

private slots:
    void sequenceNumbersGoOnAcrossRestarts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("station-st01.events");
        {
            Offline first(path);
            QCOMPARE(first.outbox.record("online"), 1);
            QCOMPARE(first.outbox.record("game-started", {{"gameId", "orbit"}, {"by", "desk"}}), 2);
            QCOMPARE(first.outbox.record("calibrated"), 3);
            first.outbox.handleAck(ack("st01", 2));
            QCOMPARE(first.outbox.outstanding(), 1);
        }
        {
            Offline second(path);
            QCOMPARE(second.outbox.lastSeq(), 3);
            QCOMPARE(second.outbox.outstanding(), 1);
            second.outbox.handleAck(ack("st01", 3));
            QCOMPARE(second.outbox.outstanding(), 0);
        }
        {
            Offline third(path); // writes the file anew, with no event left in it
            QCOMPARE(third.outbox.outstanding(), 0);
        }
        // Everything acknowledged and gone from the file: still no number comes twice.
        Offline fourth(path);
        QCOMPARE(fourth.outbox.record("ready"), 4);
    }

    void aTornLastLineIsSkippedAndWrittenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("station-st01.events");
        {
            Offline first(path);
            first.outbox.record("online");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"id\":\"st01:2\",\"station\":\"st01\",\"seq\":2,\"ty"); // the machine died here
        file.close();
        LogCapture log;
        {
            Offline second(path);
            QCOMPARE(log.warnings().size(), 1);
            QVERIFY(log.warnings().first().contains("not an event"));
            QCOMPARE(second.outbox.record("calibrated"), 2);
        }
        Offline third(path);
        QCOMPARE(log.warnings().size(), 1); // the torn part did not spoil the line after it
        QCOMPARE(third.outbox.lastSeq(), 2);
        QCOMPARE(third.outbox.outstanding(), 2);
    }

    void acknowledgementsThatCannotBeTrueAreIgnored()
    {
        QTemporaryDir dir;
        Offline station(dir.filePath("station-st01.events"));
        for (int i = 0; i < 5; ++i)
            station.outbox.record("calibrated");
        station.outbox.handleAck(ack("st01", 1));
        LogCapture log;
        const QList<QByteArray> hostile{"not json", "[1, 2]", ack("st02", 3), ack("st01", 6),
                                        "{\"station\":\"st01\",\"upTo\":\"3\"}", "{\"station\":\"st01\",\"upTo\":2.5}",
                                        "{\"station\":\"st01\",\"upTo\":-1}", "{\"station\":\"st01\"}",
                                        // Read loosely, this would acknowledge up to 3.
                                        "{\"station\":\"st01\",\"upTo\":3,\"upTo\":3}"};
        for (const QByteArray& payload : hostile)
            station.outbox.handleAck(payload);
        QCOMPARE(log.warnings().size(), hostile.size());
        QVERIFY(log.warnings().at(3).contains("sent only up to 5"));
        QCOMPARE(station.outbox.outstanding(), 4);
        QCOMPARE(station.outbox.acknowledged(), 1);
        station.outbox.handleAck(ack("st01", 5));
        QCOMPARE(station.outbox.outstanding(), 0);
        QCOMPARE(log.warnings().size(), hostile.size());
    }

    // The state folder wiped (or a new disk): the outbox starts at 1 again while the books hold
    // the station's events up to 40. Its events number on from 41, across a restart too, and are
    // never taken for the old ones.
    void aLostOutboxNumbersOnFromTheBooks()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("station-st01.events");
        LogCapture log;
        {
            Offline station(path);
            station.outbox.record("online");
            station.outbox.record("calibrated");
            station.outbox.handleAck(ack("st01", 40));
            QCOMPARE(log.warnings().size(), 1);
            QVERIFY(log.warnings().first().contains("numbered on from 41"));
            QCOMPARE(station.outbox.acknowledged(), 40);
            QCOMPARE(station.outbox.outstanding(), 2);
            QCOMPARE(station.outbox.record("ready"), 43);
        }
        Offline again(path);
        QCOMPARE(again.outbox.lastSeq(), 43);
        QCOMPARE(again.outbox.outstanding(), 3);
        // Once the books have them, an acknowledgement beyond is again one that cannot be true.
        again.outbox.handleAck(ack("st01", 43));
        QCOMPARE(again.outbox.outstanding(), 0);
        again.outbox.handleAck(ack("st01", 90));
        QCOMPARE(again.outbox.lastSeq(), 43);
        QCOMPARE(log.warnings().size(), 2);
    }

    void theOldestGoWithOneWarningAndADropEvent()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("station-st01.events");
        LogCapture log;
        {
            Offline station(path, {20, 30LL * 86400000});
            for (int i = 0; i < 20; ++i)
                station.outbox.record("calibrated");
            QCOMPARE(station.outbox.outstanding(), 20); // full, nothing dropped yet
            QVERIFY(log.warnings().isEmpty());
            for (int i = 0; i < 40; ++i)
                station.outbox.record("calibrated");
            QVERIFY(station.outbox.outstanding() <= 20);
            QCOMPARE(log.warnings().size(), 1);
            QVERIFY(log.warnings().first().contains("dropped"));
        }
        // What survives a restart: the drop events, each naming a range below its own number, and
        // together with what is left every number from 1 on.
        Offline again(path, {20, 30LL * 86400000});
        QCOMPARE(again.outbox.outstanding() <= 20, true);
        QCOMPARE(again.outbox.lastSeq() > 60, true);
    }

    void eventsOlderThanTheBoundGo()
    {
        QTemporaryDir dir;
        LogCapture log;
        Offline station(dir.filePath("station-st01.events"), {10000, 1000});
        station.outbox.record("online");
        station.outbox.record("calibrated");
        station.clock.wall += 1500;
        station.outbox.record("calibrated");
        // 1 and 2 went, 3 names them, 4 is the new one.
        QCOMPARE(station.outbox.lastSeq(), 4);
        QCOMPARE(station.outbox.outstanding(), 2);
        QCOMPARE(log.warnings().size(), 1);
    }

    // The real recorder, stopped while the outbox overflows, then started: its acknowledgement
    // passes every range the drop events name and reaches the last event.
    void theRecorderPassesWhatTheBoundDropped()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QTemporaryDir dir;
        TestClock clock;
        MqttClient mqtt(stationConfig(broker.addStation("st01")), "nerq-station-st01");
        mqtt.setPersistentSession(true);
        EventOutbox outbox(mqtt, "st01", dir.filePath("station-st01.events"), clock, {30, 30LL * 86400000});
        connect(&mqtt, &MqttClient::messageReceived, &outbox, [&](const QString& topic, const QByteArray& payload) {
            if (topic == outbox.ackTopic())
                outbox.handleAck(payload);
        });
        QVERIFY(outbox.open());
        outbox.start();
        mqtt.start();
        QVERIFY(waitUntil([&] { return mqtt.isConnected(); }, 10000));
        for (int i = 0; i < 100; ++i)
            outbox.record("calibrated");
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        QVERIFY2(waitUntil([&] { return outbox.acknowledged() == outbox.lastSeq(); }, 20000),
                 qPrintable(QString("acknowledged %1 of %2\n").arg(outbox.acknowledged()).arg(outbox.lastSeq())
                            + recorder.log()));
        QSet<qint64> present;
        QList<QPair<qint64, qint64>> dropped;
        for (const auto& row : booksOf(recorder.databasePath()).value("st01")) {
            present.insert(row.first);
            const QJsonObject event = eventOf(row.second);
            if (event.value("type").toString() == "events-dropped") {
                dropped.append({qint64(event.value("from").toDouble()), qint64(event.value("to").toDouble())});
                QVERIFY(dropped.last().second < row.first);
            }
        }
        QVERIFY(!dropped.isEmpty());
        // Every number is a row or in a drop event's range: nothing vanished without a word.
        for (qint64 seq = 1; seq <= outbox.lastSeq(); ++seq) {
            bool covered = present.contains(seq);
            for (const auto& range : dropped)
                covered = covered || (seq >= range.first && seq <= range.second);
            QVERIFY2(covered, qPrintable(QString("event %1 is neither in the books nor named as dropped").arg(seq)));
        }
        QCOMPARE(outbox.outstanding(), 0);
        mqtt.stop();
    }
};

QTEST_GUILESS_MAIN(TestEventOutbox)
#include "tst_eventoutbox.moc"
