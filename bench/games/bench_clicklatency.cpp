// Time from a click on a tile to the game-mode record being visible to the device service,
// with the real executable in desktop mode. Needs a display (run under xvfb-run -a).
//   bench_clicklatency [RUNS]        (default 20)
// The click is synthesised by xdotool; the time of a bare xdotool run is printed alongside, since
// it is part of every measured click.

#include "benchblocks.h"
#include "deviceblocks.h"
#include "sharedmemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

QString xdotool(const QStringList& arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BenchBlocks blocks;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const QString binDir = QCoreApplication::applicationDirPath();

    // A runtime directory of our own: one Steam game, and a silent stand-in for xdg-open.
    QTemporaryDir dir;
    QFile::link(QDir(binDir).filePath("res"), dir.filePath("res"));
    QFile::link(QDir(binDir).filePath("game/images"), dir.filePath("game/images"));
    writeFile(dir.filePath("game/data_en.json"),
              R"([{"gameId": "bench", "gameName": "Bench", "imgPath": "../game/images/starfall.png",
                   "isNative": false, "steamGameId": 570, "gameMode": 7}])");
    writeFile(dir.filePath("bin/xdg-open"), "#!/bin/sh\nexit 0\n", true);

    SharedMemory<DeviceBlocks::QuitFlag> quitFlag(DeviceBlocks::quitFlagName, true);
    const DeviceBlocks::QuitFlag carryOn = 0;
    quitFlag.write(&carryOn);
    SharedMemory<DeviceBlocks::GameModeRecord> block(DeviceBlocks::gameModeName, true);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", dir.filePath("bin") + ':' + env.value("PATH"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.start(QDir(binDir).filePath("NerqVRPlatform"), {"-desktop", "-english"});
    program.waitForStarted();
    for (int i = 0;
         i < 200 && xdotool({"search", "--onlyvisible", "--pid", QString::number(program.processId())}).isEmpty(); ++i)
        QThread::msleep(50);
    QThread::msleep(1000);
    xdotool({"mousemove", "323", "284"}); // rests on the tile

    std::vector<double> clickMs;
    std::vector<double> toolMs;
    for (int i = 0; i < runs; ++i) {
        const DeviceBlocks::GameModeRecord empty{};
        block.write(&empty);

        QElapsedTimer timer;
        timer.start();
        QProcess click;
        click.start("xdotool", {"click", "1"});
        DeviceBlocks::GameModeRecord record{};
        do {
            block.read(record);
        } while (record.bytes[0] == 0 && timer.elapsed() < 5000);
        clickMs.push_back(timer.nsecsElapsed() / 1e6);
        click.waitForFinished();

        timer.restart();
        xdotool({"getmouselocation"});
        toolMs.push_back(timer.nsecsElapsed() / 1e6);
        QThread::msleep(100);
    }
    program.kill();
    program.waitForFinished();

    std::printf("tile click to game-mode record visible: median %.1f ms, worst %.1f ms (%d clicks)\n", median(clickMs),
                *std::max_element(clickMs.begin(), clickMs.end()), runs);
    std::printf("of which starting xdotool and one X round trip: median %.1f ms\n", median(toolMs));
    return 0;
}
