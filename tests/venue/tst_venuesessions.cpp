// Time sold from the desk's command: real nerq-station agents (one with its wall clock an hour
// ahead of the desk's), a real broker, and nerq-venue session, answer, ready and status; a help call
// made by a stand-in for nerq-headset on the agent's local socket.

#include "headsetlink.h"
#include "teststation.h"
#include "venuebroker.h"

#include <QLocalSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>

#include <memory>

namespace {

// "9:58" in a line, as milliseconds; -1 when there is none after `label`.
qint64 minutesSecondsAfter(const QString& line, const QString& label)
{
    const QRegularExpression figure(QRegularExpression::escape(label) + QStringLiteral(" (\\d+):(\\d\\d)"));
    const QRegularExpressionMatch match = figure.match(line);
    return match.hasMatch() ? (match.captured(1).toLongLong() * 60 + match.captured(2).toLongLong()) * 1000 : -1;
}

// How far the "at hh:mm:ss" after `label` in a line lies from now, in seconds; a day when there is none.
int secondsFromNow(const QString& line, const QString& label)
{
    const QRegularExpression time(QRegularExpression::escape(label) + QStringLiteral(" at (\\d\\d:\\d\\d:\\d\\d)"));
    const QRegularExpressionMatch match = time.match(line);
    return match.hasMatch() ? qAbs(QTime::fromString(match.captured(1), "hh:mm:ss").secsTo(QTime::currentTime()))
                            : 86400;
}

// nerq-headset as the agent sees it: it says hello on the local socket, and the customer presses
// the call-for-help button.
class HeadsetStandIn
{
public:
    bool connect(const QString& station)
    {
        // The agent may not listen yet.
        for (int attempt = 0; attempt < 50; ++attempt) {
            m_socket.abort();
            m_socket.connectToServer(HeadsetLink::serverName(station));
            if (m_socket.waitForConnected(1000))
                break;
            QTest::qWait(200);
        }
        if (m_socket.state() != QLocalSocket::ConnectedState)
            return false;
        m_link = std::make_unique<HeadsetLink>(&m_socket);
        QObject::connect(m_link.get(), &HeadsetLink::received, [this](const QJsonObject& message) {
            const LinkParsed<AgentMessage> parsed = HeadsetLink::fromAgent(message);
            if (parsed.verdict == LinkVerdict::Message && std::holds_alternative<HeadsetView>(parsed.message))
                m_view = std::get<HeadsetView>(parsed.message);
        });
        return m_link->send(HeadsetHello{QCoreApplication::applicationPid(), "test"}.toJson());
    }
    bool callForHelp() { return m_link->send(HeadsetHelpCall().toJson()); }
    const HeadsetView& view() const { return m_view; }

private:
    QLocalSocket m_socket;
    std::unique_ptr<HeadsetLink> m_link;
    HeadsetView m_view;
};

// The broker and two stations with the game "orbit", st02's clock an hour ahead of the desk's.
struct Floor {
    // The broker runs before the stations are added, as at a venue.
    Floor()
        : brokerUp(broker.start())
        , st01("st01", broker.addStation("st01"))
        , st02("st02", broker.addStation("st02"))
    {
        st02.setClockOffset(3600);
        for (TestStation* station : {&st01, &st02})
            station->writeCatalogue({TestStation::nativeEntry("orbit", station->nativeGame("orbit"), 2)});
    }
    bool start() { return brokerUp && st01.start() && st02.start(); }
    QString log() const { return broker.report() + st01.log() + st02.log(); }

    VenueBroker broker;
    bool brokerUp;
    TestStation st01;
    TestStation st02;
};

} // namespace

class VenueSessionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aSessionSoldFromTheDesk();
    void aHelpCallComesFirstUntilAnswered();

private:
    QString run(VenueBroker& broker, const QStringList& arguments, int expected);

    QTemporaryDir m_runtime;
};

void VenueSessionsTest::initTestCase()
{
    QVERIFY2(!fakeTimeLibrary().isEmpty(), "Debian's faketime is missing: run scripts/setup.sh");
    // The agents listen for their headset in the runtime folder they inherit from here.
    QVERIFY(usePrivateRuntimeDir(m_runtime));
}

QString VenueSessionsTest::run(VenueBroker& broker, const QStringList& arguments, int expected)
{
    int status = -1;
    const QString output = broker.runDesk(arguments, &status);
    if (status != expected)
        qWarning().noquote() << arguments.join(' ') << "exited with" << status << "not" << expected << ":\n" << output;
    return status == expected ? output : QString();
}

