// The OpenVR client API as NerqVRPlatform and nerq-headset use it, served by the simulated runtime (vrsim).
// Only the slice they touch is declared; names, values and signatures follow the
// public API so the same sources build unchanged against a real SDK.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vr {

typedef uint64_t VROverlayHandle_t;
static const VROverlayHandle_t k_ulOverlayHandleInvalid = 0;

typedef uint32_t TrackedDeviceIndex_t;
static const uint32_t k_unTrackedDeviceIndex_Hmd = 0;
static const uint32_t k_unTrackedDeviceIndexInvalid = 0xFFFFFFFF;

static const uint32_t k_unVROverlayMaxKeyLength = 128;
static const uint32_t k_unVROverlayMaxNameLength = 128;
static const uint32_t k_unMaxOverlayCount = 64;

struct HmdVector2_t {
    float v[2];
};

// Rows of a 3x4 transform in metres: +y up, +x right, -z away from the viewer.
struct HmdMatrix34_t {
    float m[3][4];
};

enum EVRInitError {
    VRInitError_None = 0,
    VRInitError_Unknown = 1,
    VRInitError_Init_InstallationNotFound = 100,
    VRInitError_Init_InterfaceNotFound = 105,
    VRInitError_Init_HmdNotFound = 108,
    VRInitError_Init_NotInitialized = 109,
    VRInitError_Init_PathRegistryNotFound = 110,
    VRInitError_Init_NoServerForBackgroundApp = 121,
    VRInitError_Init_HmdNotFoundPresenceFailed = 126,
};

enum EVRApplicationType {
    VRApplication_Other = 0,
    VRApplication_Scene = 1,
    VRApplication_Overlay = 2,
    VRApplication_Background = 3,
    VRApplication_Utility = 4,
};

enum EVROverlayError {
    VROverlayError_None = 0,
    VROverlayError_UnknownOverlay = 10,
    VROverlayError_InvalidHandle = 11,
    VROverlayError_PermissionDenied = 12,
    VROverlayError_OverlayLimitExceeded = 13,
    VROverlayError_KeyTooLong = 15,
    VROverlayError_NameTooLong = 16,
    VROverlayError_KeyInUse = 17,
    VROverlayError_InvalidTrackedDevice = 19,
    VROverlayError_InvalidParameter = 20,
    VROverlayError_RequestFailed = 23,
    VROverlayError_InvalidTexture = 24,
    VROverlayError_UnableToLoadFile = 25,
};

enum EVRApplicationError {
    VRApplicationError_None = 0,
    VRApplicationError_AppKeyAlreadyExists = 100,
    VRApplicationError_UnknownApplication = 104,
    VRApplicationError_IPCFailed = 105,
    VRApplicationError_InvalidManifest = 107,
    VRApplicationError_BufferTooSmall = 200,
    VRApplicationError_PropertyNotSet = 201,
    VRApplicationError_UnknownProperty = 202,
    VRApplicationError_InvalidParameter = 203,
};

enum EVRApplicationProperty {
    VRApplicationProperty_WorkingDirectory_String = 12,
};

enum VROverlayInputMethod {
    VROverlayInputMethod_None = 0,
    VROverlayInputMethod_Mouse = 1,
};

enum VROverlayFlags {
    VROverlayFlags_None = 0,
    VROverlayFlags_NoDashboardTab = 3,
    VROverlayFlags_SendVRScrollEvents = 6,
};

enum ETextureType {
    TextureType_DirectX = 0,
    TextureType_OpenGL = 1,
};

enum EColorSpace {
    ColorSpace_Auto = 0,
    ColorSpace_Gamma = 1,
    ColorSpace_Linear = 2,
};

enum EVRMouseButton {
    VRMouseButton_Left = 0x0001,
    VRMouseButton_Right = 0x0002,
    VRMouseButton_Middle = 0x0004,
};

enum EVREventType {
    VREvent_None = 0,
    VREvent_MouseMove = 300,
    VREvent_MouseButtonDown = 301,
    VREvent_MouseButtonUp = 302,
    VREvent_Scroll = 305,
    VREvent_SceneApplicationChanged = 404,
    VREvent_OverlayShown = 500,
    VREvent_OverlayHidden = 501,
    VREvent_DashboardActivated = 502,
    VREvent_DashboardDeactivated = 503,
    VREvent_Quit = 700,
    VREvent_ProcessQuit = 701,
    VREvent_KeyboardClosed = 1200,
    VREvent_KeyboardCharInput = 1201,
    VREvent_KeyboardDone = 1202,
};

