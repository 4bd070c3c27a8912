// The installed program as a user meets it: the commands of an install prefix (the build
// installed by CTest, or an unpacked package), each run with a fresh home of its own.

#include "programrun.h"
#include "registryprobe.h"
#include "testpaths.h"

#include <openvr.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QString prefix()
{
    return qEnvironmentVariable("NERQ_INSTALL_PREFIX");
}
QString programDir()
{
    return QFileInfo(prefix() + "/lib/nerqvrplatform").canonicalFilePath();
}
QString command(const QString& name)
{
    return prefix() + "/bin/" + name;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read " + path.toUtf8() + ")");
}

void write(const QString& path, const QByteArray& data, QFile::Permissions extra = {})
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(data);
    file.setPermissions(file.permissions() | extra);
}

bool near(QColor actual, QColor expected, int tolerance = 6)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
           && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

int peer(const QStringList& arguments)
{
    int code = -1;
    runTool(command("nerq-peer"), arguments, &code);
    return code;
}

} // namespace

class LauncherTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;

    QString home() const { return m_tmp->filePath("home"); }
    QString userDir() const { return home() + "/.local/share/nerqvrplatform"; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home());
        env.remove("XDG_DATA_HOME");
        env.insert("XDG_RUNTIME_DIR", m_tmp->path());
        env.insert("VRSIM_STATE_DIR", m_tmp->filePath("vrsim"));
        env.insert("VRSIM_CAPTURE_DIR", m_tmp->filePath("capture"));
        env.insert("VRSIM_CAPTURE", "none");
        return env;
    }

    // A start that ends at the program's first look at the quit flag, after its whole start-up.
    int quickStart(const QString& program, const QStringList& arguments = {"-desktop"},
                   const QProcessEnvironment& env = QProcessEnvironment())
    {
        if (peer({"quit"}) != 0)
            return -1000;
        ProgramRun run(m_tmp->path(), arguments, env.isEmpty() ? environment() : env, program);
        if (!run.waitForExit()) {
            qWarning("%s", qPrintable(run.report()));
            return -1000;
        }
        return run.exitCode();
    }

