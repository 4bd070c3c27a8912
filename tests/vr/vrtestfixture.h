#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QQuickItem;
class VROverlay;

// One dashboard overlay per test process: its key is unique across the simulated runtime, so
// it is opened once and shared by every test case. Each process gets its own state directory,
// so parallel test runs never meet.
class VrTestFixture
{
public:
    // Connects to the simulated runtime and opens the overlay for a page of the given size.
    // Fails the calling test (returns false) if any step throws.
    bool open(qreal pageWidth, qreal pageHeight);
    VROverlay* overlay() const { return m_overlay.get(); }

private:
    QTemporaryDir m_stateDir;
    std::unique_ptr<QQuickItem> m_sizeItem;
    std::unique_ptr<VROverlay> m_overlay;
};
