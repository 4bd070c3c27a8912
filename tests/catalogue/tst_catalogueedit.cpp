// nerq-catalogue list, add, set, remove and move through the real executable on catalogue
// folders built here; what they write is read back with the program's own loader, and both
// languages must list the same games alike after every change.

#include "catalogueprobe.h"
#include "gameitem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray entry(const char* id, const char* name, const char* picture, int steamId, int mode)
{
    return QString(R"({"gameId": "%1", "gameName": "%2", "imgPath": "%3", "isNative": %4,
                       "launcherPath": "%5", "steamGameId": %6, "gameMode": %7})")
        .arg(id, QString::fromUtf8(name), picture, steamId ? "false" : "true",
             steamId ? "" : "./game/native/starfall.sh")
        .arg(steamId)
        .arg(mode)
        .toUtf8();
}

} // namespace

// A change that must succeed; the test stops at its first failure.
#define CHANGE(english, ...)                                                                                           \
    english = change(__VA_ARGS__);                                                                                     \
    if (QTest::currentTestFailed())                                                                                    \
        return;

class TestCatalogueEdit : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_run;

    QString file(const QString& relative) const { return m_run->filePath(relative); }
    QString en() const { return file("game/data_en.json"); }
    QString cn() const { return file("game/data_cn.json"); }

    ToolRun tool(const QString& command, const QStringList& arguments = {}) const
    {
        return runCatalogueTool(QStringList{command, "--catalogue-dir", m_run->path()} + arguments);
    }

    // Both languages list the same games in the same order with the same modes and Steam ids.
    static void verifyInStep(const LoadedCatalogue& english, const LoadedCatalogue& chinese)
    {
        QVERIFY2(english.errors.isEmpty() && chinese.errors.isEmpty(), qPrintable(english.errors.join('\n')));
        QCOMPARE(chinese.ids, english.ids);
        for (const QString& id : english.ids) {
            QCOMPARE(chinese.game(id)->gameMode(), english.game(id)->gameMode());
            QCOMPARE(chinese.game(id)->steamGameId(), english.game(id)->steamGameId());
            QCOMPARE(chinese.game(id)->isNative(), english.game(id)->isNative());
        }
    }

    // Runs a change that must succeed and returns the English catalogue it wrote, both checked.
    LoadedCatalogue change(const QString& command, const QStringList& arguments, const char* says)
    {
        const QByteArray before = readFile(en());
        const ToolRun run = tool(command, arguments);
        [&] {
            QVERIFY2(run.exitCode == 0, qPrintable(run.output));
            QVERIFY2(run.output.contains(says), qPrintable(run.output));
            QCOMPARE(readFile(en() + ".bak"), before);
        }();
        const LoadedCatalogue english = loadCatalogue(en());
        verifyInStep(english, loadCatalogue(cn()));
        return english;
    }

