// The catalogue loader against real files: every conversion rule, its messages, and reloads.

#include "cataloguefixture.h"
#include "gameitem.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestGameDetector : public QObject, private CatalogueFixture
{
    Q_OBJECT

private:
    void writeCatalogue(const QByteArray& content)
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // Loads the content once; returns the error messages it produced.
    QStringList load(const QByteArray& content)
    {
        writeCatalogue(content);
        return pass();
    }

    GameItem* row(int i) const
    {
        return m_model->findGame(m_model->data(m_model->index(i), GameModel::GameIdRole).toString());
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        startLoader();
    }

    void cleanup()
    {
        stopLoader();
        QFile::remove(path());
    }

    void fullEntryIsConvertedField_by_field()
    {
        const QStringList errors = load(R"([{"gameId": "g1", "gameName": "Starfall", "imgPath": "../game/images/a.png",
            "isNative": true, "launcherPath": "./game/native/a.sh", "steamGameId": 570, "gameMode": 7,
            "unknownKey": [1, 2]}])");
        QVERIFY(errors.isEmpty());
        QCOMPARE(m_model->rowCount(), 1);
        GameItem* item = m_model->findGame("g1");
        QVERIFY(item);
        QCOMPARE(item->gameName(), QString("Starfall"));
        QCOMPARE(item->imgPath(), QString("../game/images/a.png"));
        QCOMPARE(item->isNative(), true);
        QCOMPARE(item->launcherPath(), QString("./game/native/a.sh"));
        QCOMPARE(item->steamGameId(), 570);
        QCOMPARE(item->gameMode(), 7);
    }

    void lenientConversionsAndDefaults()
    {
        // Numbers become text, missing keys take their defaults, fractions are cut toward zero,
        // booleans count as integers and non-zero numbers as true.
        const QStringList errors = load(R"([
            {"gameId": 42},
            {"gameId": "b", "isNative": 2, "steamGameId": -5.9, "gameMode": true},
            {"gameId": true, "gameName": 3.5},
            {"gameId": "utf", "gameName": "\u6807\u5b9a \u00e9"}])");
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(m_model->rowCount(), 4);

        GameItem* numeric = m_model->findGame("42");
        QVERIFY(numeric);
        QCOMPARE(numeric->gameName(), QString());
        QCOMPARE(numeric->isNative(), false);
        QCOMPARE(numeric->steamGameId(), 0);
        QCOMPARE(numeric->gameMode(), 0);

        GameItem* b = m_model->findGame("b");
        QCOMPARE(b->isNative(), true);
        QCOMPARE(b->steamGameId(), -5);
        QCOMPARE(b->gameMode(), 1);

        QCOMPARE(m_model->findGame("true")->gameName(), QString("3.5"));
        QCOMPARE(m_model->findGame("utf")->gameName(), QString::fromUtf8("标定 é"));
    }

    void badValuesSkipTheEntryWithTheLibraryText_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("message");
        QTest::newRow("steam id as string")
            << QByteArray(R"({"gameId": "x", "steamGameId": "570"})") << "Value is not convertible to Int.";
        QTest::newRow("native as string")
            << QByteArray(R"({"gameId": "x", "isNative": "true"})") << "Value is not convertible to bool.";
        QTest::newRow("name as array") << QByteArray(R"({"gameId": "x", "gameName": [1]})")
                                       << "Type is not convertible to string";
        QTest::newRow("id as object") << QByteArray(R"({"gameId": {}})") << "Type is not convertible to string";
        QTest::newRow("mode too large") << QByteArray(R"({"gameId": "x", "gameMode": 3000000000})")
                                        << "LargestUInt out of Int range";
        QTest::newRow("mode too small") << QByteArray(R"({"gameId": "x", "gameMode": -3000000000})")
                                        << "LargestInt out of Int range";
        QTest::newRow("mode huge double")
            << QByteArray(R"({"gameId": "x", "gameMode": 1e20})") << "double out of Int range";
        QTest::newRow("entry is a number")
            << QByteArray("17") << "in Json::Value::resolveReference(key, end): requires objectValue";
        QTest::newRow("entry is an array")
            << QByteArray("[]") << "in Json::Value::resolveReference(key, end): requires objectValue";
    }

    void badValuesSkipTheEntryWithTheLibraryText()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, message);
        const QStringList errors = load("[{\"gameId\": \"before\"}, " + entry + ", {\"gameId\": \"after\"}]");
        QCOMPARE(errors, QStringList{"Parse json file failed, error is " + message});
        QCOMPARE(m_model->rowCount(), 2);
        QVERIFY(m_model->findGame("before"));
        QVERIFY(m_model->findGame("after"));
        QVERIFY(!m_model->findGame("x"));
    }

    void firstBadKeyInReadOrderIsReported()
    {
        const QStringList errors = load(R"([{"gameMode": "m", "isNative": "n", "gameId": "x"}])");
        QCOMPARE(errors, QStringList{"Parse json file failed, error is Value is not convertible to bool."});
    }

    void invalidFilesAreRejectedWhole_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank") << QByteArray(" \r\n\t");
        QTest::newRow("syntax") << QByteArray(R"([{"gameId": "a",}])");
        QTest::newRow("line comment") << QByteArray("// games\n[{\"gameId\": \"a\"}]");
        QTest::newRow("block comment") << QByteArray("[/* x */{\"gameId\": \"a\"}]");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[{\"gameId\": \"a\"}]");
        QTest::newRow("number root") << QByteArray("5");
        QTest::newRow("string root") << QByteArray("\"games\"");
        QTest::newRow("null root") << QByteArray("null");
        QTest::newRow("truncated") << QByteArray(R"([{"gameId": "a"})");
        // Deeper than the reader's limit: the reader throws rather than failing; still just a bad file.
        QTest::newRow("nesting past limit") << QByteArray(5000, '[') + QByteArray(5000, ']');
    }

    void invalidFilesAreRejectedWhole()
    {
        QFETCH(QByteArray, content);
        const QStringList errors = load(content);
        QCOMPARE(errors, QStringList{"Parse json file failed, invalid json file!"});
        QCOMPARE(m_model->rowCount(), 0);
    }

    void missingFileIsReportedAtEveryLoad()
    {
        QFile::remove(path());
        m_detector->LoadGameData();
        m_detector->LoadGameData();
        QCOMPARE(m_log->errors(), QStringList({"Parse json file failed, invalid json file!",
                                               "Parse json file failed, invalid json file!"}));
    }

    void emptyArrayIsQuiet()
    {
        QVERIFY(load("[]").isEmpty());
        QCOMPARE(m_model->rowCount(), 0);
    }

    void topLevelObjectGivesOneErrorPerMember()
    {
        const QStringList errors = load(R"({"a": {"gameId": "a"}, "b": 1, "c": null})");
        const QString message =
            "Parse json file failed, error is in Json::Value::operator[](ArrayIndex): requires arrayValue";
        QCOMPARE(errors, QStringList({message, message, message}));
        QCOMPARE(m_model->rowCount(), 0);
    }

    void duplicatesKeepTheFirstEntry()
    {
        QVERIFY(load(R"([{"gameId": "d", "gameName": "first"}, {"gameId": "D", "gameName": "other case"},
                        {"gameId": "d", "gameName": "second"}])")
                    .isEmpty());
        QCOMPARE(m_model->rowCount(), 2);
        QCOMPARE(m_model->findGame("d")->gameName(), QString("first"));
        QCOMPARE(m_model->findGame("D")->gameName(), QString("other case"));
    }

    void nullEntriesCountAsEmptyObjects()
    {
        QVERIFY(load("[null, null]").isEmpty());
        QCOMPARE(m_model->rowCount(), 1);
        GameItem* item = m_model->findGame(QString());
        QVERIFY(item);
        QCOMPARE(item->gameName(), QString());
        QCOMPARE(item->isNative(), false);
        QCOMPARE(item->steamGameId(), 0);
        QCOMPARE(item->gameMode(), 0);

        QVERIFY(load("[null]").isEmpty()); // a later pass refuses it too
        QCOMPARE(m_model->rowCount(), 1);
    }

    void reloadOnlyAppendsNewGames()
    {
        load(R"([{"gameId": "a", "gameName": "Alpha"}, {"gameId": "b", "gameName": "Beta"}])");
        QSignalSpy inserted(m_model.get(), &GameModel::rowsInserted);

        // "a" renamed, "b" removed, "c" added: only the addition shows, at the end.
        QVERIFY(load(R"([{"gameId": "c", "gameName": "Gamma"}, {"gameId": "a", "gameName": "Renamed"}])").isEmpty());
        QCOMPARE(m_model->rowCount(), 3);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(row(2)->gameId(), QString("c"));
        QCOMPARE(m_model->findGame("a")->gameName(), QString("Alpha"));
        QVERIFY(m_model->findGame("b"));

        // A reload that brings nothing new changes nothing.
        QVERIFY(load(R"([{"gameId": "c"}])").isEmpty());
        QCOMPARE(inserted.count(), 1);
    }

    void reloadAfterTheFileWasBrokenRecovers()
    {
        QCOMPARE(load("[{").size(), 1);
        QVERIFY(load(R"([{"gameId": "a"}])").isEmpty());
        QCOMPARE(m_model->rowCount(), 1);
    }

    void catalogueNameIsAskedAtEveryLoad()
    {
        QStringList asked;
        const std::string first = m_dir.filePath("first.json").toStdString();
        const std::string second = m_dir.filePath("second.json").toStdString();
        std::string current = first;
        GameDetector detector(m_model, [&] {
            asked << QString::fromStdString(current);
            return current;
        });
        {
            QFile f(QString::fromStdString(second));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"([{"gameId": "from-second"}])");
        }
        detector.LoadGameData();
        current = second;
        detector.LoadGameData();
        QCOMPARE(asked.size(), 2);
        QVERIFY(m_model->findGame("from-second"));
    }
};

QTEST_GUILESS_MAIN(TestGameDetector)
#include "tst_gamedetector.moc"
