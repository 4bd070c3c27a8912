// The page's view of the program: which files a language picks, and the four context objects
// being there, working, before the page is created.

#include "blockfixture.h"
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

// The start-up steps the page depends on: the manager, its context on the engine, the page.
struct Binding {
    explicit Binding(const QString& pageLocation)
    {
        initializeStatus = manager.initialize();
        setupStatus = manager.setupContext(&engine);
        QQmlComponent component(&engine);
        component.setData(kProbePage, QUrl::fromLocalFile(pageLocation));
        page.reset(component.create());
        if (!page)
            qWarning() << component.errors();
    }

    QVariant call(const char* function, const QVariant& argument = QVariant())
    {
        QVariant result;
        if (argument.isValid())
            QMetaObject::invokeMethod(page.get(), function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, argument));
        else
            QMetaObject::invokeMethod(page.get(), function, Q_RETURN_ARG(QVariant, result));
        return result;
    }

    QmlManager manager;
    QQmlEngine engine;
    std::unique_ptr<QObject> page; // goes before the engine
    int initializeStatus = -1;
    int setupStatus = -1;
};

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

    QString pageLocation() const { return m_dir.filePath("probe.qml"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_originalDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path()); // the catalogue name is relative to the working directory
        BlockFixture::remove(DeviceBlocks::calibrationName);
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(m_originalDir);
        BlockFixture::remove(DeviceBlocks::calibrationName);
        language = Chinese;
    }

    void filesFollowTheLanguage_data()
    {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("catalogue");
        QTest::newRow("Chinese") << 0 << "res/main_widget_cn.qml"
                                 << "./game/data_cn.json";
        QTest::newRow("English") << 1 << "res/main_widget_en.qml"
                                 << "./game/data_en.json";
        QTest::newRow("2 counts as Chinese") << 2 << "res/main_widget_cn.qml"
                                             << "./game/data_cn.json";
        QTest::newRow("-1 counts as Chinese") << -1 << "res/main_widget_cn.qml"
                                              << "./game/data_cn.json";
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
        QVERIFY(BlockFixture::blockWithDirectory(DeviceBlocks::calibrationName));
        LogCapture log;
        Binding binding(pageLocation());
        BlockFixture::remove(DeviceBlocks::calibrationName);
        QCOMPARE(binding.initializeStatus, 0);
        QCOMPARE(log.errors().filter("Open Shared Memory Failed, error is ").size(), 10);
        // The page still gets a working calibration object.
        QVERIFY(binding.page);
        QVERIFY(binding.page->property("hasCalibration").toBool());
    }

    void contextIsCompleteBeforeThePageExists()
    {
        writeCatalogue("data_cn.json", R"([{"gameId": "cn1"}, {"gameId": "cn2"}, {"gameId": "cn3"}])");
        writeCatalogue("data_en.json", R"([{"gameId": "en1", "isNative": false, "steamGameId": 1}])");
        language = English;

        Binding binding(pageLocation());
        QCOMPARE(binding.initializeStatus, 0);
        QCOMPARE(binding.setupStatus, 0);
        QVERIFY(binding.page);
        QCOMPARE(binding.page->property("games").toInt(), 1); // loaded before the page, English file only
        QVERIFY(binding.page->property("hasLauncher").toBool());
        QVERIFY(binding.page->property("hasDetector").toBool());
        QVERIFY(binding.page->property("hasCalibration").toBool());

        // The page's calls reach the real objects.
        LogCapture log;
        QCOMPARE(binding.call("calibrate").toInt(), 0);
        SharedMemory<DeviceBlocks::CalibrationRecord> block(DeviceBlocks::calibrationName, false);
        DeviceBlocks::CalibrationRecord record{};
        block.read(record);
        QCOMPARE(QByteArray(record.bytes), QByteArray("Calibration"));

        QCOMPARE(binding.call("launch", QString("cn1")).toInt(), 0);
        QCOMPARE(log.warnings(), QStringList{"Can not find game and the game id is cn1"});
    }

    void catalogueIsReloadedEveryThirtySeconds()
    {
        writeCatalogue("data_cn.json", R"([{"gameId": "first"}])");
        language = Chinese;
        Binding binding(pageLocation());
        QVERIFY(binding.page);
        QCOMPARE(binding.call("count").toInt(), 1);

        writeCatalogue("data_cn.json", R"([{"gameId": "first"}, {"gameId": "added later"}])");
        QTest::qWait(25000);
        QCOMPARE(binding.call("count").toInt(), 1); // not before the period is over
        QTRY_COMPARE_WITH_TIMEOUT(binding.call("count").toInt(), 2, 10000);
    }

    void missingCatalogueGivesAnEmptyGrid()
    {
        QFile::remove(m_dir.filePath("game/data_cn.json"));
        language = Chinese;
        LogCapture log;
        Binding binding(pageLocation());
        QVERIFY(binding.page);
        QCOMPARE(binding.page->property("games").toInt(), 0);
        QCOMPARE(log.errors(), QStringList{"Parse json file failed, invalid json file!"});
    }
};

QTEST_MAIN(TestQmlManager)
#include "tst_qmlmanager.moc"
