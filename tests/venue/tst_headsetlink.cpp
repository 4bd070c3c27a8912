// The agent <-> nerq-headset link: every message survives the trip through its JSON, hostile and
// wrong messages are refused with a reason, and the line framing on a real local socket: pieces,
// bursts, a line at the limit and one past it, a line that is not an object, a flood without a
// line end.

#include "headsetlink.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QJsonObject object(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

template <typename T, typename Variant>
T as(const LinkParsed<Variant>& parsed)
{
    if (parsed.verdict != LinkVerdict::Message || !std::holds_alternative<T>(parsed.message))
        qFatal("not the expected message: %s", qPrintable(parsed.reason));
    return std::get<T>(parsed.message);
}

} // namespace

class TestHeadsetLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void messagesSurviveTheirJson();
    void hostileMessagesAreRefusedWithAReason_data();
    void hostileMessagesAreRefusedWithAReason();
    void unknownTypesAndFieldsAreSkipped();
    void minutesLeftAreRounded();
    void serverNameLiesInTheRuntimeFolder();
    void linesArriveWholeFromPiecesAndBursts();
    void aLineAtTheLimitPassesOnePastItCloses();
    void aLineThatIsNoObjectClosesOnceAndNothingAfterIt();
    void linesThatAreNoFitObjectClose_data();
    void linesThatAreNoFitObjectClose();
    void aFloodWithoutLineEndsClosesWithoutGrowing();

private:
    // The agent's end as a HeadsetLink, and the headset's raw socket.
    void connectPair();
    void writeRaw(const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QLocalServer> m_server;
    std::unique_ptr<QLocalSocket> m_client;
    HeadsetLink* m_link = nullptr;
};

void TestHeadsetLink::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<QLocalServer>();
    QVERIFY(m_server->listen(m_dir->path() + "/link.sock"));
}

void TestHeadsetLink::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_link = nullptr;
}

void TestHeadsetLink::connectPair()
{
    m_client = std::make_unique<QLocalSocket>();
    m_client->connectToServer(m_server->fullServerName());
    QVERIFY(m_client->waitForConnected(5000));
    QVERIFY(m_server->waitForNewConnection(5000));
    QLocalSocket* accepted = m_server->nextPendingConnection();
    QVERIFY(accepted);
    m_link = new HeadsetLink(accepted);
}

void TestHeadsetLink::writeRaw(const QByteArray& bytes)
{
    m_client->write(bytes);
    m_client->flush();
}

void TestHeadsetLink::messagesSurviveTheirJson()
{
    HeadsetView view;
    view.language = ViewLanguage::English;
    view.session = SessionView{SessionView::State::TimeUp, 0, 900, "zen_garden", 42000};
    view.help = HelpView{HelpView::State::Answered, "Mei"};
    view.ready = false;
    QCOMPARE(as<HeadsetView>(HeadsetLink::fromAgent(object(view.toJson()))), view);

    HeadsetView empty;
    empty.ready = true;
    const QJsonObject emptyJson = object(empty.toJson());
    QCOMPARE(emptyJson.value("session").type(), QJsonValue::Null);
    QCOMPARE(emptyJson.value("language").toString(), QString("cn"));
    QCOMPARE(as<HeadsetView>(HeadsetLink::fromAgent(emptyJson)), empty);

    const HeadsetNotice warning =
        as<HeadsetNotice>(HeadsetLink::fromAgent(object(HeadsetNotice{HeadsetNotice::Kind::Warning, 300}.toJson())));
    QCOMPARE(warning.kind, HeadsetNotice::Kind::Warning);
    QCOMPARE(warning.seconds, qint64(300));

    const HeadsetHello hello = as<HeadsetHello>(HeadsetLink::fromHeadset(object(HeadsetHello{4242, "1.0.0"}.toJson())));
    QCOMPARE(hello.pid, qint64(4242));
    QCOMPARE(hello.version, QString("1.0.0"));
    const HeadsetRuntime runtime{true, 4000000000u};
    QCOMPARE(as<HeadsetRuntime>(HeadsetLink::fromHeadset(object(runtime.toJson()))), runtime);
    as<HeadsetHelpCall>(HeadsetLink::fromHeadset(object(HeadsetHelpCall().toJson())));
    as<HeadsetDone>(HeadsetLink::fromHeadset(object(HeadsetDone().toJson())));

    // A remaining time that went below zero on the agent's side is sent as none left.
    HeadsetView late;
    late.session = SessionView{SessionView::State::TimeUp, -350, 60, QString(), -1};
    const SessionView sent = *as<HeadsetView>(HeadsetLink::fromAgent(object(late.toJson()))).session;
    QCOMPARE(sent.remainingMs, qint64(0));
    QCOMPARE(sent.graceMs, qint64(0));
}

