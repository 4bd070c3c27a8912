// nerq-catalogue scan where an owner's PC goes wrong: hostile Steam files, two scans at once, a
// full disk, a root run in a user's folder, games mid-update. The real executable on Steam folders
// and catalogues built here; what it leaves is read back with the program's own loader.

#include "catalogueprobe.h"
#include "gameitem.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kNativeEntry[] = R"({"gameId": "starfall", "gameName": "Starfall", "imgPath": "", "isNative": true,
    "launcherPath": "./game/native/starfall.sh", "steamGameId": 0, "gameMode": 7})";

QString tool()
{
    return TestPaths::tool("nerq-catalogue");
}

struct Owner {
    uint uid = 0;
    uint gid = 0;
    mode_t mode = 0;
};

Owner ownerOf(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return {info.st_uid, info.st_gid, info.st_mode & 07777};
}

} // namespace

class TestCatalogueSafety : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    SteamFolder m_steam;

    QString dir() const { return m_tmp->filePath("run"); }
    QString catalogue(const QString& name) const { return dir() + "/game/" + name; }

    ToolRun scan(const QStringList& extra = {}, const QString& steamRoot = QString()) const
    {
        return runCatalogueTool(QStringList{"scan", "--steam-root", steamRoot.isEmpty() ? m_steam.root : steamRoot,
                                            "--catalogue-dir", dir()}
                                + extra);
    }

    // Both catalogues list the same games in the same order with the same modes and Steam ids.
    void verifyInStep()
    {
        const LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        const LoadedCatalogue chinese = loadCatalogue(catalogue("data_cn.json"));
        QVERIFY2(english.errors.isEmpty() && chinese.errors.isEmpty(), qPrintable(english.errors.join('\n')));
        QCOMPARE(chinese.ids, english.ids);
        for (const QString& id : english.ids) {
            QCOMPARE(chinese.game(id)->gameMode(), english.game(id)->gameMode());
            QCOMPARE(chinese.game(id)->steamGameId(), english.game(id)->steamGameId());
        }
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_steam.root = m_tmp->filePath("Steam");
        QVERIFY(QDir().mkpath(dir()) && QDir().mkpath(m_steam.root + "/steamapps"));
    }

    void hostileSteamFilesEndInWarningsNotInACrash()
    {
        // Steam's VR manifest nested past the JSON library's limit: it throws instead of failing.
        writeFile(m_steam.root + "/config/steamapps.vrmanifest",
                  "{\"applications\": " + QByteArray(3000, '[') + QByteArray(3000, ']') + "}");
        writeFile(m_tmp->filePath("include.txt"), "100\n200\n300\n600\n");
        m_steam.addApp(100, "Empty Header");
        m_steam.addApp(200, "Odd Pictures");
        m_steam.addApp(300, "Linked Picture");
        m_steam.addApp(600, QString(1 << 20, 'x')); // a name of a megabyte
        writeFile(m_steam.root + "/steamapps/appmanifest_400.acf", R"("AppState" { "appid" "abc" "StateFlags" "4" })");
        writeFile(m_steam.root + "/steamapps/appmanifest_500.acf", R"("AppState" { "appid" "500" "name" "No Flags" })");
        writeFile(m_steam.root + "/steamapps/appmanifest_700.acf",
                  "\"AppState\" {" + QByteArray("\"a\" {").repeated(300) + "\n");

        const QString cache = m_steam.cache();
        writeFile(cache + "100/header.jpg", "");
        writeFile(cache + "100/library_capsule.jpg", pictureBytes("jpg", 1));
        QVERIFY(QFile::link("/dev/zero", cache + "200_header.jpg"));
        QCOMPARE(::mkfifo(QFile::encodeName(cache + "200_library_hero.jpg").constData(), 0644), 0);
        writeFile(cache + "200_library_capsule.jpg", "<html>not a picture</html>");
        writeFile(cache + "200_library_600x900.jpg", pictureBytes("png", 2)); // a PNG under a JPEG name
        writeFile(m_tmp->filePath("secret.jpg"), pictureBytes("jpg", 3));
        QVERIFY(QDir().mkpath(cache + "300"));
        QVERIFY(QFile::link(m_tmp->filePath("secret.jpg"), cache + "300/header.jpg"));
        writeFile(cache + "shared/art.jpg", pictureBytes("jpg", 4));
        QVERIFY(QFile::link("../shared/art.jpg", cache + "300/library_hero.jpg"));

        const ToolRun run = scan({"--include", m_tmp->filePath("include.txt")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        for (const QString& expected :
             {QString("cannot read the VR manifest %1/config/steamapps.vrmanifest").arg(m_steam.root),
              QString("appmanifest_400.acf: the app id \"abc\" is not a valid app id"),
              QString("500      No Flags: no StateFlags in its app manifest, skipped"),
              QString("appmanifest_700.acf:1: blocks nested deeper than"),
              "passed over " + cache + "100/header.jpg: empty",
              "passed over " + cache + "200_header.jpg: a link to /dev/zero, outside",
              QString("200_library_hero.jpg: not a regular file"), QString("200_library_capsule.jpg: not a picture"),
              QString("300/header.jpg: a link to")})
            QVERIFY2(run.output.contains(expected), qPrintable(expected + "\n" + run.output));

        const LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        QCOMPARE(english.ids, QStringList({"steam_100", "steam_200", "steam_300", "steam_600"}));
        QCOMPARE(readFile(dir() + "/game/images/steam_100.jpg"), pictureBytes("jpg", 1));
        QCOMPARE(english.game("steam_200")->imgPath(), QString("../game/images/steam_200.png"));
        QCOMPARE(readFile(dir() + "/game/images/steam_200.png"), pictureBytes("png", 2));
        QCOMPARE(readFile(dir() + "/game/images/steam_300.jpg"), pictureBytes("jpg", 4));
        verifyInStep();
    }

    void brokenCopiesAreReplacedButOperatorsPicturesAndIdsAreNot()
    {
        m_steam.addApp(100, "Broken Copy");
        m_steam.addApp(200, "Operator Art");
        m_steam.addApp(300, "Taken Id");
        m_steam.addApp(400, "Replaced Art");
        m_steam.listAsVr({100, 200, 300, 400});
        for (int app : {100, 200, 300, 400})
            writeFile(QString("%1%2_header.jpg").arg(m_steam.cache()).arg(app), pictureBytes("jpg", app));
        const QByteArray before = QByteArray("[") + kNativeEntry + R"(,
            {"gameId": "steam_100", "imgPath": "../game/images/steam_100.jpg", "steamGameId": 100},
            {"gameId": "art", "imgPath": "../game/images/my_art.jpg", "steamGameId": 200},
            {"gameId": "steam_300", "gameName": "Mine", "imgPath": "../game/images/steam_300.jpg",
             "isNative": true, "launcherPath": "./mine.sh"}])";
        for (const char* name : {"data_en.json", "data_cn.json"})
            writeFile(catalogue(name), before);
        writeFile(dir() + "/game/images/steam_100.jpg", ""); // what an earlier scan left
        writeFile(dir() + "/game/images/my_art.jpg", "still being drawn");
        writeFile(dir() + "/game/images/steam_300.jpg", pictureBytes("jpg", 99));
        // No entry shows it yet: the operator's picture for the game the scan is about to add.
        writeFile(dir() + "/game/images/steam_400.jpg", pictureBytes("jpg", 98));

        const ToolRun run = scan();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("picture steam_100.jpg was empty"), qPrintable(run.output));
        QCOMPARE(readFile(dir() + "/game/images/steam_100.jpg"), pictureBytes("jpg", 100));
        QCOMPARE(readFile(dir() + "/game/images/my_art.jpg"), QByteArray("still being drawn"));
        QCOMPARE(readFile(dir() + "/game/images/steam_300.jpg"), pictureBytes("jpg", 99));
        const LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        QCOMPARE(english.game("steam_300_2")->steamGameId(), 300);
        QCOMPARE(english.game("steam_300_2")->imgPath(), QString("../game/images/steam_300_2.jpg"));
        QCOMPARE(readFile(dir() + "/game/images/steam_300_2.jpg"), pictureBytes("jpg", 300));
        QVERIFY(run.output.contains("picture already in " + dir() + "/game/images/steam_400.jpg, kept"));
        QCOMPARE(english.game("steam_400")->imgPath(), QString("../game/images/steam_400.jpg"));
        QCOMPARE(readFile(dir() + "/game/images/steam_400.jpg"), pictureBytes("jpg", 98));
        verifyInStep();

        const ToolRun check = runCatalogueTool({"check", "--working-dir", dir(), catalogue("data_en.json")});
        QVERIFY2(check.output.contains("picture \"../game/images/my_art.jpg\" is not a picture"),
                 qPrintable(check.output));
    }

    void gameIdsThatAreNoFileNameGetPicturesUnderSafeNames()
    {
        // Ids of a damaged or hand-edited catalogue: NUL and bytes that are not UTF-8, separators,
        // "..", a Windows device name; and one in another script, which is a fine file name.
        const QList<QPair<QByteArray, QString>> ids = {
            {"beat\xff\xd5\x8d\\u0000\\u0010a\\u0000saber", QString::fromUtf8("beat_\xd5\x8d__a_saber")},
            {"../../escape", "_.._escape"},
            {"a\\\\b", "a_b"},
            {"..", "game_"},
            {"nul", "game_nul"},
            {"\xe6\x98\x9f\xe6\xb5\xb7", QString::fromUtf8("\xe6\x98\x9f\xe6\xb5\xb7")}};
        QByteArray before = "[";
        for (int i = 0; i < ids.size(); ++i) {
            const int app = 100 * (i + 1);
            m_steam.addApp(app, QString("Game %1").arg(app));
            writeFile(QString("%1%2_header.jpg").arg(m_steam.cache()).arg(app), pictureBytes("jpg", app));
            before += QString("%1{\"gameId\": \"").arg(i ? "," : "").toUtf8() + ids[i].first
                      + QString("\", \"gameName\": \"G\", \"steamGameId\": %1}").arg(app).toUtf8();
        }
        m_steam.listAsVr({100, 200, 300, 400, 500, 600});
        for (const char* name : {"data_en.json", "data_cn.json"})
            writeFile(catalogue(name), before + "]");

        const ToolRun run = scan();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        const QStringList written = QDir(dir() + "/game/images").entryList(QDir::Files);
        for (const char* name : {"data_en.json", "data_cn.json"}) {
            const LoadedCatalogue loaded = loadCatalogue(catalogue(name));
            QVERIFY2(loaded.errors.isEmpty(), qPrintable(loaded.errors.join('\n')));
            QCOMPARE(loaded.ids.size(), ids.size());
            for (int i = 0; i < ids.size(); ++i) {
                const QString file = ids[i].second + ".jpg";
                QCOMPARE(loaded.game(loaded.ids[i])->imgPath(), "../game/images/" + file);
                QVERIFY2(written.contains(file), qPrintable(file + " not in " + written.join(", ")));
                QCOMPARE(readFile(dir() + "/game/images/" + file), pictureBytes("jpg", 100 * (i + 1)));
            }
        }
        QCOMPARE(written.size(), ids.size());
        QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(dir()).entryList(QDir::Files), QStringList());
        QVERIFY2(run.output.contains("picture named a_b, as the gameId is no safe file name"), qPrintable(run.output));
    }

    void twoScansAtOnceKeepBothScansGames()
    {
        SteamFolder other{m_tmp->filePath("Other Steam")};
        QVERIFY(QDir().mkpath(other.root + "/steamapps"));
        m_steam.addApp(100, "First");
        m_steam.listAsVr({100});
        other.addApp(200, "Second");
        other.listAsVr({200});
        for (int round = 0; round < 5; ++round) {
            QDir(dir() + "/game").removeRecursively();
            QProcess first;
            QProcess second;
            first.start(tool(), {"scan", "--steam-root", m_steam.root, "--catalogue-dir", dir()});
            second.start(tool(), {"scan", "--steam-root", other.root, "--catalogue-dir", dir()});
            QVERIFY(first.waitForFinished(30000) && second.waitForFinished(30000));
            QCOMPARE(first.exitCode() + second.exitCode(), 0);
            QStringList ids = loadCatalogue(catalogue("data_cn.json")).ids;
            ids.sort();
            QCOMPARE(ids, QStringList({"steam_100", "steam_200"}));
            verifyInStep();
        }
    }

    void aBusyLockIsWaitedForAndADeadOneTakenOver()
    {
        m_steam.addApp(100, "Game");
        m_steam.listAsVr({100});
        QLockFile held(dir() + "/.nerq-catalogue.lock");
        QVERIFY(held.tryLock());
        ToolRun run = scan({"--wait", "1"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains(QString("(process %1 on ").arg(QCoreApplication::applicationPid()))
                     && run.output.contains("gave up after 1 s"),
                 qPrintable(run.output));
        QVERIFY(!QFile::exists(catalogue("data_en.json")));
        held.unlock();

        // A scan killed while it held the lock: its process is gone, so the lock is taken over.
        QProcess dead;
        dead.start("true", QStringList());
        const qint64 pid = dead.processId();
        QVERIFY(dead.waitForFinished());
        writeFile(dir() + "/.nerq-catalogue.lock",
                  QString("%1\nnerq-catalogue\n%2\n").arg(pid).arg(QSysInfo::machineHostName()).toUtf8());
        run = scan({"--wait", "1"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(!QFile::exists(dir() + "/.nerq-catalogue.lock"));
    }

    void theMissingLanguageIsMadeFromTheOther()
    {
        m_steam.addApp(100, "Listed In English");
        m_steam.addApp(200, "New");
        m_steam.listAsVr({100, 200});
        writeFile(catalogue("data_en.json"), QByteArray("[") + kNativeEntry + R"(,
            {"gameId": "ours", "gameName": "Ours", "steamGameId": 100, "gameMode": 5}])");
        QVERIFY(::chmod(QFile::encodeName(catalogue("data_en.json")).constData(), 0600) == 0);

        ToolRun run = scan();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("data_cn.json: written (made from data_en.json; 1 added"), qPrintable(run.output));
        verifyInStep();
        const LoadedCatalogue chinese = loadCatalogue(catalogue("data_cn.json"));
        QCOMPARE(chinese.ids, QStringList({"starfall", "ours", "steam_200"}));
        QCOMPARE(chinese.game("starfall")->gameName(), QString("Starfall"));
        QCOMPARE(chinese.game("ours")->gameMode(), 5);
        // The private catalogue stays private, its backup and its new sibling too.
        for (const char* name : {"data_en.json", "data_en.json.bak", "data_cn.json"})
            QCOMPARE(ownerOf(catalogue(name)).mode, mode_t(0600));

        // A game one language lists and the other does not joins the other with its id and mode.
        writeFile(catalogue("data_cn.json"), QByteArray("[") + kNativeEntry + "]");
        run = scan();
        QVERIFY2(run.output.contains("listed in data_en.json, added to data_cn.json"), qPrintable(run.output));
        QCOMPARE(loadCatalogue(catalogue("data_cn.json")).game("ours")->gameMode(), 5);
    }

    void aRootRunLeavesTheUsersFilesTheUsers()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to hand files to another user");
        m_steam.addApp(100, "Game");
        m_steam.listAsVr({100});
        writeFile(m_steam.cache() + "100_header.jpg", pictureBytes("jpg", 1));
        writeFile(catalogue("data_en.json"), "[]");
        QVERIFY(QProcess::execute("chown", {"-R", "65534:65534", dir()}) == 0);

        const ToolRun run = scan();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        for (const QString& path : {catalogue("data_en.json"), catalogue("data_en.json.bak"), catalogue("data_cn.json"),
                                    dir() + "/game/images", dir() + "/game/images/steam_100.jpg"})
            QVERIFY2(ownerOf(path).uid == 65534 && ownerOf(path).gid == 65534, qPrintable(path));
    }

    void aFailedWriteChangesNothing()
    {
        m_steam.addApp(100, "Game");
        m_steam.listAsVr({100});
        writeFile(m_steam.cache() + "100_header.jpg", pictureBytes("jpg", 1));
        const QByteArray english = "[]";
        const QByteArray backup = R"([{"gameId": "old"}])";
        writeFile(catalogue("data_en.json"), english);
        writeFile(catalogue("data_en.json.bak"), backup);
        writeFile(catalogue("data_cn.json"), english);
        // The Chinese file cannot be put in place after the English one was.
        writeFile(catalogue("data_cn.json.bak/in the way"), "");

        ToolRun run = scan();
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains("Is a directory") && run.output.contains("was put back as it was"),
                 qPrintable(run.output));
        QCOMPARE(readFile(catalogue("data_en.json")), english);
        QCOMPARE(readFile(catalogue("data_cn.json")), english);
        QVERIFY(QDir(dir() + "/game").entryList({"*.nerq-part"}, QDir::Hidden | QDir::Files).isEmpty());
    }

    void aFullDiskLeavesTheCatalogueAndItsBackupAlone()
    {
        // A small file system of its own, in a mount namespace, filled up before the scan.
        if (QProcess::execute("unshare", {"-rm", "true"}) != 0)
            QSKIP("no mount namespaces here");
        m_steam.addApp(100, "Game");
        m_steam.listAsVr({100});
        writeFile(m_steam.cache() + "100_header.jpg", pictureBytes("jpg", 1));
        writeFile(catalogue("data_en.json"), "[]");
        writeFile(catalogue("data_en.json.bak"), R"([{"gameId": "old"}])");
        writeFile(catalogue("data_cn.json"), "[]");
        const QString script = R"(mnt=$1; stage=$2; shift 2
            mount -t tmpfs -o size=64k tmpfs "$mnt" && cp -a "$stage/." "$mnt/" || exit 99
            dd if=/dev/zero of="$mnt/filler" bs=4k 2>/dev/null
            "$@" --catalogue-dir "$mnt"; echo "exit status $?"
            for f in data_en.json data_en.json.bak data_cn.json; do
                cmp -s "$stage/game/$f" "$mnt/game/$f" && echo "$f unchanged"; done
            ls -A "$mnt/game")";
        QProcess shell;
        shell.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(QDir().mkpath(m_tmp->filePath("mnt")));
        shell.start("unshare", {"-rm", "sh", "-c", script, "sh", m_tmp->filePath("mnt"), dir(), tool(), "scan",
                                "--steam-root", m_steam.root});
        QVERIFY(shell.waitForFinished(30000));
        const QString output = shell.readAll();
        for (const char* expected : {"No space left on device", "exit status 1", "data_en.json unchanged",
                                     "data_en.json.bak unchanged", "data_cn.json unchanged"})
            QVERIFY2(output.contains(expected), qPrintable(expected + ("\n" + output)));
        QVERIFY2(!output.contains("nerq-part") && !output.contains("Unknown error"), qPrintable(output));
    }

    void pruneRemovesOnlyWhatIsReallyGone()
    {
        m_steam.addApp(100, "Updating", "1026");
        QVERIFY(QDir().mkpath(m_steam.root + "/steamapps/appmanifest_300.acf"));
        m_steam.listAsVr({100, 300});
        const QByteArray listed = R"([
            {"gameId": "updating", "gameName": "Our Name", "steamGameId": 100, "gameMode": 4},
            {"gameId": "gone", "steamGameId": 200},
            {"gameId": "odd", "steamGameId": 300}])";
        for (const char* name : {"data_en.json", "data_cn.json"})
            writeFile(catalogue(name), listed);

        ToolRun run = scan({"--prune"});
        QVERIFY2(run.output.contains("appmanifest_300.acf: a folder, not a file; its game counts as installed")
                     && run.output.contains("not pruning"),
                 qPrintable(run.output));
        QCOMPARE(readFile(catalogue("data_en.json")), listed);

        QVERIFY(QDir(m_steam.root + "/steamapps/appmanifest_300.acf").removeRecursively());
        m_steam.addApp(300, "Odd");
        run = scan({"--prune"});
        QVERIFY2(run.output.contains("100      Updating: not fully installed (StateFlags 1026); listed, kept"),
                 qPrintable(run.output));
        const LoadedCatalogue english = loadCatalogue(catalogue("data_en.json"));
        QCOMPARE(english.ids, QStringList({"updating", "odd"}));
        QCOMPARE(english.game("updating")->gameName(), QString("Our Name"));
        QCOMPARE(english.game("updating")->gameMode(), 4);
        verifyInStep();
    }

    void nothingIsWrittenOutsideTheCatalogueFolder()
    {
        m_steam.addApp(100, "Game");
        m_steam.listAsVr({100});
        const QString elsewhere = m_tmp->filePath("started here");
        QVERIFY(QDir().mkpath(elsewhere));
        for (const QStringList& arguments :
             {QStringList{"scan", "--steam-root", m_steam.root, "--catalogue-dir", dir()},
              QStringList{"check", catalogue("data_en.json")}, QStringList{"--help"}})
            QCOMPARE(runCatalogueTool(arguments, QProcessEnvironment::systemEnvironment(), elsewhere).exitCode, 0);
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCatalogueSafety)
#include "tst_cataloguesafety.moc"
