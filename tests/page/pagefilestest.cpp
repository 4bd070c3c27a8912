// The files the page and the grid ship with: the two page files, the catalogues, the pictures
// and the demo launchers, as they sit beside the executable.
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class PageFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void pageFileForm_data();
    void pageFileForm();
    void languagesDifferOnlyInTexts();
    void artworkSizes_data();
    void artworkSizes();
    void catalogueEntries_data();
    void catalogueEntries();
    void cataloguesListTheSameGames();
    void demoLauncherRecordsItsStart();

private:
    static QByteArray read(const QString& relative);
    static QJsonArray catalogue(const QString& language);
};

QByteArray PageFilesTest::read(const QString& relative)
{
    QFile f(QDir(TestPaths::runtimeDir()).filePath(relative));
    if (!f.open(QIODevice::ReadOnly))
        qWarning("cannot read %s", qPrintable(f.fileName()));
    return f.readAll();
}

QJsonArray PageFilesTest::catalogue(const QString& language)
{
    return QJsonDocument::fromJson(read(QStringLiteral("game/data_%1.json").arg(language))).array();
}

void PageFilesTest::pageFileForm_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("en") << "res/main_widget_en.qml";
    QTest::newRow("cn") << "res/main_widget_cn.qml";
}

void PageFilesTest::pageFileForm()
{
    QFETCH(QString, file);
    const QByteArray text = read(file);
    QVERIFY(!text.isEmpty());
    QVERIFY(!text.startsWith("\xEF\xBB\xBF"));
    QVERIFY(text.startsWith("import QtQuick 2.5\r\nimport QtQuick.Controls 1.4\r\n"));
    // CRLF throughout: every line feed follows a carriage return, and no lone carriage returns.
    QCOMPARE(text.count('\n'), text.count("\r\n"));
    QCOMPARE(text.count('\r'), text.count("\r\n"));
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY(QString::fromUtf8(text).toUtf8() == text); // valid UTF-8
}

void PageFilesTest::languagesDifferOnlyInTexts()
{
    const QString en = QString::fromUtf8(read("res/main_widget_en.qml"));
    const QString cn = QString::fromUtf8(read("res/main_widget_cn.qml"));
    const QList<QPair<QString, QString>> texts = {
        {"\"Microsoft Yahei\"", "\"微软雅黑\""},
        {"\"Installed Game Library\"", "\"已安装\""},
        {"\"Native Game\"", "\"原生游戏\""},
        {"\"Calibration\"", "\"标定\""},
        {"\"For calibration, please looking staright ahead, then press the button.\"",
         "\"重新标定时，请目视前方，并按下此按键。\""},
        {"\"Calibration succeed!\"", "\"标定成功！\""},
    };
    QString translated = en;
    for (const auto& t : texts) {
        QVERIFY2(en.contains(t.first), qPrintable(t.first));
        QVERIFY2(cn.contains(t.second), qPrintable(t.second));
        QVERIFY2(!cn.contains(t.first), qPrintable(t.first));
        translated.replace(t.first, t.second);
    }
    // Every text uses the one family: four in the page, one in the tile's badge and name.
    QCOMPARE(en.count("\"Microsoft Yahei\""), 6);
    QCOMPARE(translated, cn);
}

void PageFilesTest::artworkSizes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::newRow("background") << "res/res/background.png" << QSize(1920, 1080);
    QTest::newRow("logo") << "res/res/nerq_io.png" << QSize(233, 48);
    QTest::newRow("button") << "res/res/button_img.png" << QSize(287, 65);
    QTest::newRow("hover layer") << "res/res/start_img.png" << QSize(400, 188);
    QTest::newRow("panel") << "res/res/message_background.png" << QSize(818, 309);
    QTest::newRow("eye") << "res/res/eye.png" << QSize(96, 64);
    QTest::newRow("thumbnail") << "res/thumbicon.png" << QSize(256, 256);
}

void PageFilesTest::artworkSizes()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QImageReader reader(QDir(TestPaths::runtimeDir()).filePath(file));
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), size);
    QVERIFY(!reader.read().isNull());
}

void PageFilesTest::catalogueEntries_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("en") << "en";
    QTest::newRow("cn") << "cn";
}

