// The launcher with real processes: a recorder stands in for xdg-open, native games are real
// scripts, and the game mode lands in the real shared-memory block.

#include "blockfixture.h"
#include "deviceblocks.h"
#include "gameitem.h"
#include "gamelauncher.h"
#include "gamemodel.h"
#include "logcapture.h"
#include "sharedmemory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

class TestGameLauncher : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::shared_ptr<GameModel> m_model;
    std::unique_ptr<GameLauncher> m_launcher;
    QString m_record; // what the recorder and the test games wrote, one line per argument

    void addGame(const QString& id, bool native, const QString& launcherPath, int steamId, int mode)
    {
        auto* item = new GameItem();
        item->setGameInfo(id, id, QString(), native, launcherPath, steamId, mode);
        m_model->addGame(item);
    }

    QStringList recorded() const
    {
        QFile file(m_record);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static QByteArray modeRecord()
    {
        SharedMemory<DeviceBlocks::GameModeRecord> block(DeviceBlocks::gameModeName, false);
        DeviceBlocks::GameModeRecord record{};
        block.read(record);
        return QByteArray(record.bytes, sizeof record.bytes);
    }

    static QByteArray expectedRecord(const char* text)
    {
        QByteArray bytes(10, '\0');
        std::memcpy(bytes.data(), text, std::strlen(text));
        return bytes;
    }

    void writeScript(const QString& path, const QByteArray& body)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        BlockFixture::remove(DeviceBlocks::gameModeName);
        m_record = m_dir.filePath("record.txt");
        qputenv("NERQ_TEST_RECORD", m_record.toUtf8());

        // First in PATH, so the launcher's xdg-open is ours.
        const QString recorderDir = m_dir.filePath("bin");
        writeScript(recorderDir + "/xdg-open",
                    "for a in \"$@\"; do printf 'xdg-open %s\\n' \"$a\" >> \"$NERQ_TEST_RECORD\"; done\n");
        qputenv("PATH", (recorderDir + ':' + qEnvironmentVariable("PATH")).toUtf8());

        m_model = std::make_shared<GameModel>();
        m_launcher = std::make_unique<GameLauncher>(m_model);
        addGame("dota", false, "ignored.exe", 570, 2);
        addGame("zero", false, QString(), 0, 0);
        addGame("negative", false, QString(), -5, -1);
        addGame("max", false, QString(), 1, 9999);
        addGame("huge-mode", false, QString(), 2, 123456);
    }

    void cleanupTestCase() { BlockFixture::remove(DeviceBlocks::gameModeName); }

    void init() { QFile::remove(m_record); }

    // Runs first: the process has not opened the game-mode block yet.
    void unopenableGameModeBlockDoesNotStopTheLaunch()
    {
        QVERIFY(BlockFixture::blockWithDirectory(DeviceBlocks::gameModeName)); // shm_open now fails
        LogCapture log;
        QCOMPARE(m_launcher->launcherGame("dota"), 0);
        QTRY_COMPARE(recorded(), QStringList{"xdg-open steam://launch/570/Vr"});

        const QStringList errors = log.errors();
        QCOMPARE(errors.size(), 11); // ten attempts, then the launch's own report
        for (int i = 0; i < 10; ++i)
            QVERIFY2(errors.at(i).startsWith("Open Shared Memory Failed, error is "), qPrintable(errors.at(i)));
        QVERIFY2(errors.last().contains("Game mode 2"), qPrintable(errors.last()));
        BlockFixture::remove(DeviceBlocks::gameModeName);
        QVERIFY(!BlockFixture::exists(DeviceBlocks::gameModeName));

        // The next launch tries the block again and hands the mode on.
        log.clear();
        m_launcher->launcherGame("dota");
        QTRY_COMPARE(recorded().size(), 2);
        QVERIFY(log.errors().isEmpty());
        QCOMPARE(modeRecord(), expectedRecord("START2"));
    }

    void steamGamesOpenTheLaunchUri_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("570") << "dota"
                             << "steam://launch/570/Vr" << expectedRecord("START2");
        QTest::newRow("0") << "zero"
                           << "steam://launch/0/Vr" << expectedRecord("START0");
        QTest::newRow("-5") << "negative"
                            << "steam://launch/-5/Vr" << expectedRecord("START-1");
        QTest::newRow("mode 9999") << "max"
                                   << "steam://launch/1/Vr" << expectedRecord("START9999");
    }

    void steamGamesOpenTheLaunchUri()
    {
        QFETCH(QString, id);
        QFETCH(QString, uri);
        QFETCH(QByteArray, record);
        QCOMPARE(m_launcher->launcherGame(id), 0);
        QTRY_COMPARE(recorded(), QStringList{"xdg-open " + uri});
        QCOMPARE(modeRecord(), record);
    }

    void modeThatDoesNotFitLeavesTheRecord()
    {
        m_launcher->launcherGame("max");
        LogCapture log;
        m_launcher->launcherGame("huge-mode");
        QTRY_COMPARE(recorded().size(), 2); // the game still starts
        QCOMPARE(modeRecord(), expectedRecord("START9999"));
        QVERIFY(!log.errors().isEmpty());
        QVERIFY(log.errors().first().contains("123456"));
    }

    void unknownIdsWarnAndLaunchNothing_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("unknown") << "nope";
        QTest::newRow("letter case") << "DOTA";
        QTest::newRow("empty") << "";
    }

    void unknownIdsWarnAndLaunchNothing()
    {
        QFETCH(QString, id);
        m_launcher->launcherGame("zero");
        QTRY_COMPARE(recorded().size(), 1);
        const QByteArray before = modeRecord();

        LogCapture log;
        QCOMPARE(m_launcher->launcherGame(id), 0);
        QCOMPARE(log.warnings(), QStringList{"Can not find game and the game id is " + id});
        QTest::qWait(300);
        QCOMPARE(recorded().size(), 1);
        QCOMPARE(modeRecord(), before);
    }

    void nativeExecutableRunsDirectlyWithItsPathUnchanged()
    {
        // Spaces, quotes and non-ASCII characters must survive: no shell parses the path.
        const QString launcher = m_dir.filePath(QString::fromUtf8("Spiele ü/游戏 \"x\"/launch me.sh"));
        writeScript(launcher, "printf 'ran %s\\n' \"$0\" >> \"$NERQ_TEST_RECORD\"\n");
        addGame("native", true, launcher, 999, 12);

        m_launcher->launcherGame("native");
        QTRY_COMPARE(recorded(), QStringList{"ran " + launcher});
        QCOMPARE(modeRecord(), expectedRecord("START12"));

        // A second click starts it again and hands the mode on again.
        addGame("native3", true, launcher, 0, 3);
        m_launcher->launcherGame("native3");
        QTRY_COMPARE(recorded().size(), 2);
        QCOMPARE(modeRecord(), expectedRecord("START3")); // no digit of START12 survives
    }

    void otherNativePathsGoToTheDesktopAsOneArgument()
    {
        const QString document = m_dir.filePath(QString::fromUtf8("Read me ü 说明.txt"));
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        addGame("document", true, document, 0, 5);
        addGame("empty-path", true, QString(), 0, 6);

        m_launcher->launcherGame("document");
        QTRY_COMPARE(recorded(), QStringList{"xdg-open " + document});
        QCOMPARE(modeRecord(), expectedRecord("START5"));

        // An empty path still goes to the shell (which fails quietly) and the mode still goes on.
        m_launcher->launcherGame("empty-path");
        QTRY_COMPARE(modeRecord(), expectedRecord("START6"));
    }
};

QTEST_GUILESS_MAIN(TestGameLauncher)
#include "tst_gamelauncher.moc"
