#include "blockfixture.h"
#include "testpaths.h"

#include <calibrationmanager.h>
#include <gamemodemanager.h>

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

// waitForFinished() is false for a process that already ended while events were processed.
bool ended(QProcess& process, int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

const QString timestamp = QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )");

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString expectedLine(const char* block, const QString& text, const QByteArray& bytes)
{
    return timestamp
           + QRegularExpression::escape(
               QStringLiteral("%1 text=\"%2\" hex=%3").arg(QString::fromLatin1(block), text, hexOf(bytes)))
           + QStringLiteral("$");
}

struct PeerRun {
    int exitCode = -100;
    QByteArray out;
    QByteArray err;
};

PeerRun runPeer(const QStringList& args)
{
    QProcess peer;
    peer.start(TestPaths::tool("nerq-peer"), args);
    PeerRun run;
    if (peer.waitForFinished(10000) && peer.exitStatus() == QProcess::NormalExit)
        run.exitCode = peer.exitCode();
    run.out = peer.readAllStandardOutput();
    run.err = peer.readAllStandardError();
    return run;
}

void startWatch(QProcess& peer, const QStringList& args)
{
    peer.start(TestPaths::tool("nerq-peer"), QStringList("watch") + args);
    QVERIFY(peer.waitForStarted(5000));
    // The peer announces itself on stderr once both blocks are open.
    peer.setReadChannel(QProcess::StandardError);
    QTRY_VERIFY_WITH_TIMEOUT(peer.canReadLine() || peer.state() != QProcess::Running, 5000);
    const QByteArray announced = peer.readLine();
    QVERIFY2(announced.startsWith("watching"), announced.constData());
    peer.setReadChannel(QProcess::StandardOutput);
}