void VenueSessionsTest::aSessionSoldFromTheDesk()
{
    Floor floor;
    QVERIFY2(floor.start(), qPrintable(floor.log()));
    VenueBroker& broker = floor.broker;

    QString output =
        run(broker, {"session", "start", "--station", "st01,st02", "--seconds", "600", "--game", "orbit"}, 0);
    QCOMPARE(lineFor(output, "st01"), QString("st01: session of 10:00 started, orbit started"));
    QVERIFY2(waitUntil([&] { return floor.st01.launched() == QStringList{"orbit"}; }, 5000),
             qPrintable(floor.st01.log()));
    // Two staff sell the same station: the second is refused with the station's reason.
    output = run(broker, {"session", "start", "--station", "st01", "--minutes", "5"}, 1);
    QVERIFY2(lineFor(output, "st01").startsWith("st01: FAILED: "), qPrintable(output));
    output = run(broker, {"ready", "--station", "st01"}, 1);
    QVERIFY2(lineFor(output, "st01").startsWith("st01: FAILED: "), qPrintable(output));

    // The time left is the station's figure counted down by the broker's age of its status: right
    // on the desk's clock though st02's is an hour ahead.
    QTest::qWait(2000);
    output = run(broker, {"status"}, 0);
    for (const char* id : {"st01", "st02"}) {
        const qint64 left = minutesSecondsAfter(lineFor(output, id), "session");
        QVERIFY2(left >= 594000 && left <= 599000, qPrintable(output));
        QVERIFY2(lineFor(output, id).contains("left of 10:00 with orbit"), qPrintable(output));
    }
    output = run(broker, {"session", "extend", "--station", "st01", "--minutes", "5"}, 0);
    QCOMPARE(lineFor(output, "st01"), QString("st01: extended by 5:00"));
    QVERIFY(minutesSecondsAfter(lineFor(run(broker, {"status"}, 0), "st01"), "session") > 880000);

    // Ended at the desk: when, on the desk's clock (st02's an hour ahead), and the station waits
    // for cleaning.
    output = run(broker, {"session", "end", "--all"}, 0);
    QCOMPARE(lineFor(output, "st01"), QString("st01: session ended"));
    output = run(broker, {"status"}, 0);
    for (const char* id : {"st01", "st02"}) {
        QVERIFY2(secondsFromNow(lineFor(output, id), "session ended by the desk") < 30, qPrintable(output));
        QVERIFY2(lineFor(output, id).contains("NOT READY: needs cleaning"), qPrintable(output));
    }
    output = run(broker, {"ready", "--station", "st01,st02,st09"}, 1);
    QCOMPARE(lineFor(output, "st02"), QString("st02: ready"));
    QVERIFY2(lineFor(output, "st09").contains("never reported"), qPrintable(output));
    // Free and ready; no nerq-headset runs on it here, so its customer would see no time.
    output = run(broker, {"status"}, 0);
    QVERIFY2(lineFor(output, "st01").startsWith("st01: free and ready; NO HEADSET PROGRAM; online since"),
             qPrintable(output));
}

void VenueSessionsTest::aHelpCallComesFirstUntilAnswered()
{
    Floor floor;
    QVERIFY2(floor.start(), qPrintable(floor.log()));
    VenueBroker& broker = floor.broker;
    run(broker, {"session", "start", "--all", "--minutes", "20"}, 0);

    HeadsetStandIn headset;
    QVERIFY2(headset.connect("st02"), qPrintable(floor.st02.log()));
    QVERIFY(headset.callForHelp());
    QVERIFY2(waitUntil([&] { return statusOf(broker.desk(), "st02").help.has_value(); }, 5000),
             qPrintable(floor.st02.log()));
    QTest::qWait(3000);
    // st02 comes first though the broker names st01 first, with how long it has waited by the
    // desk's clock (st02's is an hour ahead).
    QString output = run(broker, {"status"}, 0);
    QVERIFY2(output.startsWith("st02: HELP CALLED, waiting 0:0"), qPrintable(output));
    const qint64 waited = minutesSecondsAfter(output, "waiting");
    QVERIFY2(waited >= 3000 && waited <= 6000, qPrintable(output));
    QVERIFY2(output.contains("\nst01: session 19:"), qPrintable(output));

    output = run(broker, {"answer", "--station", "st02", "--by", "Mei"}, 0);
    QCOMPARE(lineFor(output, "st02"), QString("st02: answered: someone is coming"));
    QVERIFY2(
        waitUntil([&] { return headset.view().help && headset.view().help->state == HelpView::State::Answered; }, 5000),
        qPrintable(floor.st02.log()));
    QCOMPARE(headset.view().help->by, QString("Mei"));
    output = run(broker, {"status"}, 0);
    QVERIFY2(output.startsWith("st01: "), qPrintable(output));
    QVERIFY2(lineFor(output, "st02").startsWith("st02: help call answered by Mei; session 19:"), qPrintable(output));
    // No call to answer: the station says so.
    output = run(broker, {"answer", "--station", "st01"}, 1);
    QVERIFY2(lineFor(output, "st01").startsWith("st01: FAILED: "), qPrintable(output));
}

QTEST_GUILESS_MAIN(VenueSessionsTest)
#include "tst_venuesessions.moc"
