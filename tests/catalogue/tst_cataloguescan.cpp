// nerq-catalogue scan over a small Steam installation built on disk: two libraries listed in
// both forms of libraryfolders.vdf, one on a path with spaces and non-ASCII characters, app
// manifests with mixed-case keys and several StateFlags, the VR manifest, and pictures in both
// cache layouts. What it writes is read back with the program's own loader.

#include "catalogueprobe.h"
#include "gameitem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <utility>

namespace {

QByteArray manifest(const char* idKey, int appId, const char* name, const char* flagsKey, const char* flags)
{
    return QString("\"AppState\"\n{\n\t\"%1\"\t\t\"%2\"\n\t\"name\"\t\t\"%3\"\n\t\"%4\"\t\t\"%5\"\n}\n")
        .arg(idKey)
        .arg(appId)
        .arg(name, flagsKey, flags)
        .toUtf8();
}

} // namespace

class TestCatalogueScan : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_steamDir;
    QString m_steam;
    QString m_cache;
    std::unique_ptr<QTemporaryDir> m_run;

    QString catalogue(const QString& name) const { return m_run->filePath("game/" + name); }

    ToolRun scan(const QStringList& extra = {}) const
    {
        return runCatalogueTool(QStringList{"scan", "--steam-root", m_steam, "--catalogue-dir", m_run->path()} + extra);
    }

