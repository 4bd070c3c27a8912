#include "errornames.h"

#include <map>
#include <mutex>
#include <string>

#include <openvr.h>

namespace vrsim {

namespace {

struct InitErrorText {
    const char* symbol;
    const char* description;
};

const std::map<int, InitErrorText>& initErrors()
{
    static const std::map<int, InitErrorText> table = {
        {vr::VRInitError_None, {"VRInitError_None", "No error (0)"}},
        {vr::VRInitError_Unknown, {"VRInitError_Unknown", "An unknown error occurred (1)"}},
        {vr::VRInitError_Init_InstallationNotFound,
         {"VRInitError_Init_InstallationNotFound", "The VR runtime is not installed (100)"}},
        {vr::VRInitError_Init_InterfaceNotFound,
         {"VRInitError_Init_InterfaceNotFound", "The VR runtime does not provide a required interface version (105)"}},
        {vr::VRInitError_Init_HmdNotFound, {"VRInitError_Init_HmdNotFound", "No headset was found (108)"}},
        {vr::VRInitError_Init_NotInitialized,
         {"VRInitError_Init_NotInitialized", "The VR runtime connection is not initialised (109)"}},
        {vr::VRInitError_Init_PathRegistryNotFound,
         {"VRInitError_Init_PathRegistryNotFound", "The VR runtime's path registry could not be found (110)"}},
        {vr::VRInitError_Init_NoServerForBackgroundApp,
         {"VRInitError_Init_NoServerForBackgroundApp",
          "A background application asked for a VR runtime that is not running (121)"}},
        {vr::VRInitError_Init_HmdNotFoundPresenceFailed,
         {"VRInitError_Init_HmdNotFoundPresenceFailed", "No headset was found; the presence check failed (126)"}},
    };
    return table;
}

// Texts for values outside the tables are made once per value and kept.
const char* unknownText(const std::string& prefix, int error)
{
    static std::mutex mutex;
    static std::map<std::string, std::string> texts;
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = prefix + std::to_string(error);
    auto it = texts.find(key);
    if (it == texts.end())
        it = texts.emplace(key, prefix + " (" + std::to_string(error) + ")").first;
    return it->second.c_str();
}

} // namespace

const char* initErrorSymbol(int error)
{
    const auto it = initErrors().find(error);
    return it != initErrors().end() ? it->second.symbol : unknownText("Unknown VR init error", error);
}

const char* initErrorDescription(int error)
{
    const auto it = initErrors().find(error);
    return it != initErrors().end() ? it->second.description
                                    : unknownText("An unrecognised VR initialisation error", error);
}

const char* overlayErrorName(int error)
{
    switch (error) {
    case vr::VROverlayError_None:
        return "VROverlayError_None";
    case vr::VROverlayError_UnknownOverlay:
        return "VROverlayError_UnknownOverlay";
    case vr::VROverlayError_InvalidHandle:
        return "VROverlayError_InvalidHandle";
    case vr::VROverlayError_PermissionDenied:
        return "VROverlayError_PermissionDenied";
    case vr::VROverlayError_OverlayLimitExceeded:
        return "VROverlayError_OverlayLimitExceeded";
    case vr::VROverlayError_KeyTooLong:
        return "VROverlayError_KeyTooLong";
    case vr::VROverlayError_NameTooLong:
        return "VROverlayError_NameTooLong";
    case vr::VROverlayError_KeyInUse:
        return "VROverlayError_KeyInUse";
    case vr::VROverlayError_InvalidTrackedDevice:
        return "VROverlayError_InvalidTrackedDevice";
    case vr::VROverlayError_InvalidParameter:
        return "VROverlayError_InvalidParameter";
    case vr::VROverlayError_RequestFailed:
        return "VROverlayError_RequestFailed";
    case vr::VROverlayError_InvalidTexture:
        return "VROverlayError_InvalidTexture";
    case vr::VROverlayError_UnableToLoadFile:
        return "VROverlayError_UnableToLoadFile";
    }
    return unknownText("Unknown overlay error", error);
}

const char* applicationErrorName(int error)
{
    switch (error) {
    case vr::VRApplicationError_None:
        return "VRApplicationError_None";
    case vr::VRApplicationError_AppKeyAlreadyExists:
        return "VRApplicationError_AppKeyAlreadyExists";
    case vr::VRApplicationError_UnknownApplication:
        return "VRApplicationError_UnknownApplication";
    case vr::VRApplicationError_IPCFailed:
        return "VRApplicationError_IPCFailed";
    case vr::VRApplicationError_InvalidManifest:
        return "VRApplicationError_InvalidManifest";
    case vr::VRApplicationError_BufferTooSmall:
        return "VRApplicationError_BufferTooSmall";
    case vr::VRApplicationError_PropertyNotSet:
        return "VRApplicationError_PropertyNotSet";
    case vr::VRApplicationError_UnknownProperty:
        return "VRApplicationError_UnknownProperty";
    case vr::VRApplicationError_InvalidParameter:
        return "VRApplicationError_InvalidParameter";
    }
    return unknownText("Unknown application error", error);
}

} // namespace vrsim
