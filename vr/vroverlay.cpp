#include "vroverlay.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QQuickItem>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

constexpr const char* kBoxTitle = "NerqVRPlatform";

// Appended to the program's directory. On Windows the backslash form names the file; on other
// systems a backslash is an ordinary file-name character, so the path is built with "/".
#ifdef _WIN32
constexpr const char* kThumbnailSuffix = "\\res\\thumbicon.png";
#else
constexpr const char* kThumbnailSuffix = "/res/thumbicon.png";
#endif

// Every interface the program is built against, in the order they are checked.
constexpr const char* kInterfaceVersions[] = {
    "IVRSystem_015",    "IVRSettings_002",       "IVROverlay_016",    "IVRApplications_006",
    "IVRChaperone_003", "IVRChaperoneSetup_005", "IVRCompositor_020", "IVRNotifications_002",
};

// Modal, parentless, one OK button and no default button; returns once the user closed it.
void showCriticalBox(const char* text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kBoxTitle), QString::fromUtf8(text), QMessageBox::Ok,
                    nullptr);
    box.exec();
}

} // namespace

VROverlay::VROverlay()
    : VROverlay(OverlayDescription())
{}

VROverlay::VROverlay(OverlayDescription overlayDescription)
    : description(std::move(overlayDescription))
    , overlayHandle(vr::k_ulOverlayHandleInvalid)
    , thumbnailHandle(vr::k_ulOverlayHandleInvalid)
{}

const char* VROverlay::missingInterfaceVersion()
{
    for (const char* version : kInterfaceVersions)
        if (!vr::VR_IsInterfaceVersionValid(version))
            return version;
    return nullptr;
}

int VROverlay::init()
{
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_Init(&error, vr::VRApplication_Overlay);
    if (error != vr::VRInitError_None) {
        if (error == vr::VRInitError_Init_HmdNotFound || error == vr::VRInitError_Init_HmdNotFoundPresenceFailed)
            showCriticalBox("Could not find HMD!");
        throw std::runtime_error(std::string("Failed to initialize OpenVR: ")
                                 + vr::VR_GetVRInitErrorAsEnglishDescription(error));
    }

    if (const char* version = missingInterfaceVersion()) {
        showCriticalBox("OpenVR version is too outdated. Please update OpenVR.");
        throw std::runtime_error(std::string("OpenVR version is too outdated: Interface version ") + version
                                 + " not found.");
    }

    if (!vr::VROverlay()) {
        showCriticalBox("Is OpenVR running?");
        throw std::runtime_error("No Overlay interface");
    }
    return 0;
}

int VROverlay::open(QQuickItem* rootItem)
{
    vr::IVROverlay* overlay = vr::VROverlay();
    if (!overlay)
        throw std::runtime_error("No Overlay interface");
    create(overlay);
    configure(overlay, rootItem);
    return 0;
}

void VROverlay::create(vr::IVROverlay* overlay)
{
    const bool dashboard = description.kind == OverlayDescription::Kind::Dashboard;
    const char* key = description.key.c_str();
    const char* name = description.name.c_str();
    const vr::EVROverlayError error = dashboard
                                          ? overlay->CreateDashboardOverlay(key, name, &overlayHandle, &thumbnailHandle)
                                          : overlay->CreateOverlay(key, name, &overlayHandle);
    if (error != vr::VROverlayError_None) {
        overlayHandle = vr::k_ulOverlayHandleInvalid;
        thumbnailHandle = vr::k_ulOverlayHandleInvalid;
        if (error == vr::VROverlayError_KeyInUse && description.askUser)
            showCriticalBox("Another instance is already running.");
        throw std::runtime_error(std::string("Failed to create Overlay: ")
                                 + overlay->GetOverlayErrorNameFromEnum(error));
    }
}

void VROverlay::configure(vr::IVROverlay* overlay, QQuickItem* rootItem)
{
    // The results of the settings are not checked: a runtime that refuses one still shows the
    // overlay, only less comfortably.
    overlay->SetOverlayWidthInMeters(overlayHandle, description.widthInMeters);
    if (description.pointer) {
        overlay->SetOverlayInputMethod(overlayHandle, vr::VROverlayInputMethod_Mouse);
        overlay->SetOverlayFlag(overlayHandle, vr::VROverlayFlags_SendVRScrollEvents, true);
    }

    if (thumbnailHandle != vr::k_ulOverlayHandleInvalid && description.thumbnail) {
        const std::string thumbnailPath = QCoreApplication::applicationDirPath().toStdString() + kThumbnailSuffix;
        if (QFile::exists(QString::fromStdString(thumbnailPath)))
            overlay->SetOverlayFromFile(thumbnailHandle, thumbnailPath.c_str());
        else
            LOG(ERROR) << "Could not find thumbnail icon \"" << thumbnailPath << "\"";
    }

    if (description.pointer) {
        // Pointer positions then arrive in page pixels.
        const vr::HmdVector2_t mouseScale = {
            {static_cast<float>(rootItem->width()), static_cast<float>(rootItem->height())}};
        overlay->SetOverlayMouseScale(overlayHandle, &mouseScale);
    }
}

void VROverlay::forget()
{
    overlayHandle = vr::k_ulOverlayHandleInvalid;
    thumbnailHandle = vr::k_ulOverlayHandleInvalid;
}

void VROverlay::processTexture(uint32_t textureName)
{
    // Not open: no connection to ask, and no overlay to give the frame to.
    if (!isOpen())
        return;
    vr::IVROverlay* overlay = vr::VROverlay();
    if (!overlay)
        return;
    // Frames only matter while the overlay or its thumbnail is seen.
    if (!overlay->IsOverlayVisible(overlayHandle)
        && (thumbnailHandle == vr::k_ulOverlayHandleInvalid || !overlay->IsOverlayVisible(thumbnailHandle)))
        return;
    if (textureName == 0)
        return;

    vr::Texture_t texture;
    texture.handle = reinterpret_cast<void*>(static_cast<uintptr_t>(textureName));
    texture.eType = vr::TextureType_OpenGL;
    texture.eColorSpace = vr::ColorSpace_Auto;
    overlay->SetOverlayTexture(overlayHandle, &texture);
}