struct Texture_t {
    void* handle;
    ETextureType eType;
    EColorSpace eColorSpace;
};

// Event records are packed to 4 bytes everywhere but Windows, as the runtime lays them out.
#if !defined(_WIN32)
#pragma pack(push, 4)
#endif

struct VREvent_Mouse_t {
    float x;
    float y;
    uint32_t button;
};

struct VREvent_Scroll_t {
    float xdelta;
    float ydelta;
    uint32_t repeatCount;
};

struct VREvent_Keyboard_t {
    char cNewInput[8];
    uint64_t uUserValue;
};

struct VREvent_Process_t {
    uint32_t pid;
    uint32_t oldPid;
    bool bForced;
};

// Keeps the payload union at the runtime's 24 bytes.
struct VREvent_Reserved_t {
    uint64_t reserved0;
    uint64_t reserved1;
    uint64_t reserved2;
};

union VREvent_Data_t {
    VREvent_Reserved_t reserved;
    VREvent_Mouse_t mouse;
    VREvent_Scroll_t scroll;
    VREvent_Keyboard_t keyboard;
    VREvent_Process_t process;
};

struct VREvent_t {
    uint32_t eventType;
    TrackedDeviceIndex_t trackedDeviceIndex;
    float eventAgeSeconds;
    VREvent_Data_t data;
};

#if !defined(_WIN32)
#pragma pack(pop)
#endif

static const char* const IVRSystem_Version = "IVRSystem_015";
static const char* const IVRSettings_Version = "IVRSettings_002";
static const char* const IVROverlay_Version = "IVROverlay_016";
static const char* const IVRApplications_Version = "IVRApplications_006";
static const char* const IVRChaperone_Version = "IVRChaperone_003";
static const char* const IVRChaperoneSetup_Version = "IVRChaperoneSetup_005";
static const char* const IVRCompositor_Version = "IVRCompositor_020";
static const char* const IVRNotifications_Version = "IVRNotifications_002";

class IVRSystem
{
public:
    virtual bool PollNextEvent(VREvent_t* pEvent, uint32_t uncbVREvent) = 0;
    virtual void AcknowledgeQuit_Exiting() = 0;
};

class IVROverlay
{
public:
    virtual EVROverlayError CreateDashboardOverlay(const char* pchOverlayKey, const char* pchOverlayFriendlyName,
                                                   VROverlayHandle_t* pMainHandle,
                                                   VROverlayHandle_t* pThumbnailHandle) = 0;
    virtual const char* GetOverlayErrorNameFromEnum(EVROverlayError error) = 0;
    virtual EVROverlayError SetOverlayFlag(VROverlayHandle_t ulOverlayHandle, VROverlayFlags eOverlayFlag,
                                           bool bEnabled) = 0;
    virtual EVROverlayError SetOverlayWidthInMeters(VROverlayHandle_t ulOverlayHandle, float fWidthInMeters) = 0;
    virtual bool IsOverlayVisible(VROverlayHandle_t ulOverlayHandle) = 0;
    virtual bool PollNextOverlayEvent(VROverlayHandle_t ulOverlayHandle, VREvent_t* pEvent, uint32_t uncbVREvent) = 0;
    virtual EVROverlayError SetOverlayInputMethod(VROverlayHandle_t ulOverlayHandle,
                                                  VROverlayInputMethod eInputMethod) = 0;
    virtual EVROverlayError SetOverlayMouseScale(VROverlayHandle_t ulOverlayHandle,
                                                 const HmdVector2_t* pvecMouseScale) = 0;
    virtual EVROverlayError SetOverlayTexture(VROverlayHandle_t ulOverlayHandle, const Texture_t* pTexture) = 0;
    virtual EVROverlayError SetOverlayFromFile(VROverlayHandle_t ulOverlayHandle, const char* pchFilePath) = 0;
    virtual uint32_t GetKeyboardText(char* pchText, uint32_t cchText) = 0;