QStringList outputLines(QProcess& peer)
{
    return QString::fromLatin1(peer.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

const QByteArray gameStart2 = QByteArray::fromHex("53544152543200000000");
const QByteArray calibration = QByteArray("Calibration").leftJustified(100, '\0');

} // namespace

class TestPeer : public QObject
{
    Q_OBJECT

private slots:
    void init() { QCOMPARE(runPeer({"clear", "all", "--remove"}).exitCode, 0); }
    void cleanupTestCase() { runPeer({"clear", "all", "--remove"}); }

    void watchReportsTheProgramsRecords()
    {
        QProcess peer;
        startWatch(peer, {"--count", "2", "--timeout", "20"});
        GameModeManager::instance().setMode(2);
        CalibrationManager manager;
        QCOMPARE(manager.initialize(), 0);
        manager.Calibration();

        QVERIFY(ended(peer, 20000));
        QCOMPARE(peer.exitCode(), 0);
        const QStringList lines = outputLines(peer);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(QRegularExpression(expectedLine("Velkano_Game", "START2", gameStart2))),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(QRegularExpression(expectedLine("Velkano_Memory", "Calibration", calibration))),
                 qPrintable(lines[1]));
        // Without --consume the records stay for the program to overwrite.
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::gameModeName), gameStart2);
    }

    void consumingWatchSeesRepeatedRequests()
    {
        QProcess peer;
        startWatch(peer, {"--consume", "--count", "3", "--timeout", "20"});
        CalibrationManager manager;
        QCOMPARE(manager.initialize(), 0);
        for (int i = 0; i < 3; ++i) {
            manager.Calibration();
            // The service took it: the block is zero again before the next press.
            QTRY_COMPARE_WITH_TIMEOUT(BlockFixture::rawBytes(DeviceBlocks::calibrationName), QByteArray(100, '\0'),
                                      5000);
        }
        QVERIFY(ended(peer, 20000));
        QCOMPARE(peer.exitCode(), 0);
        const QStringList lines = outputLines(peer);
        QCOMPARE(lines.size(), 3);
        for (const QString& line : lines)
            QVERIFY(line.contains(QStringLiteral("Velkano_Memory text=\"Calibration\"")));
    }

    void watchTimeout()
    {
        QCOMPARE(runPeer({"watch", "--timeout", "0.2"}).exitCode, 0);
        // Asked for records that never came.
        const PeerRun missed = runPeer({"watch", "--timeout", "0.2", "--count", "1"});
        QCOMPARE(missed.exitCode, 1);
        QVERIFY(missed.out.isEmpty());
    }

    void readEscapesOddContents()
    {
        const QByteArray odd = QByteArray::fromHex("22 5c 41 0a ff 7f 42 00 43 01");
        QVERIFY(BlockFixture::writeRaw(DeviceBlocks::gameModeName, odd));
        const PeerRun run = runPeer({"read", "game"});
        QCOMPARE(run.exitCode, 0);
        const QString line = QString::fromLatin1(run.out).trimmed();
        QVERIFY2(line.contains(
                     QRegularExpression(expectedLine("Velkano_Game", QStringLiteral(R"(\"\\A\x0a\xff\x7fB)"), odd))),
                 qPrintable(line));
    }

    void quitAndSetQuitWriteTheFlag_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("flag");
        QTest::newRow("quit") << QStringList("quit") << QByteArray("E");
        QTest::newRow("letter") << QStringList({"set-quit", "e"}) << QByteArray("e");
        QTest::newRow("zero") << QStringList({"set-quit", "0"}) << QByteArray(1, '\0');
        QTest::newRow("hex") << QStringList({"set-quit", "0x45"}) << QByteArray("E");
    }
    void quitAndSetQuitWriteTheFlag()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, flag);
        QVERIFY(BlockFixture::writeRaw(DeviceBlocks::quitFlagName, "x"));
        QCOMPARE(runPeer(args).exitCode, 0);
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::quitFlagName), flag);
        const PeerRun read = runPeer({"read", "quit"});
        QVERIFY(
            read.out.contains("NerqVRPlatform text=\"" + (flag[0] ? flag : QByteArray()) + "\" hex=" + flag.toHex()));
    }

    void clearZeroesOrRemoves()
    {
        QVERIFY(BlockFixture::writeRaw(DeviceBlocks::gameModeName, "START9999"));
        QVERIFY(BlockFixture::writeRaw(DeviceBlocks::calibrationName, QByteArray(100, 'c')));
        QCOMPARE(runPeer({"clear", "game"}).exitCode, 0);
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::gameModeName), QByteArray(10, '\0'));
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::calibrationName), QByteArray(100, 'c'));

        QCOMPARE(runPeer({"clear", "all"}).exitCode, 0);
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::calibrationName), QByteArray(100, '\0'));
        QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::quitFlagName), QByteArray(1, '\0'));

        QCOMPARE(runPeer({"clear", "all", "--remove"}).exitCode, 0);
        for (const char* name : {DeviceBlocks::gameModeName, DeviceBlocks::calibrationName, DeviceBlocks::quitFlagName})
            QVERIFY2(!BlockFixture::exists(name), name);
        // Removing what is not there is no failure.
        QCOMPARE(runPeer({"clear", "quit", "--remove"}).exitCode, 0);
    }

    void badArgumentsGiveUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList("launch");
        QTest::newRow("read without block") << QStringList("read");
        QTest::newRow("read unknown block") << QStringList({"read", "games"});
        QTest::newRow("set-quit too big") << QStringList({"set-quit", "256"});
        QTest::newRow("set-quit two chars") << QStringList({"set-quit", "EE"});
        QTest::newRow("quit with argument") << QStringList({"quit", "now"});
        QTest::newRow("clear nothing") << QStringList({"clear", "--remove"});
        QTest::newRow("watch bad count") << QStringList({"watch", "--count", "0"});
        QTest::newRow("watch missing timeout") << QStringList({"watch", "--timeout"});
        QTest::newRow("watch negative timeout") << QStringList({"watch", "--timeout", "-1"});
    }
    void badArgumentsGiveUsage()
    {
        QFETCH(QStringList, args);
        const PeerRun run = runPeer(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains("Usage: nerq-peer"));
    }

    void helpListsEveryCommand()
    {
        const PeerRun run = runPeer({"--help"});
        QCOMPARE(run.exitCode, 0);
        for (const char* command :
             {"watch", "--consume", "--timeout", "--count", "read", "quit", "set-quit", "clear", "--remove"})
            QVERIFY2(run.out.contains(command), command);
    }
};

QTEST_GUILESS_MAIN(TestPeer)
#include "tst_peer.moc"