void TestHeadsetLink::hostileMessagesAreRefusedWithAReason_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("fromAgent");
    QTest::addColumn<QString>("reason");

    const QByteArray session =
        R"("session":{"state":"running","remainingMs":%1,"seconds":60,"gameId":null,"graceMs":0})";
    auto view = [&](const QByteArray& remaining) {
        return R"({"type":"view","language":"cn","help":null,"ready":false,)"
               + QByteArray(session).replace("%1", remaining) + "}";
    };
    QTest::newRow("remaining negative") << view("-1") << true << "remainingMs";
    QTest::newRow("remaining a fraction") << view("1.5") << true << "remainingMs";
    QTest::newRow("remaining a text") << view(R"("60000")") << true << "remainingMs";
    QTest::newRow("remaining beyond exact") << view("1e300") << true << "remainingMs";
    QTest::newRow("language unknown") << QByteArray(
        R"({"type":"view","language":"de","session":null,"help":null,"ready":true})")
                                      << true << "language";
    QTest::newRow("ready missing") << QByteArray(R"({"type":"view","language":"en","session":null,"help":null})")
                                   << true << "ready";
    QTest::newRow("session a list") << QByteArray(
        R"({"type":"view","language":"en","session":[],"help":null,"ready":true})")
                                    << true << "session";
    QTest::newRow("session state unknown") << QByteArray(
        R"({"type":"view","language":"en","session":{"state":"paused","remainingMs":1,"seconds":1,"graceMs":0},"help":null,"ready":true})")
                                           << true << "state";
    QTest::newRow("help state unknown") << QByteArray(
        R"({"type":"view","language":"en","session":null,"help":{"state":"maybe"},"ready":true})")
                                        << true << "help: \"state\"";
    QTest::newRow("help by a number") << QByteArray(
        R"({"type":"view","language":"en","session":null,"help":{"state":"sent","by":7},"ready":true})")
                                      << true << "\"by\"";
    QTest::newRow("notice kind unknown") << QByteArray(R"({"type":"notice","kind":"party","seconds":5})") << true
                                         << "kind";
    QTest::newRow("notice seconds missing") << QByteArray(R"({"type":"notice","kind":"warning"})") << true << "seconds";
    QTest::newRow("type a number") << QByteArray(R"({"type":7})") << true << "type";
    QTest::newRow("type missing") << QByteArray(R"({"kind":"warning","seconds":60})") << false << "type";
    QTest::newRow("hello pid zero") << QByteArray(R"({"type":"hello","pid":0,"version":"1"})") << false << "pid";
    QTest::newRow("hello pid beyond int")
        << QByteArray(R"({"type":"hello","pid":2147483648,"version":"1"})") << false << "pid";
    QTest::newRow("hello without version") << QByteArray(R"({"type":"hello","pid":12})") << false << "version";
    QTest::newRow("runtime scene negative")
        << QByteArray(R"({"type":"runtime","vr":true,"sceneProcess":-1})") << false << "sceneProcess";
    QTest::newRow("runtime scene beyond 32 bits")
        << QByteArray(R"({"type":"runtime","vr":true,"sceneProcess":4294967296})") << false << "sceneProcess";
    QTest::newRow("runtime vr a text") << QByteArray(R"({"type":"runtime","vr":"yes","sceneProcess":0})") << false
                                       << "\"vr\"";
}

