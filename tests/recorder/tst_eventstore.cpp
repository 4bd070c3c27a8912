// The recorder's parts on their own, with a real SQLite file: what counts as an event, how far an
// acknowledgement may go, and the books across a reopen, an older schema, a newer one and a full
// disk.

#include "acktracker.h"
#include "booksdatabase.h"
#include "eventstore.h"
#include "spans.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray eventJson(const QString& type, QJsonObject fields = {}, qint64 seq = 1, const QString& station = "st01")
{
    fields.insert("id", QString("%1:%2").arg(station).arg(seq));
    fields.insert("station", station);
    fields.insert("seq", double(seq));
    fields.insert("type", type);
    fields.insert("at", 1774000000000.0);
    return QJsonDocument(fields).toJson(QJsonDocument::Compact);
}

StationEvent parsed(qint64 seq, const QString& type = "ready", const QJsonObject& fields = {})
{
    QString error;
    const auto result = StationEvent::parse("st01", eventJson(type, fields, seq), &error);
    if (!result)
        qFatal("%s", qPrintable(error));
    return *result;
}

BooksBatch batch(const QList<qint64>& seqs)
{
    BooksBatch batch;
    for (const qint64 seq : seqs)
        batch.events << parsed(seq);
    return batch;
}

} // namespace

