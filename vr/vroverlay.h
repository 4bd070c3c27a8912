#pragma once

#include "processtexture.h"

#include <openvr.h>

#include <cstdint>
#include <string>

class QQuickItem;

// What an overlay is: the program's dashboard overlay by default.
struct OverlayDescription {
    enum class Kind { Dashboard, World };

    Kind kind = Kind::Dashboard;
    std::string key = "nerqvr.vrplatform";
    std::string name = "NERQ I/O";
    float widthInMeters = 3.0f;
    // Laser-pointer events in page pixels, scrolling included.
    bool pointer = true;
    // Dashboard overlays: res/thumbicon.png beside the executable as the tab's icon.
    bool thumbnail = true;
    // A critical message box on a failure someone at the screen can act on; a service has
    // nobody there.
    bool askUser = true;
};

// An overlay of the VR runtime showing a rendered page: connects to the runtime (the program),
// creates the overlay (a dashboard tab with its thumbnail, or a world overlay), and submits every
// rendered frame while the overlay or its thumbnail is visible.
class VROverlay : public ProcessTexture
{
public:
    VROverlay();
    explicit VROverlay(OverlayDescription description);

    // Connects as an overlay application and checks the interface versions. Returns 0;
    // every failure throws std::runtime_error, some after a critical message box.
    int init();
    // The first interface version the connected runtime lacks, or null when it has them all.
    static const char* missingInterfaceVersion();
    // Creates and configures the overlay for the page's root item (only its size is read).
    // Returns 0; throws std::runtime_error when the overlay cannot be created.
    int open(QQuickItem* rootItem);
    // The runtime connection is gone, and the overlay with it: frames go nowhere until open.
    void forget();
    bool isOpen() const { return overlayHandle != vr::k_ulOverlayHandleInvalid; }

    void processTexture(uint32_t textureName) override;

    vr::VROverlayHandle_t getOverlayHandle() const { return overlayHandle; }
    vr::VROverlayHandle_t getThumbnailHandle() const { return thumbnailHandle; }

private:
    void create(vr::IVROverlay* overlay);
    void configure(vr::IVROverlay* overlay, QQuickItem* rootItem);

    OverlayDescription description;
    vr::VROverlayHandle_t overlayHandle;
    vr::VROverlayHandle_t thumbnailHandle;
};