void TestHeadsetLink::hostileMessagesAreRefusedWithAReason()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, fromAgent);
    QFETCH(QString, reason);
    const QJsonObject message = object(json);
    QVERIFY2(!message.isEmpty(), json.constData());
    const LinkVerdict verdict =
        fromAgent ? HeadsetLink::fromAgent(message).verdict : HeadsetLink::fromHeadset(message).verdict;
    const QString why = fromAgent ? HeadsetLink::fromAgent(message).reason : HeadsetLink::fromHeadset(message).reason;
    QCOMPARE(verdict, LinkVerdict::Invalid);
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestHeadsetLink::unknownTypesAndFieldsAreSkipped()
{
    const LinkParsed<AgentMessage> future = HeadsetLink::fromAgent(object(R"({"type":"confetti","colour":"red"})"));
    QCOMPARE(future.verdict, LinkVerdict::UnknownType);
    QCOMPARE(future.reason, QString("confetti"));
    // Each side knows only the other's messages: a view sent to the agent is nothing it reads.
    QCOMPARE(HeadsetLink::fromHeadset(object(HeadsetView().toJson())).verdict, LinkVerdict::UnknownType);
    QCOMPARE(HeadsetLink::fromAgent(object(HeadsetDone().toJson())).verdict, LinkVerdict::UnknownType);

    const LinkParsed<HeadsetMessage> newer =
        HeadsetLink::fromHeadset(object(R"({"type":"runtime","vr":false,"sceneProcess":0,"gpu":"fast"})"));
    QCOMPARE(newer.verdict, LinkVerdict::Message);
}

void TestHeadsetLink::minutesLeftAreRounded()
{
    QCOMPARE((HeadsetNotice{HeadsetNotice::Kind::Warning, 300}.minutes()), qint64(5));
    QCOMPARE((HeadsetNotice{HeadsetNotice::Kind::Warning, 90}.minutes()), qint64(2));
    QCOMPARE((HeadsetNotice{HeadsetNotice::Kind::Warning, 89}.minutes()), qint64(1));
    QCOMPARE((HeadsetNotice{HeadsetNotice::Kind::Warning, 10}.minutes()), qint64(1));
}

void TestHeadsetLink::serverNameLiesInTheRuntimeFolder()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", m_dir->path().toUtf8());
    const QString name = HeadsetLink::serverName("st01");
    qputenv("XDG_RUNTIME_DIR", saved);
    QCOMPARE(name, m_dir->path() + "/nerqvrplatform-st01.sock");
}

void TestHeadsetLink::linesArriveWholeFromPiecesAndBursts()
{
    connectPair();
    QSignalSpy received(m_link, &HeadsetLink::received);
    const QByteArray hello = HeadsetHello{77, "1.0.0"}.toJson();
    writeRaw(hello.left(5));
    QTest::qWait(30);
    writeRaw(hello.mid(5, 7));
    QTest::qWait(30);
    writeRaw(hello.mid(12) + "\n" + HeadsetHelpCall().toJson() + "\n" + HeadsetDone().toJson() + "\n");
    QTRY_COMPARE(received.count(), 3);
    QCOMPARE(as<HeadsetHello>(HeadsetLink::fromHeadset(received.at(0).at(0).toJsonObject())).pid, qint64(77));
    as<HeadsetHelpCall>(HeadsetLink::fromHeadset(received.at(1).at(0).toJsonObject()));
    as<HeadsetDone>(HeadsetLink::fromHeadset(received.at(2).at(0).toJsonObject()));

    // The other way: send writes a line the peer reads as one.
    QVERIFY(m_link->send(HeadsetNotice{HeadsetNotice::Kind::Started, 600}.toJson()));
    QTRY_VERIFY(m_client->canReadLine());
    const QByteArray line = m_client->readLine();
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(as<HeadsetNotice>(HeadsetLink::fromAgent(object(line))).seconds, qint64(600));
}

