// Time from writing "E" into the quit-flag block to the exit of a process running
// LifeCycleManager on its event loop, as the program does. The write lands at a random
// point of the 100 ms check period, so the numbers cover the whole period.
//   bench_quitlatency [RUNS]        (default 20)

#include "benchblocks.h"
#include <lifecyclemanager.h>
#include <sharedmemory.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int runChild(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    auto* manager = new LifeCycleManager;
    manager->start();
    // Tell the parent the check is armed.
    if (::write(STDOUT_FILENO, "s", 1) != 1)
        return 3;
    return app.exec();
}

// Milliseconds from the write to the child's exit, or a negative value on failure.
double oneRun(const char* self, SharedMemory<DeviceBlocks::QuitFlag>& flag, std::mt19937& random)
{
    const DeviceBlocks::QuitFlag clear = 0;
    flag.write(&clear);

    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    char* childArgs[] = {const_cast<char*>(self), const_cast<char*>("--child"), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, childArgs, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    char byte = 0;
    const bool started = spawned == 0 && ::read(ready[0], &byte, 1) == 1;
    if (!started) {
        ::close(ready[0]);
        return -1;
    }

    std::uniform_int_distribution<int> phase(0, 150);
    std::this_thread::sleep_for(std::chrono::milliseconds(phase(random)));
    const DeviceBlocks::QuitFlag quit = DeviceBlocks::quitRequest;
    const Clock::time_point written = Clock::now();
    flag.write(&quit);
    int status = 0;
    const bool exited = ::waitpid(pid, &status, 0) == pid;
    const Clock::time_point gone = Clock::now();
    // Closed only now: the child logs its reason to stdout, and a closed pipe would kill it.
    ::close(ready[0]);
    if (!exited || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(gone - written).count();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);

    BenchBlocks blocks;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    SharedMemory<DeviceBlocks::QuitFlag> flag(DeviceBlocks::quitFlagName, true);
    std::mt19937 random(12345);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = oneRun("/proc/self/exe", flag, random);
        if (ms < 0) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        times.push_back(ms);
        std::printf("run %2d: %7.2f ms\n", i + 1, ms);
    }
    const DeviceBlocks::QuitFlag clear = 0;
    flag.write(&clear);

    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("quit flag to exit over %zu runs: median %.2f ms, best %.2f ms, worst %.2f ms\n", n, median,
                times.front(), times.back());
    return 0;
}