private slots:
    void init()
    {
        m_run = std::make_unique<QTemporaryDir>();
        QVERIFY(m_run->isValid());
        const QByteArray games[] = {entry("starfall", "Starfall", "../game/images/starfall.png", 0, 1),
                                    entry("reef", "Deep Reef", "../game/images/shared.jpg", 893420, 2),
                                    entry("canyon", "Canyon", "../game/images/shared.jpg", 0, 3)};
        writeFile(en(), "[" + games[0] + ",\n" + games[1] + ",\n" + games[2] + "]\n");
        writeFile(cn(), QString::fromUtf8("[" + games[0] + ",\n" + games[1] + ",\n" + games[2] + "]\n")
                            .replace("Starfall\"", QString::fromUtf8("星落\""))
                            .toUtf8());
        writeFile(file("game/images/starfall.png"), pictureBytes("png", 1));
        writeFile(file("game/images/shared.jpg"), pictureBytes("jpg", 2));
        writeFile(file("game/native/starfall.sh"), "#!/bin/sh\n");
        writeFile(file("game/native/orbit.sh"), "#!/bin/sh\n");
        writeFile(file("picture.png"), pictureBytes("png", 3));
        writeFile(file("notapicture.png"), "<html>not found</html>");
        QVERIFY(QFile::setPermissions(en(), QFile::ReadOwner | QFile::WriteOwner));
    }

    void addsNativeAndSteamGamesToBothCatalogues()
    {
        LoadedCatalogue english;
        CHANGE(english, "add",
               {"--launcher", file("game/native/orbit.sh"), "--name", "Orbit: Zero-G!", "--name-cn",
                QString::fromUtf8("轨道"), "--mode", "-5", "--image", file("picture.png"), "--position", "2"},
               "added \"orbit_zero_g\" at position 2 to data_en.json and data_cn.json; the running program "
               "shows it at its next reload (within 30 s), at the end; at position 2 from its next start");
        QCOMPARE(english.ids, (QStringList{"starfall", "orbit_zero_g", "reef", "canyon"}));
        const GameItem* orbit = english.game("orbit_zero_g");
        QCOMPARE(orbit->launcherPath(), QString("./game/native/orbit.sh"));
        QCOMPARE(orbit->gameMode(), -5);
        QCOMPARE(orbit->imgPath(), QString("../game/images/orbit_zero_g.png"));
        QCOMPARE(readFile(file("game/images/orbit_zero_g.png")), readFile(file("picture.png")));
        QCOMPARE(loadCatalogue(cn()).game("orbit_zero_g")->gameName(), QString::fromUtf8("轨道"));
        // A private catalogue stays private.
        QCOMPARE(QFile::permissions(en()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner); // owner, group, others

        // A Chinese name makes no id of its own; a launcher outside the folder is kept whole.
        QTemporaryDir elsewhere;
        writeFile(elsewhere.filePath("run.sh"), "#!/bin/sh\n");
        CHANGE(english, "add", {"--launcher", elsewhere.filePath("run.sh"), "--name", QString::fromUtf8("星落")},
               "added \"game\" at position 5");
        QCOMPARE(english.game("game")->launcherPath(), elsewhere.filePath("run.sh"));
        CHANGE(english, "add", {"--steam-id", "620980", "--name", "Beat Saber"},
               "shows it at its next reload (within 30 s)\n");
        QCOMPARE(english.ids.last(), QString("beat_saber"));
        QCOMPARE(english.game("beat_saber")->steamGameId(), 620980);
        QVERIFY(!english.game("beat_saber")->isNative());
        QVERIFY(loadCatalogue(cn()).game("beat_saber")->imgPath().isEmpty());
    }

    void errorsChangeNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        const QString native = "game/native/orbit.sh";
        QTest::newRow("duplicate id") << QStringList{"add", "--launcher", native, "--name", "X", "--id", "reef"} << 1
                                      << "gameId \"reef\" is taken";
        QTest::newRow("missing launcher")
            << QStringList{"add", "--launcher", "game/native/gone.sh", "--name", "X"} << 1 << "gone.sh does not exist";
        QTest::newRow("listed Steam game") << QStringList{"add", "--steam-id", "893420", "--name", "X"} << 1
                                           << "Steam game 893420 is already listed as \"reef\"";
        QTest::newRow("not a picture") << QStringList{"add",     "--steam-id",     "1", "--name", "X",
                                                      "--image", "notapicture.png"}
                                       << 1 << "notapicture.png: not a picture";
        QTest::newRow("position past the end")
            << QStringList{"add", "--steam-id", "1", "--name", "X", "--position", "5"} << 1 << "past the end";
        QTest::newRow("mode out of range") << QStringList{"add", "--steam-id", "1", "--name", "X", "--mode", "10000"}
                                           << 2 << "--mode takes a whole number from -999 to 9999";
        QTest::newRow("set unknown id") << QStringList{"set", "nope", "--mode", "3"} << 1 << "no game \"nope\"";
        QTest::newRow("set missing picture")
            << QStringList{"set", "reef", "--image", "gone.png"} << 1 << "gone.png: missing";
        QTest::newRow("remove unknown id") << QStringList{"remove", "reef", "nope"} << 1 << "no game \"nope\"";
        QTest::newRow("move past the end") << QStringList{"move", "reef", "--to", "4"} << 1 << "past the end";
        QTest::newRow("move to 0") << QStringList{"move", "reef", "--to", "0"} << 2 << "--to takes a whole number";
    }

    void errorsChangeNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        const QByteArray english = readFile(en());
        const QByteArray chinese = readFile(cn());
        const QStringList images = QDir(file("game/images")).entryList(QDir::Files | QDir::Hidden);
        // Relative paths are the operator's, from the working directory.
        const QString command = arguments.takeFirst();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_run->path());
        const ToolRun run = tool(command, arguments);
        QDir::setCurrent(previous);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.output));
        QVERIFY2(run.output.contains(says), qPrintable(run.output));
        QCOMPARE(readFile(en()), english);
        QCOMPARE(readFile(cn()), chinese);
        QCOMPARE(QDir(file("game/images")).entryList(QDir::Files | QDir::Hidden), images);
        QVERIFY(!QFileInfo::exists(en() + ".bak"));
    }

    void setChangesBothLanguagesAndReplacesThePicture()
    {
        LoadedCatalogue english;
        CHANGE(english, "set", {"starfall", "--mode", "7", "--name", "Starfall II", "--image", file("picture.png")},
               "the running program shows the change at its next start");
        QCOMPARE(english.game("starfall")->gameMode(), 7);
        QCOMPARE(english.game("starfall")->gameName(), QString("Starfall II"));
        QCOMPARE(loadCatalogue(cn()).game("starfall")->gameName(), QString::fromUtf8("星落"));
        QCOMPARE(english.game("starfall")->imgPath(), QString("../game/images/starfall_2.png"));
        QVERIFY(!QFileInfo::exists(file("game/images/starfall.png"))); // no game shows it now
        QCOMPARE(readFile(file("game/images/starfall_2.png")), readFile(file("picture.png")));

        CHANGE(english, "set", {"reef", "--launcher", file("game/native/orbit.sh"), "--image", file("picture.png")},
               "isNative false -> true");
        QVERIFY(english.game("reef")->isNative());
        QCOMPARE(english.game("reef")->launcherPath(), QString("./game/native/orbit.sh"));
        QVERIFY(QFileInfo::exists(file("game/images/shared.jpg"))); // canyon still shows it

        const ToolRun same = tool("set", {"reef", "--mode", "2"});
        QVERIFY2(same.exitCode == 0 && same.output.contains("already has those values"), qPrintable(same.output));
    }

    void removeTakesThePictureOnlyWhenNoOtherGameShowsIt()
    {
        LoadedCatalogue english;
        CHANGE(english, "remove", {"reef"}, "removed \"reef\" from data_en.json and data_cn.json");
        QCOMPARE(english.ids, (QStringList{"starfall", "canyon"}));
        QVERIFY(QFileInfo::exists(file("game/images/shared.jpg")));
        CHANGE(english, "remove", {"canyon", "starfall"}, "shows the change at its next start");
        QVERIFY(english.ids.isEmpty());
        QVERIFY(!QFileInfo::exists(file("game/images/shared.jpg")));
        QVERIFY(!QFileInfo::exists(file("game/images/starfall.png")));
    }

    void moveReordersBothCatalogues()
    {
        LoadedCatalogue english;
        CHANGE(english, "move", {"canyon", "--to", "1"}, "moved \"canyon\" to position 1");
        QCOMPARE(english.ids, (QStringList{"canyon", "starfall", "reef"}));
    }

    void anEditWaitsForAnotherWriter()
    {
        const QByteArray before = readFile(en());
        QLockFile writer(file(".nerq-catalogue.lock"));
        QVERIFY(writer.tryLock());
        const ToolRun run = tool("move", {"canyon", "--to", "1", "--wait", "1"});
        QVERIFY2(run.exitCode == 1 && run.output.contains("gave up after 1 s"), qPrintable(run.output));
        QCOMPARE(readFile(en()), before);
        writer.unlock();
        LoadedCatalogue english;
        CHANGE(english, "move", {"canyon", "--to", "1", "--wait", "1"}, "moved");
        QCOMPARE(english.ids.first(), QString("canyon"));
    }

    void aGameListedInOneLanguageIsEditedThere()
    {
        writeFile(cn(), "[" + entry("reef", "Deep Reef", "", 893420, 2) + "]");
        const ToolRun run = tool("set", {"starfall", "--mode", "4"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("\"starfall\" is listed in data_en.json only; changed there"),
                 qPrintable(run.output));
        QCOMPARE(loadCatalogue(en()).game("starfall")->gameMode(), 4);
        QCOMPARE(loadCatalogue(cn()).ids, QStringList{"reef"});
    }

    void listWorksOnAReadOnlyFolder()
    {
        writeFile(file("game/images/shared.jpg"), "broken");
        QFile::remove(file("game/images/starfall.png"));
        // A writer at work holds the lock; a run as root would write a read-only folder anyway.
        QLockFile writer(file(".nerq-catalogue.lock"));
        QVERIFY(writer.tryLock());
        const QFileDevice::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner;
        QVERIFY(QFile::setPermissions(file("game"), readOnly) && QFile::setPermissions(m_run->path(), readOnly));
        const ToolRun run = tool("list");
        const ToolRun json = tool("list", {"--json"});
        QFile::setPermissions(m_run->path(), readOnly | QFile::WriteOwner);
        QFile::setPermissions(file("game"), readOnly | QFile::WriteOwner);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        const QStringList lines = run.output.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[1].contains(QRegularExpression(QString::fromUtf8(
                     "^1 +starfall +Starfall / 星落 +native ./game/native/starfall.sh +1 +missing$"))),
                 qPrintable(run.output));
        QVERIFY2(
            lines[2].contains(QRegularExpression("^2 +reef +Deep Reef / Deep Reef +Steam 893420 +2 +not a picture")),
            qPrintable(run.output));

        QCOMPARE(json.exitCode, 0);
        const QJsonArray games = QJsonDocument::fromJson(json.output.toUtf8()).array();
        QCOMPARE(games.size(), 3);
        const QJsonObject reef = games[1].toObject();
        QCOMPARE(reef["position"].toInt(), 2);
        QCOMPARE(reef["steamGameId"].toInt(), 893420);
        QCOMPARE(reef["native"].toBool(), false);
        QCOMPARE(games[0].toObject()["nameCn"].toString(), QString::fromUtf8("星落"));
        QCOMPARE(games[0].toObject()["picture"].toString(), QString("missing"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueEdit)
#include "tst_catalogueedit.moc"