private slots:
    void initTestCase()
    {
        if (prefix().isEmpty())
            QFAIL("NERQ_INSTALL_PREFIX names no install prefix; run the test through ctest");
    }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(home()));
        QCOMPARE(peer({"clear", "all", "--remove"}), 0);
    }

    void cleanupTestCase() { peer({"clear", "all", "--remove"}); }

    void firstStartShowsThePageFromTheUsersFolder()
    {
        ProgramRun program(m_tmp->path(), {"-desktop", "-english"}, environment(), command("nerqvrplatform"));
        QVERIFY2(!program.waitForWindow().isEmpty(), qPrintable(program.report()));
        QTest::qWait(1000); // first frame and tile pictures
        const QString shot = m_tmp->filePath("screen.png");
        runTool(TestPaths::tool("nerq-grab"), {shot});
        const QImage screen(shot);
        if (!qEnvironmentVariableIsEmpty("NERQ_SCREENSHOT_DIR"))
            screen.save(qEnvironmentVariable("NERQ_SCREENSHOT_DIR") + "/installed-desktop.png");
        QVERIFY(near(screen.pixelColor(130, 157), QColor("#00677e"))); // the separator
        // The first tile's picture, found from the user's catalogue copy, differs from the background.
        QVERIFY(!near(screen.pixelColor(323, 230), screen.pixelColor(100, 230), 20));

        for (const char* file : {"game/data_en.json", "game/images/starfall.png", "log.conf"})
            QVERIFY2(contents(userDir() + "/" + file) == contents(programDir() + "/" + file), qPrintable(file));
        QCOMPARE(QFileInfo(userDir() + "/res").symLinkTarget(), programDir() + "/res");

        QCOMPARE(peer({"quit"}), 0);
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(contents(userDir() + "/logs/nerqvrplatform.log").contains("Quit flag"));
        QVERIFY(!QFileInfo::exists(programDir() + "/logs"));
    }

    // What the runtime does with the registration: start its launch entry in the manifest's folder.
    void theRuntimeStartsTheRegisteredLauncher()
    {
        qputenv("VRSIM_STATE_DIR", environment().value("VRSIM_STATE_DIR").toUtf8());
        QCOMPARE(quickStart(command("nerqvrplatform"), {"-installmanifest"}), 0);
        QVERIFY(RegistryProbe::connect());
        const QString workingDir = RegistryProbe::workingDirectory();
        vr::VR_Shutdown();
        QCOMPARE(workingDir, programDir());
        const QJsonObject app = QJsonDocument::fromJson(contents(workingDir + "/manifest.vrmanifest"))
                                    .object()["applications"]
                                    .toArray()[0]
                                    .toObject();
        const QString launchEntry = workingDir + "/" + app["binary_path_linux"].toString();

        QCOMPARE(peer({"clear", "quit"}), 0);
        ProgramRun program(workingDir, {}, environment(), launchEntry);
        QVERIFY2(
            QTest::qWaitFor([&] { return contents(m_tmp->filePath("capture/frames.log")).contains("frame=1"); }, 30000),
            qPrintable(program.report()));
        QCOMPARE(QFileInfo(QString("/proc/%1/cwd").arg(program.pid())).symLinkTarget(), userDir());
        QCOMPARE(peer({"quit"}), 0);
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);

        QCOMPARE(quickStart(command("nerqvrplatform"), {"-removemanifest"}), 0);
        QVERIFY(RegistryProbe::connect());
        QVERIFY(!RegistryProbe::isInstalled());
        vr::VR_Shutdown();
    }

    void laterStartsKeepWhatTheUserChanged()
    {
        const QString launcher = command("nerqvrplatform");
        QCOMPARE(quickStart(launcher), 0);
        const QByteArray catalogue = R"([{"gameId": "mine", "gameName": "My Game", "imgPath": "", "isNative": true,
                                         "launcherPath": "./mine.sh", "steamGameId": 0, "gameMode": 1}])";
        write(userDir() + "/game/data_cn.json", catalogue);
        const QByteArray logConf = "* GLOBAL:\n    FILENAME = \"logs/mine.log\"\n";
        write(userDir() + "/log.conf", logConf);
        QVERIFY(QFile::remove(userDir() + "/res"));
        QVERIFY(QFile::link("/nonexistent", userDir() + "/res"));

        QCOMPARE(quickStart(launcher), 0);
        QCOMPARE(contents(userDir() + "/game/data_cn.json"), catalogue);
        QCOMPARE(contents(userDir() + "/log.conf"), logConf);
        QVERIFY(QFileInfo::exists(userDir() + "/logs/mine.log"));
        QCOMPARE(QFileInfo(userDir() + "/res").symLinkTarget(), programDir() + "/res");

        // The XDG place wins over the default one; options and exit status are the program's own.
        QProcessEnvironment env = environment();
        env.insert("XDG_DATA_HOME", m_tmp->filePath("data"));
        QCOMPARE(quickStart(launcher, {"-desktop"}, env), 0);
        QVERIFY(QFileInfo::exists(m_tmp->filePath("data/nerqvrplatform/game/data_cn.json")));
        env.insert("VRSIM_INIT_ERROR", "108");
        QCOMPARE(quickStart(launcher, {"-removemanifest"}, env), 254);
    }

    void installedSteamScanFillsTheUsersCatalogue()
    {
        // One installed VR game in a Steam library where Steam keeps it for this user.
        const QString steam = home() + "/.local/share/Steam";
        QVERIFY(QDir().mkpath(steam + "/steamapps") && QDir().mkpath(steam + "/config"));
        write(steam + "/steamapps/appmanifest_620980.acf",
              R"("AppState" { "appid" "620980" "name" "Beat Saber" "StateFlags" "4" })");
        write(steam + "/config/steamapps.vrmanifest",
              R"({"applications": [{"app_key": "steam.app.620980", "launch_type": "url"}]})");

        QCOMPARE(quickStart(command("nerqvrplatform")), 0);
        QVERIFY2(contents(userDir() + "/game/data_cn.json").contains(R"("gameId": "steam_620980")"),
                 contents(userDir() + "/logs/steam-scan.log").constData());
        QVERIFY(!contents(programDir() + "/game/data_cn.json").contains("steam_620980"));
    }

    // The catalogue tool beside the program scans before each start; a stand-in records its call.
    void steamScanRunsBeforeTheProgramUnlessSwitchedOff()
    {
        const QString dir = m_tmp->filePath("program");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(programDir() + "/nerqvrplatform.sh", dir + "/nerqvrplatform.sh"));
        for (const char* name : {"NerqVRPlatform", "res", "game", "log.conf"})
            QVERIFY(QFile::link(programDir() + "/" + name, dir + "/" + name));
        write(dir + "/nerq-catalogue",
              "#!/bin/sh\necho \"called with $*\"\n[ -f \"$3/game/data_cn.json\" ] && echo catalogue present\nexit 1\n",
              QFile::ExeOwner);

        QCOMPARE(quickStart(dir + "/nerqvrplatform.sh"), 0);
        const QByteArray log = contents(userDir() + "/logs/steam-scan.log");
        QVERIFY2(log.contains("called with scan --catalogue-dir " + userDir().toUtf8()), log.constData());
        QVERIFY2(log.contains("catalogue present\n== exit status 1"), log.constData());

        write(userDir() + "/no-steam-scan", "");
        QCOMPARE(quickStart(dir + "/nerqvrplatform.sh"), 0);
        QCOMPARE(contents(userDir() + "/logs/steam-scan.log"), log);
    }
};

QTEST_GUILESS_MAIN(LauncherTest)
#include "tst_launcher.moc"
