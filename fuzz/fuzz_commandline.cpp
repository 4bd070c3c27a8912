// The option pass over arbitrary argument vectors. The two maintenance options end the process
// by design, so they are left out of the generated vectors; reaching them anyway is a fault.

#include "commandline.h"
#include "maintenance.h"
#include "runsettings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Stands in for the real maintenance pass, which needs a VR runtime and ends the process.
[[noreturn]] void runMaintenanceAndExit(MaintenanceAction, int&, char*[])
{
    std::fprintf(stderr, "option pass started maintenance for an argument that does not name it\n");
    std::abort();
}

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "option pass: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Arguments are the input split at zero bytes, as they sit in memory behind argv.
    std::vector<std::string> args{"NerqVRPlatform"};
    std::string current;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            if (current != "-installmanifest" && current != "-removemanifest")
                args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }

    // Expected settings: exact words only, the last language word wins.
    bool expectDesktop = false;
    Language expectLanguage = Chinese;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-desktop")
            expectDesktop = true;
        else if (args[i] == "-chinese")
            expectLanguage = Chinese;
        else if (args[i] == "-english")
            expectLanguage = English;
    }

    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const std::vector<std::string> before = args;

    desktop = false;
    language = Chinese;
    parseCommandLine(static_cast<int>(args.size()), argv.data());

    if (language != Chinese && language != English)
        fail("language is neither Chinese nor English");
    if (language != expectLanguage)
        fail("wrong language");
    if (desktop != expectDesktop)
        fail("wrong desktop flag");
    if (args != before)
        fail("the arguments were changed");
    return 0;
}
