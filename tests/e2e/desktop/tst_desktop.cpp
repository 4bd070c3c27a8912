// The real executable in desktop mode on a private Xvfb screen: what a person sees, what a click
// starts, what reaches the device service, and how the program ends.

#include "blockfixture.h"
#include "programrun.h"
#include "testpaths.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString peer()
{
    return TestPaths::tool("nerq-peer");
}

// Clicks at a screen position; the page's window sits at the origin.
void click(int x, int y)
{
    runTool("xdotool", {"mousemove", QString::number(x), QString::number(y)});
    QTest::qWait(150); // let the hover arrive before the press, as a real pointer would
    runTool("xdotool", {"click", "1"});
}

QImage grabScreen(const QTemporaryDir& dir)
{
    const QString file = dir.filePath("screen.png");
    int code = -1;
    runTool(TestPaths::tool("nerq-grab"), {file}, &code);
    return code == 0 ? QImage(file) : QImage();
}

bool near(QColor actual, QColor expected, int tolerance = 6)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
           && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_tmp.path());
        return env;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("XDG_RUNTIME_DIR", m_tmp.path().toUtf8());
    }

    void init() { runTool(peer(), {"clear", "all", "--remove"}); }
    void cleanupTestCase() { runTool(peer(), {"clear", "all", "--remove"}); }

    void showsThePageInAWindowSizedFromTheRootItem()
    {
        ProgramRun program(TestPaths::runtimeDir(), {"-desktop", "-english"}, environment());
        const QString window = program.waitForWindow();
        QVERIFY2(!window.isEmpty(), qPrintable(program.report()));

        const QString geometry = runTool("xdotool", {"getwindowgeometry", window});
        QVERIFY2(geometry.contains("Position: 0,0"), qPrintable(geometry));
        QVERIFY2(geometry.contains("Geometry: 1920x1080"), qPrintable(geometry));

        QTest::qWait(1000); // first frame and tile pictures
        const QImage screen = grabScreen(m_tmp);
        QCOMPARE(screen.size(), QSize(1920, 1080));
        QVERIFY(near(screen.pixelColor(130, 157), QColor("#00677e"))); // the separator
        QVERIFY(near(screen.pixelColor(1700, 157), QColor("#00677e")));
        // The first tile's picture differs from the background around it.
        QVERIFY(!near(screen.pixelColor(323, 230), screen.pixelColor(100, 230), 20));
        QVERIFY(program.isRunning());
    }

    void scannedSteamGameShowsWithItsPicture()
    {
        // A Steam library with one installed VR game whose cached header is plain magenta.
        const QString steam = m_tmp.filePath("Steam");
        QVERIFY(QDir().mkpath(steam + "/steamapps") && QDir().mkpath(steam + "/config")
                && QDir().mkpath(steam + "/appcache/librarycache/620980"));
        auto write = [](const QString& path, const QByteArray& content) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        QVERIFY(write(steam + "/steamapps/appmanifest_620980.acf",
                      "\"AppState\" { \"appid\" \"620980\" \"name\" \"Beat Saber\" \"StateFlags\" \"4\" }"));
        QVERIFY(write(steam + "/config/steamapps.vrmanifest",
                      R"({"applications": [{"app_key": "steam.app.620980", "launch_type": "url"}]})"));
        QImage header(460, 215, QImage::Format_RGB32);
        header.fill(QColor("#ff00ff"));
        QVERIFY(header.save(steam + "/appcache/librarycache/620980/header.png"));

        RuntimeCopy runtime;
        runtime.remove("game/images"); // the scan's copy goes into this run's own folder
        runtime.writeFile("game/data_en.json", "[]");
        int code = -1;
        const QString scan = runTool(TestPaths::tool("nerq-catalogue"),
                                     {"scan", "--steam-root", steam, "--catalogue-dir", runtime.path()}, &code);
        QVERIFY2(code == 0, qPrintable(scan));

        ProgramRun program(runtime.path(), {"-desktop", "-english"}, environment());
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        QTest::qWait(1000);
        const QImage screen = grabScreen(m_tmp);
        QVERIFY2(near(screen.pixelColor(323, 230), QColor("#ff00ff"), 12), qPrintable(program.report()));
        QVERIFY2(!program.output().contains("ERROR"), qPrintable(program.report()));
    }

    void gameAddedWhileRunningShowsAtTheNextReload()
    {
        // The program runs on an empty catalogue; nerq-catalogue adds a native game with a plain
        // green picture, which the program's 30-second reload must bring onto the page.
        RuntimeCopy runtime;
        runtime.remove("game/images"); // the copied picture goes into this run's own folder
        runtime.writeFile("game/data_en.json", "[]");
        runtime.writeFile("game/data_cn.json", "[]");
        QImage picture(460, 215, QImage::Format_RGB32);
        picture.fill(QColor("#00ff40"));
        QVERIFY(picture.save(m_tmp.filePath("orbit.png")));

        ProgramRun program(runtime.path(), {"-desktop", "-english"}, environment());
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        int code = -1;
        const QString added = runTool(TestPaths::tool("nerq-catalogue"),
                                      {"add", "--catalogue-dir", runtime.path(), "--launcher",
                                       runtime.filePath("game/native/starfall.sh"), "--name", "Orbit", "--image",
                                       m_tmp.filePath("orbit.png")},
                                      &code);
        QVERIFY2(code == 0, qPrintable(added));
        QElapsedTimer waited;
        waited.start();
        bool shown = false;
        while (!shown && waited.elapsed() < 40000) {
            QTest::qWait(2000);
            shown = near(grabScreen(m_tmp).pixelColor(323, 230), QColor("#00ff40"), 12);
        }
        QVERIFY2(shown, qPrintable(program.report()));
        QVERIFY2(!program.output().contains("ERROR"), qPrintable(program.report()));
    }

    void chinesePageIsTheDefault()
    {
        ProgramRun program(TestPaths::runtimeDir(), {"-desktop"}, environment());
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        QTest::qWait(1000);
        // The Chinese catalogue's long name differs from the English one; the log says nothing bad.
        QVERIFY2(!program.output().contains("ERROR"), qPrintable(program.output()));
        QVERIFY(!program.output().contains("QML Error"));
    }

    void missingPageIsReportedAndEndsWithZero()
    {
        RuntimeCopy runtime;
        runtime.remove("res");
        ProgramRun program(runtime.path(), {"-desktop", "-english"}, environment());
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
        const QString output = program.output();
        QVERIFY2(output.contains("QML Error: "), qPrintable(output));
        QVERIFY2(output.contains("res/main_widget_en.qml"), qPrintable(output));
    }

    void pageFromAnotherWorkingDirectoryIsUsed()
    {
        // The working directory decides where the page comes from, not the executable's place.
        RuntimeCopy runtime;
        runtime.remove("res");
        runtime.writeFile("res/main_widget_cn.qml",
                          "import QtQuick 2.5\nRectangle { width: 640.9; height: 480; color: \"#123456\" }\n");
        ProgramRun program(runtime.path(), {"-desktop"}, environment());
        const QString window = program.waitForWindow();
        QVERIFY2(!window.isEmpty(), qPrintable(program.report()));
        const QString geometry = runTool("xdotool", {"getwindowgeometry", window});
        QVERIFY2(geometry.contains("Geometry: 640x480"), qPrintable(geometry)); // truncated, not rounded
    }

    void rootThatIsNotAnItemEndsWithAnError()
    {
        RuntimeCopy runtime;
        runtime.remove("res");
        runtime.writeFile("res/main_widget_cn.qml", "import QtQml 2.2\nQtObject { }\n");
        ProgramRun program(runtime.path(), {"-desktop"}, environment());
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 255);
        QVERIFY2(program.output().contains("is not a QQuickItem"), qPrintable(program.output()));
        QVERIFY(program.waitForWindow(500).isEmpty());
    }

    void logConfigurationComesFromTheWorkingDirectory()
    {
        RuntimeCopy runtime;
        runtime.writeFile("log.conf",
                          "* GLOBAL:\n    FILENAME = \"custom/here.log\"\n    TO_STANDARD_OUTPUT = false\n");
        runtime.remove("res");
        ProgramRun program(runtime.path(), {"-desktop"}, environment());
        QVERIFY(program.waitForExit());
        QFile log(runtime.filePath("custom/here.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("QML Error: "));
        QVERIFY(!program.output().contains("QML Error: "));
    }

    void withoutLogConfigurationTheLogIsInLogsFolder()
    {
        RuntimeCopy runtime;
        runtime.remove("log.conf");
        runtime.remove("res");
        ProgramRun program(runtime.path(), {"-desktop"}, environment());
        QVERIFY(program.waitForExit());
        QFile log(runtime.filePath("logs/myeasylog.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("QML Error: "));
        QVERIFY(!QFile::exists(runtime.filePath("myeasylog.log")));
    }

    void quitFlagEndsTheProgramWithZero()
    {
        ProgramRun program(TestPaths::runtimeDir(), {"-desktop", "-english"}, environment());
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        runTool(peer(), {"set-quit", "e"}); // only a capital E counts
        QTest::qWait(400);
        QVERIFY(program.isRunning());
        runTool(peer(), {"quit"});
        QVERIFY(program.waitForExit(3000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(program.output().contains("NerqVRPlatform"), qPrintable(program.output()));
    }

    void staleQuitFlagEndsTheProgramAtTheFirstCheck()
    {
        runTool(peer(), {"quit"});
        ProgramRun program(TestPaths::runtimeDir(), {"-desktop", "-english"}, environment());
        QVERIFY(program.waitForExit(5000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(program.output().contains("Quit flag"), qPrintable(program.output()));
    }

    void unopenableQuitFlagStopsBeforeThePage()
    {
        QVERIFY(BlockFixture::blockWithDirectory("NerqVRPlatform"));
        ProgramRun program(TestPaths::runtimeDir(), {"-desktop", "-english"}, environment());
        const bool exited = program.waitForExit();
        BlockFixture::remove("NerqVRPlatform");
        QVERIFY(exited);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 255);
        const QString output = program.output();
        QVERIFY2(output.contains("\"NerqVRPlatform\"") && output.contains("error is "), qPrintable(output));
        QVERIFY(!output.contains("role: ")); // no page was loaded
    }

    void clicksLaunchGamesAndCalibrate()
    {
        RuntimeCopy runtime;
        const QString ranFile = m_tmp.filePath("ran.txt");
        runtime.writeFile("game/test game ü.sh", "#!/bin/sh\necho \"$0\" >> '" + ranFile.toUtf8() + "'\n", true);
        runtime.writeFile("bin/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + ranFile.toUtf8() + "'\n", true);
        runtime.writeFile("game/data_en.json", R"([
            {"gameId": "native", "gameName": "Native", "imgPath": "../game/images/starfall.png",
             "isNative": true, "launcherPath": "./game/test game ü.sh", "gameMode": 4},
            {"gameId": "steam", "gameName": "Steam", "imgPath": "../game/images/starfall.png",
             "isNative": false, "steamGameId": 570, "gameMode": -12}])");

        QProcess watch;
        watch.start(peer(), {"watch", "--consume", "--timeout", "60"});
        QByteArray watchErrors;
        QTRY_VERIFY((watchErrors += watch.readAllStandardError()).contains("watching"));

        QProcessEnvironment env = environment();
        env.insert("PATH", runtime.filePath("bin") + ':' + env.value("PATH"));
        ProgramRun program(runtime.path(), {"-desktop", "-english"}, env);
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        QTest::qWait(500);

        auto ran = [&] {
            QFile file(ranFile);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        QString watched;
        auto waitWatched = [&](const QString& text) {
            for (int i = 0; i < 100 && !watched.contains(text); ++i) {
                watch.waitForReadyRead(50);
                watched += QString::fromUtf8(watch.readAllStandardOutput());
            }
            return watched.contains(text);
        };

        click(323, 284); // first tile
        QTRY_VERIFY2(ran().contains(QString::fromUtf8("./game/test game ü.sh")), qPrintable(ran()));
        QVERIFY2(waitWatched("Velkano_Game text=\"START4\""), qPrintable(watched));

        click(748, 284); // second tile
        QTRY_VERIFY2(ran().contains("steam://launch/570/Vr"), qPrintable(ran()));
        QVERIFY2(waitWatched("Velkano_Game text=\"START-12\""), qPrintable(watched));

        click(960, 978); // "Calibration"
        QVERIFY2(waitWatched("Velkano_Memory text=\"Calibration\""), qPrintable(watched));
        QVERIFY2(program.waitForOutput("Calibration request written", 3000), qPrintable(program.output()));

        watch.kill();
        watch.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
