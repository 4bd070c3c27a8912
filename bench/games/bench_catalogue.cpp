// One catalogue load pass at several catalogue sizes: the first load into an empty model, and a
// reload that finds nothing new (what the 30-second timer does on an unchanged file).

#include "gamedetector.h"
#include "gamemodel.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <string>

namespace {

std::string writeCatalogue(const QTemporaryDir& dir, int entries)
{
    const std::string path = dir.filePath(QString("catalogue-%1.json").arg(entries)).toStdString();
    std::ofstream out(path);
    out << "[\n";
    for (int i = 0; i < entries; ++i) {
        const bool native = i % 3 == 0;
        out << (i ? ",\n" : "") << R"({"gameId": "game-)" << i << R"(", "gameName": "Demo game number )" << i
            << R"(", "imgPath": "../game/images/starfall.png", "isNative": )" << (native ? "true" : "false")
            << R"(, "launcherPath": "./game/native/starfall.sh", "steamGameId": )" << 100000 + i << R"(, "gameMode": )"
            << i % 10 << "}";
    }
    out << "\n]\n";
    return path;
}

void firstLoad(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = writeCatalogue(dir, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto model = std::make_shared<GameModel>();
        GameDetector detector(model, [&] { return path; });
        detector.LoadGameData();
        benchmark::DoNotOptimize(model->rowCount());
    }
}

void reloadAddingNothing(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = writeCatalogue(dir, static_cast<int>(state.range(0)));
    auto model = std::make_shared<GameModel>();
    GameDetector detector(model, [&] { return path; });
    detector.LoadGameData();
    for (auto _ : state) {
        detector.LoadGameData();
        benchmark::DoNotOptimize(model->rowCount());
    }
}

} // namespace

BENCHMARK(firstLoad)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(reloadAddingNothing)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
