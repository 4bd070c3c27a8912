// Settings of the simulated runtime, read from VRSIM_* environment variables.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace vrsim {

enum class CaptureMode { None, Last, All };

// The per-user default for VRSIM_STATE_DIR; platform specific.
std::string defaultStateDir();

// A text as a file name: letters, digits, ".", "_" and "-" stay, every other byte is %XX.
std::string fileNameOf(const std::string& text);

class Config
{
public:
    static Config fromEnvironment();

    std::string stateDir;
    int initError = 0;
    std::set<std::string> missingInterfaces;
    bool noOverlayInterface = false;
    bool overlayVisible = true;
    bool thumbnailVisible = false;
    std::string eventsFile;
    std::string captureDir;
    CaptureMode captureMode = CaptureMode::Last;
    bool preview = false;
    std::string previewSnapshot;
    int addManifestError = 0;
    int autoLaunchError = 0;
    int workingDirError = 0;
    std::string runningFile; // empty: always running
    uint32_t sceneProcess = 0;
    std::string sceneAppKey;
};

} // namespace vrsim
