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
#include <vector>

#include <unistd.h>

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

// From a start that could not be made read-only.
constexpr int noReadOnlyMount = -2000;

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

    // The launcher copied beside links to the installed files, with a stand-in catalogue tool.
    QString standInProgram() const { return m_tmp->filePath("program/nerqvrplatform.sh"); }
    void makeStandInProgram(const QByteArray& scanner)
    {
        const QString dir = m_tmp->filePath("program");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(programDir() + "/nerqvrplatform.sh", standInProgram()));
        for (const char* name : {"NerqVRPlatform", "res", "game", "log.conf"})
            QVERIFY(QFile::link(programDir() + "/" + name, dir + "/" + name));
        write(dir + "/nerq-catalogue", scanner, QFile::ExeOwner);
    }

    // A start with the home made read-only; root ignores the permission bits, so for root the
    // home is also mounted read-only in a mount namespace of the start's own.
    int readOnlyStart(QString* output)
    {
        QString program = command("nerqvrplatform");
        QStringList arguments{"-desktop"};
        if (geteuid() == 0) {
            const QString remount = R"(mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" "$0")";
            int code = -1;
            runTool("unshare", {"--mount", "sh", "-c", remount, home()}, &code);
            if (code != 0)
                return noReadOnlyMount;
            arguments = QStringList{"--mount", "sh", "-c", remount + R"( && exec "$@")", home(), program, "-desktop"};
            program = "unshare";
        }
        if (peer({"quit"}) != 0)
            return -1000;
        ProgramRun run(m_tmp->path(), arguments, environment(), program);
        const bool exited = run.waitForExit();
        *output = run.report();
        return exited ? run.exitCode() : -1000;
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

    // Read-only folders made writable again, so the temporary folder can go.
    void cleanup() { runTool("chmod", {"-R", "u+w", m_tmp->path()}); }

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
        makeStandInProgram("#!/bin/sh\necho \"called with $* in $(pwd)\"\n"
                           "[ -f \"$3/game/data_cn.json\" ] && echo catalogue present\nexit 1\n");

        QCOMPARE(quickStart(standInProgram()), 0);
        const QByteArray log = contents(userDir() + "/logs/steam-scan.log");
        QVERIFY2(log.contains("called with scan --catalogue-dir " + userDir().toUtf8() + " in " + userDir().toUtf8()),
                 log.constData());
        QVERIFY2(log.contains("catalogue present\n== exit status 1"), log.constData());

        // Registering and unregistering scan nothing.
        QVERIFY(QFile::remove(userDir() + "/logs/steam-scan.log"));
        QCOMPARE(quickStart(standInProgram(), {"-installmanifest"}), 0);
        QCOMPARE(quickStart(standInProgram(), {"-removemanifest"}), 0);
        QVERIFY(!QFileInfo::exists(userDir() + "/logs/steam-scan.log"));

        write(userDir() + "/no-steam-scan", "");
        QCOMPARE(quickStart(standInProgram()), 0);
        QVERIFY(!QFileInfo::exists(userDir() + "/logs/steam-scan.log"));
    }

    // A scan that hangs, and ignores being asked to stop, only delays the start.
    void aHungSteamScanIsStopped()
    {
        makeStandInProgram("#!/bin/sh\necho $$ >\"$HOME/scan.pid\"\ntrap '' TERM\nwhile :; do sleep 1; done\n");
        QCOMPARE(peer({"quit"}), 0);
        ProgramRun run(m_tmp->path(), {"-desktop"}, environment(), standInProgram());
        QVERIFY2(run.waitForExit(60000), qPrintable(run.report()));
        QCOMPARE(run.exitCode(), 0);
        const QByteArray log = contents(userDir() + "/logs/steam-scan.log");
        QVERIFY2(log.contains("== stopped after 10 s"), log.constData());
        QVERIFY(contents(userDir() + "/logs/nerqvrplatform.log").contains("Quit flag"));
        const QString scanProcess = "/proc/" + contents(home() + "/scan.pid").trimmed();
        QVERIFY2(QTest::qWaitFor([&] { return !QFileInfo::exists(scanProcess); }, 5000), qPrintable(scanProcess));
    }

    // Starts at once, as from a menu entry clicked again and again, share one first copy.
    void firstStartsAtOnceMakeOneCleanFolder()
    {
        // And the half copy of a start killed long ago goes.
        const QString stale = userDir() + "/.game.Ab12Cd";
        QVERIFY(QDir().mkpath(stale + "/game"));
        int code = -1;
        runTool("touch", {"-d", "2 hours ago", stale}, &code);
        QCOMPARE(code, 0);

        QCOMPARE(peer({"quit"}), 0);
        std::vector<std::unique_ptr<ProgramRun>> runs;
        for (int i = 0; i < 8; ++i)
            runs.push_back(std::make_unique<ProgramRun>(m_tmp->path(), QStringList{"-desktop"}, environment(),
                                                        command("nerqvrplatform")));
        for (const auto& run : runs) {
            QVERIFY2(run->waitForExit(60000), qPrintable(run->report()));
            QVERIFY2(run->exitCode() == 0, qPrintable(run->report()));
        }
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(userDir()).entryList(all), (QStringList{"game", "log.conf", "logs", "res"}));
        QCOMPARE(QDir(userDir() + "/game").entryList(all), QDir(programDir() + "/game").entryList(all));
        QCOMPARE(QDir(userDir() + "/game/images").entryList(all), QDir(programDir() + "/game/images").entryList(all));
        QCOMPARE(contents(userDir() + "/log.conf"), contents(programDir() + "/log.conf"));
    }

    // A kiosk's folder that nobody may write still starts the program with what is there.
    void aReadOnlyFolderStillStarts()
    {
        QCOMPARE(quickStart(command("nerqvrplatform")), 0);
        int code = -1;
        runTool("chmod", {"-R", "a-w", home()}, &code);
        QCOMPARE(code, 0);
        QString output;
        code = readOnlyStart(&output);
        if (code == noReadOnlyMount)
            QSKIP("root ignores permission bits and may make no read-only mount here; as a user it runs");
        QVERIFY2(code == 0, qPrintable(output));
        QVERIFY2(output.contains("nerqvrplatform: cannot write " + userDir() + "/logs; no Steam scan"),
                 qPrintable(output));

        // What the program needs and cannot have ends the start with a reason.
        runTool("chmod", {"u+w", userDir()});
        QVERIFY(QFile::remove(userDir() + "/res"));
        runTool("chmod", {"a-w", userDir()});
        QCOMPARE(readOnlyStart(&output), 1);
        QVERIFY2(output.contains("nerqvrplatform: could not link " + userDir() + "/res"), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(LauncherTest)
#include "tst_launcher.moc"