    virtual EVROverlayError FindOverlay(const char* pchOverlayKey, VROverlayHandle_t* pOverlayHandle) = 0;
    virtual EVROverlayError CreateOverlay(const char* pchOverlayKey, const char* pchOverlayName,
                                          VROverlayHandle_t* pOverlayHandle) = 0;
    virtual EVROverlayError DestroyOverlay(VROverlayHandle_t ulOverlayHandle) = 0;
    virtual EVROverlayError SetOverlayAlpha(VROverlayHandle_t ulOverlayHandle, float fAlpha) = 0;
    virtual EVROverlayError SetOverlaySortOrder(VROverlayHandle_t ulOverlayHandle, uint32_t unSortOrder) = 0;
    virtual EVROverlayError
    SetOverlayTransformTrackedDeviceRelative(VROverlayHandle_t ulOverlayHandle, TrackedDeviceIndex_t unTrackedDevice,
                                             const HmdMatrix34_t* pmatTrackedDeviceToOverlayTransform) = 0;
    virtual EVROverlayError ShowOverlay(VROverlayHandle_t ulOverlayHandle) = 0;
    virtual EVROverlayError HideOverlay(VROverlayHandle_t ulOverlayHandle) = 0;
    virtual bool IsDashboardVisible() = 0;
    virtual bool IsActiveDashboardOverlay(VROverlayHandle_t ulOverlayHandle) = 0;
    virtual void ShowDashboard(const char* pchOverlayToShow) = 0;
};

class IVRApplications
{
public:
    virtual EVRApplicationError AddApplicationManifest(const char* pchApplicationManifestFullPath,
                                                       bool bTemporary = false) = 0;
    virtual EVRApplicationError RemoveApplicationManifest(const char* pchApplicationManifestFullPath) = 0;
    virtual bool IsApplicationInstalled(const char* pchAppKey) = 0;
    virtual const char* GetApplicationsErrorNameFromEnum(EVRApplicationError error) = 0;
    virtual uint32_t GetApplicationPropertyString(const char* pchAppKey, EVRApplicationProperty eProperty,
                                                  char* pchPropertyValueBuffer, uint32_t unPropertyValueBufferLen,
                                                  EVRApplicationError* peError = nullptr) = 0;
    virtual EVRApplicationError SetApplicationAutoLaunch(const char* pchAppKey, bool bAutoLaunch) = 0;
    virtual uint32_t GetCurrentSceneProcessId() = 0;
    virtual EVRApplicationError GetApplicationKeyByProcessId(uint32_t unProcessId, char* pchAppKeyBuffer,
                                                             uint32_t unAppKeyBufferLen) = 0;
};

// Entry points of the runtime library. The inline helpers below build the public calls on them.
uint32_t VR_InitInternal(EVRInitError* peError, EVRApplicationType eApplicationType);
void VR_ShutdownInternal();
bool VR_IsInterfaceVersionValid(const char* pchInterfaceVersion);
void* VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError);
uint32_t VR_GetInitToken();
const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error);
const char* VR_GetVRInitErrorAsSymbol(EVRInitError error);

namespace detail {

// Interface pointers of the current connection. A new token (connect or disconnect) drops
// them, so nothing fetched from an earlier connection is handed out again.
class InterfaceCache
{
public:
    IVRSystem* system() { return fetch(m_system, IVRSystem_Version); }
    IVROverlay* overlay() { return fetch(m_overlay, IVROverlay_Version); }
    IVRApplications* applications() { return fetch(m_applications, IVRApplications_Version); }

private:
    template <typename T>
    T* fetch(T*& slot, const char* version)
    {
        const uint32_t token = VR_GetInitToken();
        if (token != m_token) {
            m_token = token;
            m_system = nullptr;
            m_overlay = nullptr;
            m_applications = nullptr;
        }
        if (!slot) {
            EVRInitError error = VRInitError_None;
            slot = static_cast<T*>(VR_GetGenericInterface(version, &error));
        }
        return slot;
    }

    uint32_t m_token = 0;
    IVRSystem* m_system = nullptr;
    IVROverlay* m_overlay = nullptr;
    IVRApplications* m_applications = nullptr;
};

inline InterfaceCache& interfaceCache()
{
    static InterfaceCache cache;
    return cache;
}

} // namespace detail

inline IVRSystem* VRSystem()
{
    return detail::interfaceCache().system();
}
inline IVROverlay* VROverlay()
{
    return detail::interfaceCache().overlay();
}
inline IVRApplications* VRApplications()
{
    return detail::interfaceCache().applications();
}

inline IVRSystem* VR_Init(EVRInitError* peError, EVRApplicationType eApplicationType)
{
    EVRInitError error = VRInitError_None;
    VR_InitInternal(&error, eApplicationType);
    IVRSystem* system = nullptr;
    if (error == VRInitError_None) {
        if (VR_IsInterfaceVersionValid(IVRSystem_Version)) {
            system = VRSystem();
        } else {
            VR_ShutdownInternal();
            error = VRInitError_Init_InterfaceNotFound;
        }
    }
    if (peError)
        *peError = error;
    return system;
}

inline void VR_Shutdown()
{
    VR_ShutdownInternal();
}

} // namespace vr
