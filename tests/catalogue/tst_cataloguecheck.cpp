// nerq-catalogue check against the program's own loader: on every catalogue the fuzz seeds hold,
// check passes exactly when the loader loads every entry without a message, it names each
// message the loader logs and counts the games the loader takes in. Then the warnings about
// files that are not there.

#include "catalogueprobe.h"
#include "cataloguereader.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <json/value.h>

class TestCatalogueCheck : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithTheProgramsLoader_data()
    {
        QTest::addColumn<QString>("file");
        const QDir seeds(TestPaths::sourceDir() + "/fuzz/corpus/catalogue");
        for (const QString& name : seeds.entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << seeds.filePath(name);
        QVERIFY(seeds.entryList(QDir::Files).size() > 20);
    }

    void agreesWithTheProgramsLoader()
    {
        QFETCH(QString, file);
        const LoadedCatalogue loaded = loadCatalogue(file);
        Json::Value root;
        const bool parsed = CatalogueReader().parse(CatalogueReader::readFile(file.toStdString()), root);
        const bool loadsWhole = loaded.errors.isEmpty() && parsed && root.isArray()
                                && static_cast<int>(root.size()) == loaded.model->rowCount();

        const ToolRun run = runCatalogueTool({"check", file, "--working-dir", TestPaths::runtimeDir()});
        QVERIFY2(run.exitCode == (loadsWhole ? 0 : 1), qPrintable(run.output));
        for (const QString& error : loaded.errors)
            QVERIFY2(run.output.contains("(log: \"" + error), qPrintable(error + '\n' + run.output));
        // As many games as the loader's model takes in: ids that differ only in case are two games.
        const QString games =
            parsed && root.isArray() ? QString(", %1 loaded, ").arg(loaded.model->rowCount()) : QString(": refused: ");
        QVERIFY2(run.output.contains(games), qPrintable(games + '\n' + run.output));
    }

    void reportsTheEntryTheKeyAndMissingOrEmptyFiles()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("res");
        QDir(dir.path()).mkpath("game/images");
        QFile(dir.filePath("game/images/here.png")).open(QIODevice::WriteOnly);
        QFile catalogue(dir.filePath("game/data_en.json"));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write(R"([
            {"gameId": "ok", "imgPath": "../game/images/here.png", "isNative": true, "launcherPath": "game/data_en.json"},
            {"gameId": "gone", "imgPath": "../game/images/gone.png", "isNative": true, "launcherPath": "./run.sh"},
            {"gameId": "web", "imgPath": "qrc:/images/a.png", "steamGameId": 570}])");
        catalogue.close();

        ToolRun run = runCatalogueTool({"check", catalogue.fileName(), "--working-dir", dir.path()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output)); // missing files are warnings: every entry loads
        QVERIFY2(
            run.output.contains("entry 1 (gameId \"gone\"): picture \"../game/images/gone.png\" not found (looked for "
                                + dir.filePath("game/images/gone.png") + ")"),
            qPrintable(run.output));
        QVERIFY(run.output.contains("entry 1 (gameId \"gone\"): launcher \"./run.sh\" not found"));
        // A file that is there but empty shows no picture either.
        QVERIFY(run.output.contains("entry 0 (gameId \"ok\"): picture \"../game/images/here.png\" is empty"));
        QVERIFY(run.output.contains("3 entries, 3 loaded, 0 skipped or dropped, 3 warnings"));

        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write(R"([{"gameId": "a"}, {"gameName": "B", "gameId": "b", "gameMode": "2"}])");
        catalogue.close();
        run = runCatalogueTool({"check", catalogue.fileName(), "--working-dir", dir.path()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains("entry 1 (gameId \"b\"): \"gameMode\" is the text \"2\", but must be a whole "
                                     "number"),
                 qPrintable(run.output));
        QVERIFY(run.output.contains("the program skips this entry"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueCheck)
#include "tst_cataloguecheck.moc"
