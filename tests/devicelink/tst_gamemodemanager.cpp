#include "blockfixture.h"
#include "logcapture.h"

#include <gamemodemanager.h>

#include <QtTest>

#include <climits>
#include <stdexcept>

namespace {

const char* const blockName = DeviceBlocks::gameModeName;

QByteArray record(const char* text)
{
    return QByteArray(text).leftJustified(10, '\0', true);
}

} // namespace

// The manager is a process-wide single instance, so the functions run in order: first the
// failing first uses, then the working one that every later function relies on.
class TestGameModeManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { BlockFixture::remove(blockName); }
    void cleanupTestCase() { BlockFixture::remove(blockName); }

    void blockUntouchedBeforeFirstUse() { QVERIFY(!BlockFixture::exists(blockName)); }

    void failedFirstUseLogsTenAttemptsEachTime()
    {
        QVERIFY(BlockFixture::blockWithDirectory(blockName));
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        for (int use = 0; use < 2; ++use) {
            LogCapture log;
            QString thrown;
            try {
                GameModeManager::instance();
            } catch (const std::runtime_error& e) {
                thrown = QString::fromUtf8(e.what());
            }
            const QString expected = QStringLiteral("Open Shared Memory Failed, error is %1").arg(EINVAL);
            QCOMPARE(thrown, expected);
            QCOMPARE(log.errors(), QStringList() << expected << expected << expected << expected << expected << expected
                                                 << expected << expected << expected << expected);
            for (const LogCapture::Record& r : log.records())
                QCOMPARE(r.file, std::string("gamemodemanager"));
        }
        QVERIFY(BlockFixture::openResources() == before);
        BlockFixture::remove(blockName);
    }

    void firstWorkingUseCreatesZeroedBlock()
    {
        LogCapture log;
        GameModeManager::instance();
        QVERIFY(log.records().empty());
        QCOMPARE(BlockFixture::rawBytes(blockName), QByteArray(10, '\0'));
        QCOMPARE(&GameModeManager::instance(), &GameModeManager::instance());
    }

    void writesStartRecord_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("2") << 2 << QByteArray::fromHex("53544152543200000000");
        QTest::newRow("0") << 0 << record("START0");
        QTest::newRow("-1") << -1 << record("START-1");
        QTest::newRow("-999") << -999 << record("START-999");
        // Nine characters: the terminator is the tenth and last byte.
        QTest::newRow("9999") << 9999 << record("START9999");
    }
    void writesStartRecord()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, bytes);
        QVERIFY(BlockFixture::writeRaw(blockName, QByteArray(10, char(0xFF))));
        LogCapture log;
        GameModeManager::instance().setMode(mode);
        QCOMPARE(BlockFixture::rawBytes(blockName), bytes);
        QVERIFY(log.records().empty());
    }

    void shorterModeLeavesNoStaleDigits()
    {
        GameModeManager::instance().setMode(12);
        GameModeManager::instance().setMode(3);
        QCOMPARE(BlockFixture::rawBytes(blockName), QByteArray("START3\0\0\0\0", 10));
    }

    void modeThatDoesNotFitIsRefused_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("10000") << 10000;
        QTest::newRow("-1000") << -1000;
        QTest::newRow("INT_MAX") << INT_MAX;
        QTest::newRow("INT_MIN") << INT_MIN;
    }
    void modeThatDoesNotFitIsRefused()
    {
        QFETCH(int, mode);
        GameModeManager::instance().setMode(7);
        LogCapture log;
        GameModeManager::instance().setMode(mode);
        QCOMPARE(BlockFixture::rawBytes(blockName), record("START7"));
        QCOMPARE(log.errors().size(), 1);
        QVERIFY2(log.errors().first().contains(QString::number(mode)), qPrintable(log.errors().first()));
        QCOMPARE(log.records().front().file, std::string("gamemodemanager"));
    }
};

QTEST_GUILESS_MAIN(TestGameModeManager)
#include "tst_gamemodemanager.moc"
