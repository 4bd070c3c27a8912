#include "blockfixture.h"
#include "logcapture.h"
#include "testpaths.h"

#include <lifecyclemanager.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// waitForFinished() is false for a process that already ended while events were processed.
bool ended(QProcess& process, int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

const char* const blockName = DeviceBlocks::quitFlagName;
const char* const quitLine = "Quit flag \"E\" set in shared memory block \"NerqVRPlatform\"; exiting";

int runPeer(const QStringList& args)
{
    QProcess peer;
    peer.start(TestPaths::tool("nerq-peer"), args);
    if (!peer.waitForFinished(10000))
        return -100;
    return peer.exitCode();
}

} // namespace

// The watcher ends its process, so it runs in a probe process: QCoreApplication plus
// LifeCycleManager, as the program starts them.
class TestLifeCycleManager : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        BlockFixture::remove(blockName);
        QVERIFY(m_logDir.isValid());
    }
    void cleanupTestCase() { BlockFixture::remove(blockName); }

    void otherBytesAreIgnoredAndEEnds()
    {
        QProcess probe;
        const QString logFile = m_logDir.filePath(QStringLiteral("quit.log"));
        startProbe(probe, logFile);
        // The probe created the block; it starts as zero.
        QCOMPARE(BlockFixture::rawBytes(blockName), QByteArray(1, '\0'));

        for (const char* value : {"e", "0", "D", "0x46", "e", "0"}) {
            QCOMPARE(runPeer({"set-quit", value}), 0);
            QVERIFY2(!probe.waitForFinished(250), value); // a couple of checks pass it by
        }
        QCOMPARE(probe.state(), QProcess::Running);

        QCOMPARE(runPeer({"quit"}), 0);
        QVERIFY(ended(probe, 5000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        const QByteArray out = probe.readAllStandardOutput();
        QVERIFY2(out.contains(quitLine), out.constData());
        // std::exit, not a crash or a return through the event loop: exit handlers ran.
        QVERIFY2(QRegularExpression("exit handlers ran after \\d+ ms\n$").match(out).hasMatch(), out.constData());

        // The reason reached the log file before the process went away.
        QFile log(logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray logged = log.readAll();
        const QRegularExpression infoLine(QStringLiteral("INFO .*") + QRegularExpression::escape(quitLine));
        QVERIFY2(QString::fromUtf8(logged).contains(infoLine), logged.constData());
    }

    void quitFlagLeftFromBeforeEndsAtFirstCheck()
    {
        QVERIFY(BlockFixture::writeRaw(blockName, "E"));
        QProcess probe;
        startProbe(probe, m_logDir.filePath(QStringLiteral("stale.log")));
        QVERIFY(ended(probe, 5000));
        QCOMPARE(probe.exitCode(), 0);
        // The check runs on the event loop, so start() itself returned normally first.
        const QByteArray out = probe.readAllStandardOutput();
        QVERIFY2(out.indexOf("started") < out.indexOf(quitLine), out.constData());

        // The first check comes one period after the start, and the period is 100 ms: a longer
        // one would leave the service waiting for up to that long. The upper bound leaves room
        // for a busy machine; a period of a second cannot meet it.
        const QRegularExpressionMatch after = QRegularExpression("exit handlers ran after (\\d+) ms").match(out);
        QVERIFY2(after.hasMatch(), out.constData());
        const int ms = after.captured(1).toInt();
        QVERIFY2(ms >= 90 && ms < 700, qPrintable(QString("first check after %1 ms").arg(ms)));
    }

    void failedStartThrowsAndHoldsNothing()
    {
        QVERIFY(BlockFixture::blockWithDirectory(blockName));
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        LogCapture log;
        LifeCycleManager manager;
        int thrown = 0;
        try {
            manager.start();
        } catch (int code) {
            thrown = code;
        }
        QCOMPARE(thrown, -2);
        QCOMPARE(lastSystemError(), int(EINVAL));
        QVERIFY(log.records().empty());
        QVERIFY(BlockFixture::openResources() == before);
        BlockFixture::remove(blockName);
    }

    void probeEndsWithThreeWhenTheBlockCannotBeOpened()
    {
        QVERIFY(BlockFixture::blockWithDirectory(blockName));
        QProcess probe;
        probe.start(NERQ_DEVICELINK_PROBE, {"lifecycle", "--max-seconds", "5"});
        QVERIFY(ended(probe, 10000));
        QCOMPARE(probe.exitCode(), 3);
        QCOMPARE(probe.readAllStandardOutput(), QByteArray("start failed -2\n"));
        BlockFixture::remove(blockName);
    }

private:
    void startProbe(QProcess& probe, const QString& logFile)
    {
        probe.setWorkingDirectory(m_logDir.path());
        probe.start(NERQ_DEVICELINK_PROBE, {"lifecycle", "--log", logFile, "--max-seconds", "20"});
        QVERIFY(probe.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(probe.canReadLine() || probe.state() != QProcess::Running, 5000);
        QVERIFY(probe.peek(64).startsWith("started\n"));
    }

    QTemporaryDir m_logDir;
};

QTEST_GUILESS_MAIN(TestLifeCycleManager)
#include "tst_lifecyclemanager.moc"
