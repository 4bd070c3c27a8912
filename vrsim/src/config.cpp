#include "config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vrsim {

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// A malformed number is reported and ignored rather than half-parsed.
int envInt(const char* name, int fallback)
{
    const std::string text = env(name);
    if (text.empty())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') {
        std::fprintf(stderr, "vrsim: %s=\"%s\" is not a number; ignored\n", name, text.c_str());
        return fallback;
    }
    return static_cast<int>(value);
}

bool envBool(const char* name, bool fallback)
{
    const std::string text = env(name);
    if (text.empty())
        return fallback;
    if (text == "1" || text == "true" || text == "yes" || text == "on")
        return true;
    if (text == "0" || text == "false" || text == "no" || text == "off")
        return false;
    std::fprintf(stderr, "vrsim: %s=\"%s\" is not 0 or 1; ignored\n", name, text.c_str());
    return fallback;
}

// "<pid>" or "<pid>:<app key>".
void readSceneProcess(Config* config)
{
    const std::string text = env("VRSIM_SCENE_PROCESS");
    if (text.empty())
        return;
    const size_t colon = text.find(':');
    const std::string pid = text.substr(0, colon);
    char* end = nullptr;
    const unsigned long value = std::strtoul(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || value > 0xffffffffUL || pid[0] == '-') {
        std::fprintf(stderr, "vrsim: VRSIM_SCENE_PROCESS=\"%s\" is not <pid>[:<app key>]; ignored\n", text.c_str());
        return;
    }
    config->sceneProcess = static_cast<uint32_t>(value);
    config->sceneAppKey = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

} // namespace

std::string fileNameOf(const std::string& text)
{
    std::string name;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return name;
}

Config Config::fromEnvironment()
{
    Config config;
    config.stateDir = env("VRSIM_STATE_DIR");
    if (config.stateDir.empty())
        config.stateDir = defaultStateDir();
    config.initError = envInt("VRSIM_INIT_ERROR", 0);

    std::istringstream missing(env("VRSIM_MISSING_INTERFACES"));
    std::string version;
    while (std::getline(missing, version, ',')) {
        const auto first = version.find_first_not_of(" \t");
        const auto last = version.find_last_not_of(" \t");
        if (first != std::string::npos)
            config.missingInterfaces.insert(version.substr(first, last - first + 1));
    }

    config.noOverlayInterface = envBool("VRSIM_NO_OVERLAY_INTERFACE", false);
    config.overlayVisible = envBool("VRSIM_OVERLAY_VISIBLE", true);
    config.thumbnailVisible = envBool("VRSIM_THUMBNAIL_VISIBLE", false);
    config.eventsFile = env("VRSIM_EVENTS");
    config.captureDir = env("VRSIM_CAPTURE_DIR");

    const std::string capture = env("VRSIM_CAPTURE");
    if (capture == "all")
        config.captureMode = CaptureMode::All;
    else if (capture == "none")
        config.captureMode = CaptureMode::None;
    else if (capture.empty() || capture == "last")
        config.captureMode = CaptureMode::Last;
    else
        std::fprintf(stderr, "vrsim: VRSIM_CAPTURE=\"%s\" is not all, last or none; using last\n", capture.c_str());

    config.preview = envBool("VRSIM_PREVIEW", false);
    config.previewSnapshot = env("VRSIM_PREVIEW_SNAPSHOT");
    config.addManifestError = envInt("VRSIM_ADD_MANIFEST_ERROR", 0);
    config.autoLaunchError = envInt("VRSIM_AUTOLAUNCH_ERROR", 0);
    config.workingDirError = envInt("VRSIM_WORKDIR_ERROR", 0);
    config.runningFile = env("VRSIM_RUNNING_FILE");
    readSceneProcess(&config);
    return config;
}

} // namespace vrsim