class TestEventStore : public QObject
{
    Q_OBJECT

private slots:
    void eventsAreReadStrictly_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("error"); // empty: accepted
        const QJsonValue null(QJsonValue::Null);
        QTest::newRow("game started") << eventJson("game-started",
                                                   {{"gameId", "orbit"}, {"by", "desk"}, {"session", null}})
                                      << "";
        QTest::newRow("session ended") << eventJson(
            "session-ended", {{"session", "c1"}, {"reason", "desk"}, {"seconds", 900}, {"playedSeconds", 0}})
                                       << "";
        QTest::newRow("help answered") << eventJson("help-answered", {{"by", null}, {"calledAt", 1774000000000.0}})
                                       << "";
        QTest::newRow("a newer agent's type") << eventJson("headset-lost") << "";
        QTest::newRow("dropped range") << eventJson("events-dropped", {{"from", 3}, {"to", 9}}, 10) << "";
        QTest::newRow("dropped past itself")
            << eventJson("events-dropped", {{"from", 3}, {"to", 10}}, 10) << "end before the event's own seq";
        QTest::newRow("range backwards") << eventJson("events-dropped", {{"from", 9}, {"to", 3}}, 10) << "run forwards";
        QTest::newRow("seconds as text") << eventJson("session-extended", {{"session", "c1"}, {"seconds", "300"}})
                                         << "\"seconds\" must be a whole number";
        QTest::newRow("a year of session")
            << eventJson("session-started", {{"session", "c1"}, {"seconds", 31536000}, {"gameId", null}})
            << "at most 86400";
        QTest::newRow("no game") << eventJson("game-ended", {{"reason", "time"}}) << "\"gameId\" must be a text";
        QTest::newRow("unknown reason") << eventJson("game-ended", {{"gameId", "orbit"}, {"reason", "bored"}})
                                        << "may not be \"bored\"";
        QTest::newRow("id of another seq")
            << QByteArray(R"({"id":"st01:7","station":"st01","seq":1,"type":"ready","at":5})")
            << "\"id\" must be \"st01:1\"";
        QTest::newRow("another station's topic") << eventJson("ready", {}, 1, "st02") << "the topic's is st01";
        QTest::newRow("seq zero") << eventJson("ready", {}, 0) << "\"seq\" must be";
        QTest::newRow("seq beyond a double")
            << QByteArray(R"({"id":"st01:1","station":"st01","seq":1e300,"type":"ready","at":5})") << "\"seq\" must be";
        QTest::newRow("type with spaces") << eventJson("game started") << "\"type\" must be";
        QTest::newRow("type with a line break after it") << eventJson("ready\n") << "\"type\" must be";
        QTest::newRow("not an object") << QByteArray("[]") << "not a JSON object";
        QTest::newRow("a key given twice")
            << QByteArray(R"({"id":"st01:1","station":"st01","seq":1,"type":"ready","at":5,"at":5})") << "not JSON";
        QTest::newRow("too large") << eventJson("ready", {{"pad", QString(20000, 'x')}}) << "more than an event's";
    }

    void eventsAreReadStrictly()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, error);
        QString reason;
        const auto result = StationEvent::parse("st01", payload, &reason);
        if (error.isEmpty())
            QVERIFY2(result.has_value(), qPrintable(reason));
        else
            QVERIFY2(!result && reason.contains(error), qPrintable(reason));
    }

    void theAcknowledgementStopsAtTheFirstGap()
    {
        AckTracker acks;
        QVERIFY(acks.add("st01", 1));
        QVERIFY(!acks.add("st01", 3));
        QVERIFY(!acks.add("st01", 1)); // again: nothing new
        QCOMPARE(acks.upTo("st01"), 1);
        QVERIFY(acks.add("st01", 2));
        QCOMPARE(acks.upTo("st01"), 3);
        // Far ahead, then the station's word for what it dropped: the gap is passed, no other.
        QVERIFY(!acks.add("st01", 50));
        QVERIFY(!acks.add("st01", 60));
        QVERIFY(acks.add("st01", 51, 4, 49));
        QCOMPARE(acks.upTo("st01"), 51);
        QCOMPARE(acks.waiting(), 1);
        // Ranges that overlap, waiting for a gap before them: the widest reach counts.
        AckTracker nested;
        nested.add("st02", 200, 10, 20);
        nested.add("st02", 201, 5, 100);
        for (qint64 seq = 1; seq <= 4; ++seq)
            nested.add("st02", seq);
        QCOMPARE(nested.upTo("st02"), 100);
        QCOMPARE(nested.upTo("st03"), 0);
    }

    void spansJoinAndMeasure()
    {
        Spans spans;
        spans.add(10, 20);
        spans.add(30, 40);
        spans.add(18, 31); // joins both
        spans.add(50, 50); // empty: nothing
        QCOMPARE(int(spans.all().size()), 1);
        QCOMPARE(spans.within(0, 100), 30);
        Spans other;
        other.add(45, 60);
        other.add(5, 12);
        spans.add(other);
        QCOMPARE(spans.within(0, 100), 35 + 15); // 5..40 and 45..60
        const auto gaps = spans.gaps(0, 100);
        QCOMPARE(int(gaps.size()), 3);
        QCOMPARE(gaps[1].from, 40);
        QCOMPARE(gaps[1].to, 45);
        qint64 first = 0;
        qint64 last = 0;
        QVERIFY(spans.bounds(41, 100, &first, &last));
        QCOMPARE(first, 45);
        QCOMPARE(last, 60);
    }

    void aResentEventIsOneRowAndTheBooksCarryOverAReopen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("books.sqlite");
        {
            EventStore store(path);
            QVERIFY(store.open().ok());
            QStringList moved;
            QVERIFY(store.write(batch({1, 2, 4}), 1, &moved).ok());
            QCOMPARE(moved, QStringList{"st01"});
            QVERIFY(store.write(batch({2, 4}), 2, &moved).ok());
            QVERIFY(moved.isEmpty());
            QCOMPARE(store.eventsWritten(), 3);
        }
        EventStore store(path);
        QVERIFY(store.open().ok());
        QCOMPARE(store.acks().upTo("st01"), 2);
        QStringList moved;
        QVERIFY(store.write(batch({3}), 3, &moved).ok());
        QCOMPARE(store.acks().upTo("st01"), 4); // 4 waited beyond the gap, across the reopen
        QSqlQuery rows(store.database());
        QVERIFY(rows.exec("SELECT COUNT(*) FROM events") && rows.next());
        QCOMPARE(rows.value(0).toInt(), 4);
    }

    void gamesAndSessionsComeOutTheSameInAnyOrder()
    {
        // A station's day, as the reports read it: games end at the next game-ended, game-started
        // or clean stop; a session's time bought adds its extensions, whichever came first.
        const auto at = [](qint64 seconds) { return QJsonValue(1774000000000.0 + seconds * 1000); };
        QList<QByteArray> day{
            eventJson("game-started", {{"gameId", "orbit"}, {"by", "desk"}, {"session", "c1"}}, 1),
            eventJson("session-started", {{"session", "c1"}, {"seconds", 600}, {"gameId", "orbit"}}, 2),
            eventJson("game-ended", {{"gameId", "orbit"}, {"reason", "player"}}, 3),
            eventJson("session-extended", {{"session", "c1"}, {"seconds", 300}}, 4),
            eventJson("game-started", {{"gameId", "depths"}, {"by", "desk"}, {"session", "c1"}}, 5),
            eventJson("offline", {}, 6),
            eventJson("game-started", {{"gameId", "skyline"}, {"by", "desk"}, {"session", QJsonValue()}}, 7),
        };
        for (int i = 0; i < day.size(); ++i) {
            QJsonObject object = QJsonDocument::fromJson(day[i]).object();
            object.insert("at", at(100 * (i + 1)));
            day[i] = QJsonDocument(object).toJson(QJsonDocument::Compact);
        }
        const auto books = [&](const QList<int>& order) {
            QTemporaryDir dir;
            EventStore store(dir.filePath("books.sqlite"));
            store.open();
            for (const int i : order) {
                BooksBatch one;
                QString error;
                one.events << *StationEvent::parse("st01", day[i], &error);
                QStringList moved;
                store.write(one, 1, &moved);
            }
            QStringList rows;
            QSqlQuery query(store.database());
            if (!query.exec("SELECT game_id, started_at, ended_at FROM plays ORDER BY started_at"))
                rows << query.lastError().text();
            while (query.next())
                rows << QString("%1 %2-%3")
                            .arg(query.value(0).toString(), query.value(1).toString(),
                                 query.value(2).isNull() ? "running" : query.value(2).toString());
            if (!query.exec("SELECT bought, started_at FROM sessions"))
                rows << query.lastError().text();
            while (query.next())
                rows << QString("bought %1 from %2").arg(query.value(0).toInt()).arg(query.value(1).toString());
            return rows;
        };
        const QStringList inOrder = books({0, 1, 2, 3, 4, 5, 6});
        QCOMPARE(inOrder, (QStringList{"orbit 1774000100000-1774000300000", "depths 1774000500000-1774000600000",
                                       "skyline 1774000700000-running", "bought 900 from 1774000200000"}));
        QCOMPARE(books({6, 3, 2, 5, 0, 4, 1}), inOrder);
        QCOMPARE(books({4, 6, 0, 1, 5, 3, 2}), inOrder);
    }

    void anOlderSchemaIsUpgradedInPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("books.sqlite");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "first-release");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            for (const QString& statement : BooksDatabase::schemaStep(1))
                QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
            QVERIFY(query.exec("INSERT INTO events (id, station, seq, type, at, received, payload) VALUES ('st01:1', "
                               "'st01', 1, 'online', 5, 5, '{}')"));
            QVERIFY(query.exec("INSERT INTO stations (station, up_to) VALUES ('st01', 1)"));
            QVERIFY(query.exec("PRAGMA user_version=1"));
            query.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("first-release");
        EventStore store(path);
        const auto outcome = store.open();
        QVERIFY2(outcome.ok(), qPrintable(outcome.message));
        QCOMPARE(store.acks().upTo("st01"), 1);
        QSqlQuery query(store.database());
        QVERIFY(query.exec("PRAGMA user_version") && query.next());
        QCOMPARE(query.value(0).toInt(), BooksDatabase::kVersion);
        QVERIFY(query.exec("SELECT COUNT(*) FROM presence") && query.next());
        QStringList moved;
        BooksBatch seen;
        seen.presence << BooksBatch::Presence{"st01", 10, false};
        QVERIFY(store.write(seen, 10, &moved).ok());
        QCOMPARE(store.presence("st01"), std::optional<bool>(false));
    }

    void aNewerSchemaIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("books.sqlite");
        {
            BooksDatabase db(path, BooksDatabase::Mode::ReadWrite);
            QVERIFY(db.open().ok());
            QVERIFY(db.run({"PRAGMA user_version=99"}, "ageing").ok());
        }
        EventStore store(path);
        const auto outcome = store.open();
        QCOMPARE(outcome.problem, BooksDatabase::Problem::TooNew);
        QVERIFY2(outcome.message.contains("newer nerq-recorder"), qPrintable(outcome.message));
        QVERIFY(!store.isOpen());
    }

    void aFullDiskCommitsNothingAndAcknowledgesNothing()
    {
        QTemporaryDir dir;
        EventStore store(dir.filePath("books.sqlite"));
        QVERIFY(store.open().ok());
        QStringList moved;
        QVERIFY(store.write(batch({1}), 1, &moved).ok());
        // SQLite's own limit stands in for the disk: it fails the write as a full disk does.
        QSqlQuery query(store.database());
        QVERIFY(query.exec("PRAGMA page_count") && query.next());
        QVERIFY(query.exec(QString("PRAGMA max_page_count=%1").arg(query.value(0).toInt())));
        BooksBatch many;
        for (qint64 seq = 2; seq < 400; ++seq)
            many.events << parsed(
                seq, "command-failed",
                {{"command", "launch"}, {"commandId", "c"}, {"error", QString(500, 'e')}, {"gameId", QJsonValue()}});
        const auto outcome = store.write(many, 2, &moved);
        QCOMPARE(outcome.problem, BooksDatabase::Problem::Full);
        QVERIFY2(outcome.message.contains("disk is full"), qPrintable(outcome.message));
        QVERIFY(moved.isEmpty());
        QCOMPARE(store.acks().upTo("st01"), 1);
        QVERIFY(query.exec("SELECT COUNT(*) FROM events") && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        QVERIFY(query.exec("PRAGMA max_page_count=1000000"));
        QVERIFY(store.write(many, 3, &moved).ok());
        QCOMPARE(store.acks().upTo("st01"), 399);
    }
};

QTEST_GUILESS_MAIN(TestEventStore)
#include "tst_eventstore.moc"
