// A service that fills every block with random bytes while the program runs. The quit watcher
// must act on nothing but "E", and the program's own records must land whole over the noise.

#include "blockfixture.h"
#include "logcapture.h"
#include "testpaths.h"

#include <calibrationmanager.h>
#include <gamemodemanager.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// waitForFinished() is false for a process that already ended while events were processed.
bool ended(QProcess& process, int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

void startGarbage(QProcess& peer, double seconds)
{
    peer.start(NERQ_DEVICELINK_PROBE, {"garbage", QString::number(seconds)});
    QVERIFY(peer.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(peer.canReadLine() || peer.state() != QProcess::Running, 5000);
    QCOMPARE(peer.readLine(), QByteArray("writing\n"));
}

void finishGarbage(QProcess& peer)
{
    QVERIFY(ended(peer, 15000));
    QCOMPARE(peer.exitCode(), 0);
    const QByteArray out = peer.readAllStandardOutput();
    QVERIFY2(out.startsWith("rounds "), out.constData());
    qInfo("garbage writer: %s", out.trimmed().constData());
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// What a confused service might leave behind: noise, and near-misses of real records.
QList<QByteArray> leftovers(int size)
{
    return {QByteArray(size, char(0xFF)),
            QByteArray(size, 'E'),
            QByteArray("START99999999999").leftJustified(size, '9', true),
            QByteArray("Calibration").leftJustified(size, 'x', true),
            randomBytes(size),
            randomBytes(size)};
}

const QByteArray calibrationRequest = QByteArray("Calibration").leftJustified(100, '\0');

} // namespace

class TestGarbagePeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        BlockFixture::remove(DeviceBlocks::gameModeName);
        BlockFixture::remove(DeviceBlocks::calibrationName);
        BlockFixture::remove(DeviceBlocks::quitFlagName);
    }
    void cleanupTestCase() { initTestCase(); }

    void quitWatcherActsOnlyOnE()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString logFile = dir.filePath("program.log");
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.start(NERQ_DEVICELINK_PROBE, {"lifecycle", "--log", logFile, "--max-seconds", "30"});
        QVERIFY(program.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine() || program.state() != QProcess::Running, 5000);
        QCOMPARE(program.readLine(), QByteArray("started\n"));

        // Two seconds of noise: twenty checks, each seeing some byte other than "E".
        QProcess peer;
        startGarbage(peer, 2);
        finishGarbage(peer);
        QCOMPARE(program.state(), QProcess::Running);
        QFile log(logFile);
        QVERIFY(!log.exists() || log.size() == 0); // nothing logged for bytes it ignores

        QVERIFY(BlockFixture::writeRaw(DeviceBlocks::quitFlagName, "E"));
        QVERIFY(ended(program, 5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    void recordsLandWholeOverTheNoise()
    {
        CalibrationManager calibration;
        QCOMPARE(calibration.initialize(), 0);
        GameModeManager& gameMode = GameModeManager::instance();

        // While the noise runs, the program keeps writing; the peer may tear any record, but
        // nothing may fail or crash on our side.
        QProcess peer;
        startGarbage(peer, 1.5);
        int writes = 0;
        {
            LogCapture log;
            while (peer.state() == QProcess::Running && writes < 20000) {
                gameMode.setMode(writes % 10000);
                QCOMPARE(calibration.Calibration(), 0);
                ++writes;
                // Interleave with the peer's rounds rather than outrun them.
                QThread::usleep(50);
                if (writes % 100 == 0)
                    QCoreApplication::processEvents();
            }
            QVERIFY(log.errors().isEmpty());
        }
        finishGarbage(peer);
        qInfo("%d pairs of records written during the noise", writes);

        // Whatever a write finds in the block, it leaves exactly its record, every byte of it.
        for (const QByteArray& before : leftovers(10)) {
            QVERIFY(BlockFixture::writeRaw(DeviceBlocks::gameModeName, before));
            gameMode.setMode(-7);
            QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::gameModeName), QByteArray("START-7\0\0\0", 10));
        }
        for (const QByteArray& before : leftovers(100)) {
            QVERIFY(BlockFixture::writeRaw(DeviceBlocks::calibrationName, before));
            QCOMPARE(calibration.Calibration(), 0);
            QCOMPARE(BlockFixture::rawBytes(DeviceBlocks::calibrationName), calibrationRequest);
        }
    }
};

QTEST_GUILESS_MAIN(TestGarbagePeer)
#include "tst_garbagepeer.moc"