private slots:
    void initTestCase()
    {
        m_steam = m_steamDir.filePath("Steam");
        const QString second = m_steamDir.filePath(QString::fromUtf8("Spiele Bibliothek ü"));
        writeFile(m_steam + "/steamapps/libraryfolders.vdf",
                  QString("\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"%1\"\n\t\t\"apps\"\n\t\t{\n"
                          "\t\t\t\"111\"\t\t\"1\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"%2\"\n\t}\n}\n")
                      .arg(m_steam, m_steamDir.filePath("unplugged drive"))
                      .toUtf8());
        writeFile(m_steam + "/config/libraryfolders.vdf",
                  QString("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1558451506\"\n"
                          "\t\"ContentStatsID\"\t\t\"-4557356124476440155\"\n\t\"1\"\t\t\"%1\"\n}\n")
                      .arg(second)
                      .toUtf8());
        writeFile(m_steam + "/steamapps/appmanifest_620980.acf",
                  manifest("appid", 620980, "Beat Saber", "StateFlags", "4"));
        writeFile(m_steam + "/steamapps/appmanifest_250820.acf",
                  manifest("appID", 250820, "SteamVR", "stateflags", "1030"));
        writeFile(second + "/steamapps/appmanifest_450390.acf",
                  manifest("AppID", 450390, "The Lab", "StateFlags", "6"));
        writeFile(second + "/steamapps/appmanifest_546560.acf",
                  manifest("appid", 546560, "Half-Life: Alyx", "STATEFLAGS", "68"));
        writeFile(second + "/steamapps/appmanifest_570.acf", manifest("appid", 570, "Dota 2", "StateFlags", "4"));
        writeFile(second + "/steamapps/appmanifest_999999.acf",
                  manifest("appid", 999999, "Update Pending", "StateFlags", "1026"));
        writeFile(m_steam + "/config/steamapps.vrmanifest", R"({"source": "steam", "applications": [
            {"app_key": "steam.app.620980", "launch_type": "url",
             "strings": {"en_us": {"name": "Beat Saber"}, "zh_cn": {"name": "节奏光剑"}}},
            {"app_key": "steam.app.250820", "launch_type": "url", "strings": {"en_us": {"name": "SteamVR"}}},
            {"app_key": "steam.app.450390", "launch_type": "url"},
            {"app_key": "steam.app.546560", "launch_type": "url"},
            {"app_key": "steam.app.999999", "launch_type": "url"},
            {"app_key": "steam.app.777777", "launch_type": "url"},
            {"app_key": "system.generated.x", "launch_type": "binary"}]})");
        // The nested layout with a hashed folder and a translated header; the old flat one.
        m_cache = m_steam + "/appcache/librarycache/";
        writeFile(m_cache + "620980/9bcdda92/library_capsule.jpg", pictureBytes("jpg", 1));
        writeFile(m_cache + "620980/header_schinese.jpg", pictureBytes("jpg", 2));
        writeFile(m_cache + "620980/header.jpg", pictureBytes("jpg", 3));
        writeFile(m_cache + "450390_library_600x900.jpg", pictureBytes("jpg", 4));
        writeFile(m_cache + "450390_header.png", pictureBytes("png", 5));
    }

    void init()
    {
        m_run = std::make_unique<QTemporaryDir>();
        QVERIFY(m_run->isValid());
    }

    void addsTheInstalledVrGamesToBothCatalogues()
    {
        const ToolRun run = scan();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        for (const char* line :
             {"unplugged drive (listed in", "250820   SteamVR: a VR tool, not a game, skipped",
              "570      Dota 2: not a VR game, skipped",
              "999999   Update Pending: not fully installed (StateFlags 1026)",
              "546560   Half-Life: Alyx: VR game, added; no picture",
              "2 libraries, 5 installed apps, 3 VR games: 3 added, 0 already present, 0 not installed any more"})
            QVERIFY2(run.output.contains(QString::fromUtf8(line)), qPrintable(line + ("\n" + run.output)));

        const LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        QVERIFY2(english.errors.isEmpty(), qPrintable(english.errors.join('\n')));
        QCOMPARE(english.ids, QStringList({"steam_450390", "steam_546560", "steam_620980"}));
        const GameItem* saber = english.game("steam_620980");
        QCOMPARE(saber->gameName(), QString("Beat Saber"));
        QCOMPARE(saber->isNative(), false);
        QCOMPARE(saber->steamGameId(), 620980);
        QCOMPARE(saber->gameMode(), 0);
        QCOMPARE(saber->imgPath(), QString("../game/images/steam_620980.jpg"));
        QCOMPARE(english.game("steam_450390")->imgPath(), QString("../game/images/steam_450390.png"));
        QCOMPARE(english.game("steam_546560")->imgPath(), QString());
        // The header is chosen in both layouts and copied where imgPath points from the page's res/.
        QCOMPARE(readFile(m_run->filePath("game/images/steam_620980.jpg")), pictureBytes("jpg", 3));
        QCOMPARE(readFile(m_run->filePath("game/images/steam_450390.png")), pictureBytes("png", 5));

        const LoadedCatalogue chinese = loadCatalogue(catalogue("data_cn.json"));
        QVERIFY(chinese.errors.isEmpty());
        QCOMPARE(chinese.ids, english.ids);
        QCOMPARE(chinese.game("steam_620980")->gameName(), QString::fromUtf8("节奏光剑"));
        QCOMPARE(chinese.game("steam_450390")->gameName(), QString("The Lab"));
        QVERIFY(!QFile::exists(catalogue("data_en.json.bak"))); // nothing was there before
    }

    void mergeKeepsTheOperatorsEntriesAndChoices()
    {
        const QByteArray before = R"([
            {"gameId": "starfall", "gameName": "Starfall", "isNative": true, "launcherPath": "./s.sh",
             "steamGameId": 620980, "venue": {"rooms": [1, 2]}},
            {"gameId": "saber", "gameName": "Our Saber", "imgPath": "", "steamGameId": 620980, "gameMode": 5},
            {"gameId": "skyline", "gameName": "Skyline Runner", "steamGameId": 1042870, "gameMode": 2}])";
        writeFile(catalogue("data_en.json"), before);

        ToolRun run = scan({"--mode", "3"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY2(run.output.contains(
                     "1042870  Skyline Runner: listed in data_en.json, data_cn.json but not installed any more; "
                     "kept (--prune removes it)"),
                 qPrintable(run.output));
        LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        QVERIFY(english.errors.isEmpty());
        QCOMPARE(english.ids, QStringList({"starfall", "saber", "skyline", "steam_450390", "steam_546560"}));
        QCOMPARE(english.game("saber")->gameName(), QString("Our Saber"));
        QCOMPARE(english.game("saber")->gameMode(), 5);
        QCOMPARE(english.game("saber")->imgPath(), QString("../game/images/saber.jpg")); // was empty
        QCOMPARE(english.game("starfall")->imgPath(), QString());                        // native: untouched
        QCOMPARE(english.game("steam_450390")->gameMode(), 3);
        QVERIFY(readFile(catalogue("data_en.json")).contains(R"("venue": {"rooms":[1,2]})"));
        QCOMPARE(readFile(catalogue("data_en.json.bak")), before);

        // Nothing new: nothing is written, the backup stays the one of the last change.
        const QByteArray merged = readFile(catalogue("data_en.json"));
        const QDateTime modified = QFileInfo(catalogue("data_en.json")).lastModified();
        QTest::qWait(20);
        run = scan();
        QVERIFY2(run.output.contains(catalogue("data_en.json") + ": unchanged"), qPrintable(run.output));
        QVERIFY(run.output.contains("0 added, 3 already present, 1 not installed any more"));
        QCOMPARE(QFileInfo(catalogue("data_en.json")).lastModified(), modified);
        QCOMPARE(readFile(catalogue("data_en.json.bak")), before);

        // Pruning waits until every listed library can be read: a game may be on the missing one.
        run = scan({"--prune"});
        QVERIFY2(run.output.contains("not pruning, since a Steam library"), qPrintable(run.output));
        QCOMPARE(readFile(catalogue("data_en.json")), merged);
        const QString unplugged = m_steamDir.filePath("unplugged drive");
        QVERIFY(QDir().mkpath(unplugged + "/steamapps"));
        auto unplug = qScopeGuard([&] { QDir(unplugged).removeRecursively(); });

        run = scan({"--prune", "--dry-run"});
        QVERIFY2(run.output.contains("would change (0 added, 0 filled in, 1 removed)"), qPrintable(run.output));
        QCOMPARE(readFile(catalogue("data_en.json")), merged);

        run = scan({"--prune"});
        QCOMPARE(run.exitCode, 0);
        english = loadCatalogue(catalogue("data_en.json"));
        QCOMPARE(english.ids, QStringList({"starfall", "saber", "steam_450390", "steam_546560"}));
        QCOMPARE(readFile(catalogue("data_en.json.bak")), merged);
    }

    void catalogueTheProgramWouldNotLoadWholeIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("object at the top") << QByteArray(R"({"games": []})") << "the top level is an object";
        QTest::newRow("not JSON") << QByteArray("[{\"gameId\": \"a\"},]") << "it is not strict JSON";
        QTest::newRow("skipped entry") << QByteArray(R"([{"gameId": "a", "steamGameId": "570"}])")
                                       << "entry 0: \"steamGameId\" is the text \"570\"";
        QTest::newRow("duplicate id") << QByteArray(R"([{"gameId": "a"}, {"gameId": "a"}])")
                                      << "entry 1: the game id \"a\" is already used by entry 0";
    }

    void catalogueTheProgramWouldNotLoadWholeIsLeftAlone()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        writeFile(catalogue("data_cn.json"), content);
        const ToolRun run = scan();
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains(catalogue("data_cn.json") + ": left unchanged") && run.output.contains(reason),
                 qPrintable(run.output));
        QCOMPARE(readFile(catalogue("data_cn.json")), content);
        QVERIFY(!QFile::exists(catalogue("data_en.json")));
        QVERIFY(!QFile::exists(m_run->filePath("game/images")));
    }

    void includeAndExcludeListsDecideWhatIsVr()
    {
        // An exclusion wins over an inclusion of the same app.
        writeFile(m_run->filePath("include.txt"),
                  "# also VR, though Steam does not say so\n570  # Dota\n\n250820\n620980\n");
        writeFile(m_run->filePath("exclude.txt"), "620980\n");
        const ToolRun run = scan(
            {"--include", m_run->filePath("include.txt"), "--exclude", m_run->filePath("exclude.txt"), "--dry-run"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.output.contains("570      Dota 2: VR game, added"), qPrintable(run.output));
        QVERIFY(run.output.contains("250820   SteamVR: VR game, added"));
        QVERIFY(run.output.contains("620980   Beat Saber: excluded by --exclude"));
        QVERIFY(run.output.contains("dry run, nothing written"));
        QVERIFY(!QFile::exists(m_run->filePath("game")));
    }

    void findsSteamWithoutBeingTold()
    {
        // The usual ways one Steam folder is reached: it is scanned once.
        const QString home = m_run->filePath("home");
        QVERIFY(QDir().mkpath(home + "/.steam") && QDir().mkpath(home + "/.local/share"));
        QVERIFY(QFile::link(m_steam, home + "/.steam/root") && QFile::link(m_steam, home + "/.steam/steam"));
        QVERIFY(QFile::link(m_steam, home + "/.local/share/Steam"));
        // Flatpak's Steam lives in its sandbox's own data folder, and nowhere else.
        const QString flatpakHome = m_run->filePath("flatpak home");
        const SteamFolder flatpak{flatpakHome + "/.var/app/com.valvesoftware.Steam/data/Steam"};
        flatpak.addApp(620980, "Beat Saber");
        flatpak.listAsVr({620980});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("XDG_DATA_HOME");
        for (const auto& [user, steam] : {std::pair(home, m_steam), std::pair(flatpakHome, flatpak.root)}) {
            environment.insert("HOME", user);
            const ToolRun run = runCatalogueTool({"scan", "--dry-run", "--catalogue-dir", m_run->path()}, environment);
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.output.startsWith("Steam: " + QFileInfo(steam).canonicalFilePath() + '\n')
                         && run.output.contains("620980   Beat Saber: VR game, added"),
                     qPrintable(run.output));
        }
    }

    void badCommandLinesAndMissingSteamAreReported_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList() << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"scna"} << 2 << "unknown command \"scna\"";
        QTest::newRow("unknown option") << QStringList{"scan", "--prnue"} << 2 << "Unknown option 'prnue'";
        QTest::newRow("mode out of range") << QStringList{"scan", "--mode", "10000"} << 2 << "-999 to 9999";
        QTest::newRow("bad include") << QStringList{"scan", "--include", "BAD"} << 2 << "bad.txt:2: \"Dota\" is not";
        QTest::newRow("missing include") << QStringList{"scan", "--include", "/nonexistent"} << 2 << "/nonexistent";
        QTest::newRow("not a Steam folder")
            << QStringList{"scan", "--steam-root", "HOME"} << 1 << "is not a Steam folder";
        QTest::newRow("app manifest without AppState")
            << QStringList{"scan", "--steam-root", "ODD"} << 0 << "appmanifest_7.acf: no AppState block, skipped";
        QTest::newRow("no Steam anywhere") << QStringList{"scan"} << 1 << "no Steam installation found";
        QTest::newRow("check without a file") << QStringList{"check"} << 2 << "check takes one catalogue file";
    }

    void badCommandLinesAndMissingSteamAreReported()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        // A home without Steam, so that nothing on this machine is found.
        writeFile(m_run->filePath("bad.txt"), "570\nDota\n");
        writeFile(m_run->filePath("odd/steamapps/appmanifest_7.acf"), "\"Other\" { \"appid\" \"7\" }");
        arguments.replaceInStrings("BAD", m_run->filePath("bad.txt")).replaceInStrings("HOME", m_run->path());
        arguments.replaceInStrings("ODD", m_run->filePath("odd"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", m_run->path());
        environment.remove("XDG_DATA_HOME");
        if (arguments.value(0) == "scan")
            arguments << "--catalogue-dir" << m_run->path();
        const ToolRun run = runCatalogueTool(arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.output.contains(message), qPrintable(run.output));
        QVERIFY(!QFile::exists(m_run->filePath("game")));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueScan)
#include "tst_cataloguescan.moc"
