#include "commandline.h"

#include "maintenance.h"
#include "runsettings.h"

#include <cstring>

bool desktop = false;
Language language = Chinese;

void parseCommandLine(int argc, char* argv[])
{
    // argv[0] is the program name. Matching is exact: no prefixes, no case folding, no values.
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-desktop") == 0)
            desktop = true;
        else if (std::strcmp(arg, "-nosound") == 0 || std::strcmp(arg, "-nomanifest") == 0)
            continue; // accepted for compatibility with launch scripts; nothing to do
        else if (std::strcmp(arg, "-installmanifest") == 0)
            runMaintenanceAndExit(MaintenanceAction::InstallManifest, argc, argv);
        else if (std::strcmp(arg, "-removemanifest") == 0)
            runMaintenanceAndExit(MaintenanceAction::RemoveManifest, argc, argv);
        else if (std::strcmp(arg, "-chinese") == 0)
            language = Chinese;
        else if (std::strcmp(arg, "-english") == 0)
            language = English;
    }
}
