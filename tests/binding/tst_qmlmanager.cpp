// The page's view of the program: which files a language picks, and the four context objects
// being there, working, before the page is created.

#include "deviceblocks.h"
#include "logcapture.h"
#include "qmlmanager.h"
#include "runsettings.h"
#include "sharedmemory.h"

#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mman.h>

#include <memory>

namespace {

// Reads every context name while the page is being created.
const QByteArray kProbePage = R"(
import QtQuick 2.5
Item {
    property int games: game.rowCount()
    property bool hasLauncher: typeof launcher.launcherGame === "function"
    property bool hasDetector: typeof detector.LoadGameData === "function"
    property bool hasCalibration: typeof calibration.Calibration === "function"
    function calibrate() { return calibration.Calibration() }
    function launch(id) { return launcher.launcherGame(id) }
    function count() { return game.rowCount() }
}
)";

} // namespace

class TestQmlManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_originalDir;

    void writeCatalogue(const QString& name, const QByteArray& content)
    {
        QDir(m_dir.path()).mkpath("game");
        QFile file(m_dir.filePath("game/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    std::unique_ptr<QObject> createPage(QQmlEngine& engine)
    {
        QQmlComponent component(&engine);
        component.setData(kProbePage, QUrl::fromLocalFile(m_dir.filePath("probe.qml")));
        std::unique_ptr<QObject> page(component.create());
        if (!page)
            qWarning() << component.errors();
        return page;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_originalDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path()); // the catalogue name is relative to the working directory
        shm_unlink("/Velkano_Memory");
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(m_originalDir);
        shm_unlink("/Velkano_Memory");
        language = Chinese;
    }

    void filesFollowTheLanguage_data()
    {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("catalogue");
        QTest::newRow("Chinese") << 0 << "res/main_widget_cn.qml" << "./game/data_cn.json";
        QTest::newRow("English") << 1 << "res/main_widget_en.qml" << "./game/data_en.json";
        QTest::newRow("2 counts as Chinese") << 2 << "res/main_widget_cn.qml" << "./game/data_cn.json";
        QTest::newRow("-1 counts as Chinese") << -1 << "res/main_widget_cn.qml" << "./game/data_cn.json";
    }

    void filesFollowTheLanguage()
    {
        QFETCH(int, lang);
        QFETCH(QString, page);
        QFETCH(QString, catalogue);
        QCOMPARE(QmlManager::mainPageFile(lang), page);
        QCOMPARE(QString::fromStdString(QmlManager::gameDataFile(lang)), catalogue);
    }

    void unavailableCalibrationBlockDoesNotFailStartUp()
    {
        QVERIFY(QDir().mkdir("/dev/shm/Velkano_Memory"));
        LogCapture log;
        QmlManager manager;
        const int status = manager.initialize();
        QDir().rmdir("/dev/shm/Velkano_Memory");
        QCOMPARE(status, 0);
        QCOMPARE(log.errors().size(), 10);

        // The page still gets a working calibration object.
        QQmlEngine engine;
        manager.setupContext(&engine);
        auto page = createPage(engine);
        QVERIFY(page);
        QVERIFY(page->property("hasCalibration").toBool());
    }

    void contextIsCompleteBeforeThePageExists()
    {
        writeCatalogue("data_cn.json", R"([{"gameId": "cn1"}, {"gameId": "cn2"}, {"gameId": "cn3"}])");
        writeCatalogue("data_en.json", R"([{"gameId": "en1", "isNative": false, "steamGameId": 1}])");
        language = English;

        QmlManager manager;
        QCOMPARE(manager.initialize(), 0);
        QQmlEngine engine;
        QCOMPARE(manager.setupContext(&engine), 0);
        auto page = createPage(engine);
        QVERIFY(page);
        QCOMPARE(page->property("games").toInt(), 1); // loaded before the page, English file only
        QVERIFY(page->property("hasLauncher").toBool());
        QVERIFY(page->property("hasDetector").toBool());
        QVERIFY(page->property("hasCalibration").toBool());

        // The page's calls reach the real objects.
        LogCapture log;
        QVariant result;
        QVERIFY(QMetaObject::invokeMethod(page.get(), "calibrate", Q_RETURN_ARG(QVariant, result)));
        QCOMPARE(result.toInt(), 0);
        SharedMemory<DeviceBlocks::CalibrationRecord> block(DeviceBlocks::calibrationName, false);
        DeviceBlocks::CalibrationRecord record{};
        block.read(record);
        QCOMPARE(QByteArray(record.bytes), QByteArray("Calibration"));

        QVERIFY(QMetaObject::invokeMethod(page.get(), "launch", Q_RETURN_ARG(QVariant, result),
                                          Q_ARG(QVariant, QString("cn1"))));
        QCOMPARE(result.toInt(), 0);
        QCOMPARE(log.warnings(), QStringList{"Can not find game and the game id is cn1"});
    }

    void catalogueIsReloadedEveryThirtySeconds()
    {
        writeCatalogue("data_cn.json", R"([{"gameId": "first"}])");
        language = Chinese;
        QmlManager manager;
        manager.initialize();
        QQmlEngine engine;
        manager.setupContext(&engine);
        auto page = createPage(engine);
        QVERIFY(page);
        auto count = [&] {
            QVariant rows;
            QMetaObject::invokeMethod(page.get(), "count", Q_RETURN_ARG(QVariant, rows));
            return rows.toInt();
        };
        QCOMPARE(count(), 1);

        writeCatalogue("data_cn.json", R"([{"gameId": "first"}, {"gameId": "added later"}])");
        QTest::qWait(25000);
        QCOMPARE(count(), 1); // not before the period is over
        QTRY_COMPARE_WITH_TIMEOUT(count(), 2, 10000);
    }

    void missingCatalogueGivesAnEmptyGrid()
    {
        QFile::remove(m_dir.filePath("game/data_cn.json"));
        language = Chinese;
        LogCapture log;
        QmlManager manager;
        manager.initialize();
        QQmlEngine engine;
        manager.setupContext(&engine);
        auto page = createPage(engine);
        QVERIFY(page);
        QCOMPARE(page->property("games").toInt(), 0);
        QCOMPARE(log.errors(), QStringList{"Parse json file failed, invalid json file!"});
    }
};

QTEST_MAIN(TestQmlManager)
#include "tst_qmlmanager.moc"
