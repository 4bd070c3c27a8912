// The game starts first and its mode follows: the service must not switch mode for a game that
// has not been asked to start. Built with a stand-in for the platform's open call, which notes
// what the game-mode block holds at the moment the game is opened.

#include "blockfixture.h"
#include "gameitem.h"
#include "gamelauncher.h"
#include "gamemodel.h"
#include "shellopen.h"

#include <deviceblocks.h>

#include <QtTest>

#include <memory>

namespace {

QStringList g_opened; // "<target> <game-mode text at that moment>"

QString gameModeText()
{
    if (!BlockFixture::exists(DeviceBlocks::gameModeName))
        return QStringLiteral("(no block)");
    const QByteArray bytes = BlockFixture::rawBytes(DeviceBlocks::gameModeName);
    return QString::fromLatin1(bytes.left(bytes.indexOf('\0')));
}

} // namespace

namespace ShellOpen {

Opened openLauncher(const QString& launcherPath)
{
    g_opened.append(launcherPath + ' ' + gameModeText());
    return {};
}

Opened openSteamUri(const QString& uri)
{
    g_opened.append(uri + ' ' + gameModeText());
    return {};
}

} // namespace ShellOpen

class TestLaunchOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { BlockFixture::remove(DeviceBlocks::gameModeName); }
    void cleanupTestCase() { BlockFixture::remove(DeviceBlocks::gameModeName); }

    void gameIsOpenedBeforeItsModeIsHandedOn()
    {
        auto model = std::make_shared<GameModel>();
        for (const auto& [id, native, mode] :
             {std::make_tuple("steam", false, 2), std::make_tuple("native", true, 5)}) {
            auto* item = new GameItem();
            item->setGameInfo(id, id, QString(), native, "/games/start", 570, mode);
            model->addGame(item);
        }
        GameLauncher launcher(model);
        launcher.launcherGame("steam");
        launcher.launcherGame("native");
        launcher.launcherGame("steam");
        QCOMPARE(g_opened, QStringList({"steam://launch/570/Vr (no block)", "/games/start START2",
                                        "steam://launch/570/Vr START5"}));
        QCOMPARE(gameModeText(), QStringLiteral("START2"));
    }
};

QTEST_GUILESS_MAIN(TestLaunchOrder)
#include "tst_launchorder.moc"