void TestHeadsetLink::aLineAtTheLimitPassesOnePastItCloses()
{
    connectPair();
    QSignalSpy received(m_link, &HeadsetLink::received);
    QSignalSpy rejected(m_link, &HeadsetLink::rejected);
    const QByteArray head = R"({"type":"hello","pid":1,"version":")";
    const QByteArray exact = head + QByteArray(HeadsetLink::kMaxLineBytes - head.size() - 2, 'v') + "\"}";
    QCOMPARE(exact.size(), HeadsetLink::kMaxLineBytes);
    writeRaw(exact + "\n");
    QTRY_COMPARE(received.count(), 1);

    const QByteArray over = head + QByteArray(HeadsetLink::kMaxLineBytes - head.size() - 1, 'v') + "\"}";
    writeRaw(over + "\n" + HeadsetDone().toJson() + "\n");
    QTRY_COMPARE(rejected.count(), 1);
    QVERIFY(rejected.at(0).at(0).toString().contains("longer than 65536 bytes"));
    QTRY_COMPARE(m_client->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(received.count(), 1);
    QVERIFY(!m_link->send(HeadsetView().toJson()));
}

void TestHeadsetLink::aLineThatIsNoObjectClosesOnceAndNothingAfterIt()
{
    connectPair();
    QSignalSpy received(m_link, &HeadsetLink::received);
    QSignalSpy rejected(m_link, &HeadsetLink::rejected);
    writeRaw(HeadsetHelpCall().toJson() + "\n[1,2,3]\n" + "not json at all\n" + HeadsetDone().toJson() + "\n");
    QTRY_COMPARE(rejected.count(), 1);
    QTest::qWait(100);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(received.count(), 1);
    QVERIFY(rejected.at(0).at(0).toString().contains("not a JSON object"));
    QTRY_COMPARE(m_client->state(), QLocalSocket::UnconnectedState);
}

void TestHeadsetLink::linesThatAreNoFitObjectClose_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reason");
    // A key given twice: Qt's own parser would keep the first value's memory for good.
    QTest::newRow("a key twice") << QByteArray(R"({"type":"help","type":"done"})") << "Duplicate key";
    QTest::newRow("an object's key twice")
        << QByteArray(R"({"type":"view","session":{"x":1},"session":{"y":2}})") << "Duplicate key";
    QTest::newRow("nested past any limit") << QByteArray(5000, '[') << "not JSON";
    QTest::newRow("not UTF-8") << QByteArray("{\"type\":\"h\xff\xfe\"}") << "not JSON";
    QTest::newRow("a number for a document") << QByteArray("42") << "not JSON";
    QTest::newRow("an object and more") << QByteArray(R"({"type":"help"} {"type":"done"})") << "not JSON";
}

void TestHeadsetLink::linesThatAreNoFitObjectClose()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, reason);
    connectPair();
    QSignalSpy received(m_link, &HeadsetLink::received);
    QSignalSpy rejected(m_link, &HeadsetLink::rejected);
    writeRaw(line + "\n" + HeadsetDone().toJson() + "\n");
    QTRY_COMPARE(rejected.count(), 1);
    QVERIFY2(rejected.at(0).at(0).toString().contains(reason), qPrintable(rejected.at(0).at(0).toString()));
    QTRY_COMPARE(m_client->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(received.count(), 0);
}

void TestHeadsetLink::aFloodWithoutLineEndsClosesWithoutGrowing()
{
    connectPair();
    QSignalSpy rejected(m_link, &HeadsetLink::rejected);
    // Invalid UTF-8 and zero bytes on the way make no difference: the line is too long first.
    QByteArray flood(4 * 1024 * 1024, 'x');
    flood[100] = '\0';
    flood[200] = char(0xff);
    m_client->write(flood);
    QTRY_COMPARE(rejected.count(), 1);
    QTRY_COMPARE(m_client->state(), QLocalSocket::UnconnectedState);
}

QTEST_MAIN(TestHeadsetLink)
#include "tst_headsetlink.moc"
