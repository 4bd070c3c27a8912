// The list model the grid shows: roles, the trace lines, growth and lookups.

#include "gameitem.h"
#include "gamemodel.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

GameItem* makeItem(const QString& id, const QString& name = QString(), bool native = false)
{
    auto* item = new GameItem();
    item->setGameInfo(id, name, "img/" + id + ".png", native, "./run-" + id, 570, 3);
    return item;
}

// Everything written to standard output while it lives, as lines.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::cout.flush();
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }

    QStringList lines()
    {
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::cout.flush();
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

// Lets the test build indexes the view would never ask for.
class ProbedModel : public GameModel
{
public:
    using GameModel::createIndex;
};

} // namespace

class TestGameModel : public QObject
{
    Q_OBJECT

private slots:
    void roleNamesAreExactlyTheFour()
    {
        GameModel model;
        const QHash<int, QByteArray> expected{{257, "name"}, {258, "img_path"}, {259, "is_native"}, {260, "game_id"}};
        QCOMPARE(model.roleNames(), expected);
    }

    void dataGivesEachRoleWithItsType()
    {
        GameModel model;
        model.addGame(makeItem("abc", QString::fromUtf8("游戏"), true));
        const QModelIndex index = model.index(0);
        QCOMPARE(model.data(index, 257), QVariant(QString::fromUtf8("游戏")));
        QCOMPARE(model.data(index, 258), QVariant(QString("img/abc.png")));
        QCOMPARE(model.data(index, 259), QVariant(true));
        QCOMPARE(model.data(index, 259).userType(), int(QMetaType::Bool));
        QCOMPARE(model.data(index, 260), QVariant(QString("abc")));
        QVERIFY(!model.data(index, Qt::DisplayRole).isValid());
        QVERIFY(!model.data(index, 261).isValid());
    }

    void dataWritesOneTraceLinePerRequest()
    {
        ProbedModel model;
        model.addGame(makeItem("a"));
        QStringList lines;
        QVariant outside, below, display;
        {
            StdoutCapture capture;
            model.data(model.index(0), 258);
            display = model.data(model.index(0), Qt::DisplayRole);
            outside = model.data(model.createIndex(1, 0), 257);
            below = model.data(model.createIndex(-1, 0), 257);
            lines = capture.lines();
        }
        QCOMPARE(lines, (QStringList{"role: 258", "role: 0", "s1", "s1"}));
        QVERIFY(!display.isValid());
        QVERIFY(!outside.isValid());
        QVERIFY(!below.isValid());
    }

    void rowCountIgnoresTheParent()
    {
        GameModel model;
        model.addGame(makeItem("a"));
        model.addGame(makeItem("b"));
        QCOMPARE(model.rowCount(model.index(0)), 2);
    }

    void eachAcceptedItemIsAnnouncedAsTheNewLastRow()
    {
        GameModel model;
        QSignalSpy about(&model, &GameModel::rowsAboutToBeInserted);
        QSignalSpy inserted(&model, &GameModel::rowsInserted);
        model.addGame(makeItem("first"));
        model.addGame(makeItem("second"));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(about.count(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!inserted.at(i).at(0).value<QModelIndex>().isValid());
            QCOMPARE(inserted.at(i).at(1).toInt(), i);
            QCOMPARE(inserted.at(i).at(2).toInt(), i);
        }
        QCOMPARE(model.data(model.index(0), 260).toString(), QString("first"));
        QCOMPARE(model.data(model.index(1), 260).toString(), QString("second"));
    }

    void duplicateIdsAreRefusedAndDestroyed()
    {
        GameModel model;
        model.addGame(makeItem("same", "kept"));
        model.addGame(makeItem(QString()));
        QSignalSpy inserted(&model, &GameModel::rowsInserted);

        QPointer<GameItem> duplicate = makeItem("same", "dropped");
        QPointer<GameItem> emptyAgain = makeItem(QString());
        model.addGame(duplicate);
        model.addGame(emptyAgain);

        QVERIFY(duplicate.isNull());
        QVERIFY(emptyAgain.isNull());
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(0), 257).toString(), QString("kept"));
    }

    void idsAreCaseSensitive()
    {
        GameModel model;
        model.addGame(makeItem("Game"));
        model.addGame(makeItem("game"));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(model.findGame("game"));
        QCOMPARE(model.findGame("game")->gameId(), QStringLiteral("game"));
        QVERIFY(model.findGame("Game") != model.findGame("game"));
        QVERIFY(!model.findGame("GAME"));
        QVERIFY(!model.findGame("gam"));
    }

    void itemsExposeTheirReadOnlyProperties()
    {
        std::unique_ptr<GameItem> item(makeItem("p", "Name", true));
        QCOMPARE(item->property("name").toString(), QString("Name"));
        QCOMPARE(item->property("img_path").toString(), QString("img/p.png"));
        QCOMPARE(item->property("is_native").toBool(), true);
        QVERIFY(!item->setProperty("name", "changed"));
        int result = -1;
        QVERIFY(QMetaObject::invokeMethod(item.get(), "launcherGame", Q_RETURN_ARG(int, result)));
        QCOMPARE(result, 0);
    }
};

QTEST_GUILESS_MAIN(TestGameModel)
#include "tst_gamemodel.moc"
