#pragma once

#include "processtexture.h"

#include <openvr.h>

#include <cstdint>

class QQuickItem;

// The program's dashboard overlay: connects to the VR runtime, creates the overlay and its
// thumbnail, and submits every rendered frame while either of them is visible.
class VROverlay : public ProcessTexture
{
public:
    VROverlay();

    // Connects as an overlay application and checks the interface versions. Returns 0;
    // every failure throws std::runtime_error, some after a critical message box.
    int init();
    // Creates and configures the dashboard overlay for the page's root item (only its size is
    // read). Returns 0; throws std::runtime_error when the overlay cannot be created.
    int open(QQuickItem* rootItem);

    void processTexture(uint32_t textureName) override;

    vr::VROverlayHandle_t getOverlayHandle() const { return overlayHandle; }
    vr::VROverlayHandle_t getThumbnailHandle() const { return thumbnailHandle; }

private:
    vr::VROverlayHandle_t overlayHandle;
    vr::VROverlayHandle_t thumbnailHandle;
};