void PageFilesTest::catalogueEntries()
{
    QFETCH(QString, language);
    const QByteArray raw = read(QStringLiteral("game/data_%1.json").arg(language));
    QVERIFY(!raw.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!raw.contains("//") || raw.contains("://"));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(raw, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QVERIFY(doc.isArray());
    const QJsonArray games = doc.array();
    QVERIFY(games.size() >= 10);

    const QStringList keys = {"gameId", "gameName", "imgPath", "isNative", "launcherPath", "steamGameId", "gameMode"};
    QSet<QString> ids;
    int native = 0, longest = 0;
    const QDir pageDir(QDir(TestPaths::runtimeDir()).filePath("res"));
    for (const QJsonValue& value : games) {
        const QJsonObject game = value.toObject();
        const QString id = game.value("gameId").toString();
        const QStringList present = game.keys();
        QVERIFY2(QSet<QString>(present.begin(), present.end()) == QSet<QString>(keys.begin(), keys.end()),
                 qPrintable(id));
        QVERIFY(game.value("gameId").isString() && !id.isEmpty());
        QVERIFY2(!ids.contains(id), qPrintable(id));
        ids.insert(id);
        QVERIFY(game.value("gameName").isString() && !game.value("gameName").toString().isEmpty());
        QVERIFY(game.value("imgPath").isString());
        QVERIFY(game.value("isNative").isBool());
        QVERIFY(game.value("launcherPath").isString());
        QVERIFY(game.value("steamGameId").isDouble() && game.value("gameMode").isDouble());
        const double mode = game.value("gameMode").toDouble();
        QVERIFY(mode == int(mode) && mode >= -999 && mode <= 9999);
        longest = qMax(longest, game.value("gameName").toString().size());

        // The picture resolves from the page's own directory, as the engine resolves it.
        QImageReader picture(pageDir.filePath(game.value("imgPath").toString()));
        QVERIFY2(picture.size() == QSize(400, 188), qPrintable(picture.fileName()));

        if (game.value("isNative").toBool()) {
            ++native;
            QCOMPARE(game.value("steamGameId").toInt(), 0);
            // Launcher paths are relative to the working directory, the runtime directory.
            const QFileInfo launcher(QDir(TestPaths::runtimeDir()).filePath(game.value("launcherPath").toString()));
            QVERIFY2(launcher.isFile() && launcher.isExecutable(), qPrintable(launcher.filePath()));
        } else {
            const double steamId = game.value("steamGameId").toDouble();
            QVERIFY(steamId == int(steamId) && steamId > 0 && steamId <= 2147483647.0);
            QCOMPARE(game.value("launcherPath").toString(), QString());
        }
    }
    QVERIFY(native > 0 && native < games.size());
    QVERIFY(longest > 20); // one name far wider than its tile
}

void PageFilesTest::cataloguesListTheSameGames()
{
    const QJsonArray en = catalogue("en");
    const QJsonArray cn = catalogue("cn");
    QCOMPARE(en.size(), cn.size());
    for (int i = 0; i < en.size(); ++i) {
        QJsonObject a = en.at(i).toObject();
        QJsonObject b = cn.at(i).toObject();
        QVERIFY(a.value("gameName") != b.value("gameName"));
        const QString name = b.value("gameName").toString();
        QVERIFY2(std::any_of(name.begin(), name.end(),
                             [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; }),
                 qPrintable(name));
        a.remove("gameName");
        b.remove("gameName");
        QCOMPARE(a, b);
    }
}

void PageFilesTest::demoLauncherRecordsItsStart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("launch.log");
    for (const QJsonValue& value : catalogue("en")) {
        const QJsonObject game = value.toObject();
        if (!game.value("isNative").toBool())
            continue;
        QProcess p;
        p.setWorkingDirectory(TestPaths::runtimeDir());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NERQ_DEMO_LOG", log);
        p.setProcessEnvironment(env);
        p.start(game.value("launcherPath").toString(), QStringList());
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QVERIFY(lines.last().contains(game.value("gameId").toString().toUtf8() + " started"));
    }
}

QTEST_GUILESS_MAIN(PageFilesTest)
#include "pagefilestest.moc"
