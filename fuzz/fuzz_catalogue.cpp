// The game catalogue loader over arbitrary file contents: a load into an empty model, then a
// reload of the same file, which must add nothing.

#include "gamedetector.h"
#include "gamemodel.h"

#include <easylogging++.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string g_path;

void removeCatalogue()
{
    std::remove(g_path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every bad entry is logged; silenced, the loader runs thousands of times faster.
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "false");
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
    g_path = "/tmp/nerq-fuzz-catalogue-" + std::to_string(getpid()) + ".json";
    std::atexit(removeCatalogue);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(g_path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);

    auto model = std::make_shared<GameModel>();
    GameDetector detector(model, [] { return g_path; });
    detector.LoadGameData();
    const int firstRows = model->rowCount();
    detector.LoadGameData();
    // The reload goes through the shared model, which the checker cannot see.
    // cppcheck-suppress knownConditionTrueFalse
    if (model->rowCount() != firstRows) {
        std::fprintf(stderr, "reload of an unchanged catalogue changed the rows: %d -> %d\n", firstRows,
                     model->rowCount());
        std::abort();
    }
    return 0;
}
