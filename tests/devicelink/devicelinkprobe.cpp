// Second process for the device-link tests.
//   devicelink_probe lifecycle [--log FILE] [--max-seconds N]
//       QCoreApplication + LifeCycleManager, as the program runs them. Prints "started" once
//       the check runs, "exit handlers ran after N ms" (N counted from the start of the check)
//       from an exit handler; ends by itself with 4 after
//       N seconds (default 30) so a broken check cannot hang a test; 3 when start() throws.
//   devicelink_probe block NAME [HEX]
//       Opens NAME as a writable 16-byte block, prints its bytes in hex, then writes HEX.
//   devicelink_probe garbage SECONDS
//       A hostile service: opens the three device blocks and keeps overwriting them with
//       random bytes (never "E" in the quit flag) for SECONDS. Prints "writing" once they are
//       open and the number of rounds at the end.

#include <deviceblocks.h>
#include <lifecyclemanager.h>
#include <sharedmemory.h>

#include <easylogging++.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

namespace {

using Block16 = std::array<unsigned char, 16>;

std::chrono::steady_clock::time_point g_checkStarted;

int runLifecycle(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int maxSeconds = 30;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--log") == 0) {
            el::Configurations conf;
            conf.setToDefault();
            conf.setGlobally(el::ConfigurationType::Filename, argv[i + 1]);
            el::Loggers::reconfigureAllLoggers(conf);
        } else if (std::strcmp(argv[i], "--max-seconds") == 0) {
            maxSeconds = std::atoi(argv[i + 1]);
        }
    }
    auto manager = std::make_unique<LifeCycleManager>();
    try {
        manager->start();
    } catch (int code) {
        std::printf("start failed %d\n", code);
        return 3;
    }
    g_checkStarted = std::chrono::steady_clock::now();
    std::atexit([] {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_checkStarted);
        std::printf("exit handlers ran after %lld ms\n", static_cast<long long>(ms.count()));
    });
    std::puts("started");
    std::fflush(stdout);
    QTimer::singleShot(maxSeconds * 1000, &app, [] { QCoreApplication::exit(4); });
    return app.exec();
}

int runBlock(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    try {
        SharedMemory<Block16> block(argv[2], true);
        Block16 bytes{};
        block.read(bytes);
        std::puts(QByteArray(reinterpret_cast<const char*>(bytes.data()), 16).toHex().constData());
        if (argc > 3) {
            const QByteArray wanted = QByteArray::fromHex(argv[3]);
            Block16 out{};
            std::memcpy(out.data(), wanted.constData(), std::min<std::size_t>(16, wanted.size()));
            block.write(&out);
        }
    } catch (int code) {
        std::printf("open failed %d\n", code);
        return 3;
    }
    return 0;
}

template <typename Record>
void scramble(SharedMemory<Record>& block, std::mt19937& random)
{
    Record record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i)
        bytes[i] = static_cast<unsigned char>(random());
    block.write(&record);
}

int runGarbage(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(std::atof(argv[2]) * 1000));
    try {
        SharedMemory<DeviceBlocks::GameModeRecord> game(DeviceBlocks::gameModeName, true);
        SharedMemory<DeviceBlocks::CalibrationRecord> calibration(DeviceBlocks::calibrationName, true);
        SharedMemory<DeviceBlocks::QuitFlag> quit(DeviceBlocks::quitFlagName, true);
        std::puts("writing");
        std::fflush(stdout);
        std::mt19937 random(12345);
        long rounds = 0;
        while (std::chrono::steady_clock::now() < end) {
            scramble(game, random);
            scramble(calibration, random);
            // Every byte value but the one that ends the program, in turn.
            DeviceBlocks::QuitFlag flag = static_cast<char>(rounds % 256);
            if (flag == DeviceBlocks::quitRequest)
                flag = static_cast<char>(flag + 1);
            quit.write(&flag);
            ++rounds;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        std::printf("rounds %ld\n", rounds);
    } catch (int code) {
        std::printf("open failed %d\n", code);
        return 3;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "lifecycle") == 0)
        return runLifecycle(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "block") == 0)
        return runBlock(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "garbage") == 0)
        return runGarbage(argc, argv);
    std::fputs(
        "usage: devicelink_probe lifecycle [--log FILE] [--max-seconds N] | block NAME [HEX] | garbage SECONDS\n",
        stderr);
    return 2;
}
