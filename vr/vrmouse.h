#pragma once

#include <openvr.h>

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>

class NerqOffWindow;
class QQuickWindow;
class QTimer;
class VROverlay;

// Turns the runtime's laser-pointer events on an overlay into Qt mouse and wheel events for
// the offscreen window, every 20 ms. Also handles the runtime's quit request, re-renders when
// the overlay is shown and reports text typed on the runtime's keyboard.
class VRMouse : public QObject
{
    Q_OBJECT

public:
    // Neither overlay nor renderer is owned; the overlay must be open (its handle is copied).
    VRMouse(VROverlay* overlay, NerqOffWindow* renderer, bool useSystemEvents);
    // The pump of any overlay, by its handle.
    VRMouse(vr::VROverlayHandle_t overlay, NerqOffWindow* renderer, bool useSystemEvents);
    ~VRMouse() override;

    // The overlay was made again (a new connection): its events come under a new handle.
    void setOverlayHandle(vr::VROverlayHandle_t overlay) { overlayHandle = overlay; }
    // false: a quit request stops the pump and says so (quitRequested) instead of ending the
    // application, for a program that outlives the runtime. The pump may be started again.
    void setExitOnQuit(bool exit) { exitOnQuit = exit; }

    // A repeating 20 ms pump timer, replacing any earlier one.
    int initPumpTimer();
    // 0 when the timer was started; -1 without a timer (none yet, or gone after a quit) or
    // when it already runs.
    int startPump();
    // Stops a running pump (the runtime went away); startPump starts it again.
    void stopPump();

    // For tests only: the pump state lives once per process, so each test case starts from
    // the state a fresh process would have.
    static void resetPumpState();

signals:
    void keyBoardInputSignal(QString input, unsigned long userValue = 0);
    void mousePositionChange();
    // The runtime shows or hides the overlay (a dashboard tab opened or left).
    void overlayShown();
    void overlayHidden();
    void quitRequested();

public slots:
    void OnTimeoutPumpEvents();

private:
    // Returns false when the pump must stop at once (after a quit).
    bool handleEvent(const vr::VREvent_t& event);
    void sendButtonEvent(const vr::VREvent_Mouse_t& mouse, bool pressed);
    void sendMouseEvent(QEvent::Type type, const QPoint& position, Qt::MouseButton button);
    void sendWheelEvent(const vr::VREvent_Scroll_t& scroll);
    void quit();
    void reportKeyboardText(uint64_t userValue);

    vr::VROverlayHandle_t overlayHandle;
    std::shared_ptr<QQuickWindow> window;
    bool useSystemEvents;
    bool exitOnQuit = true;
    std::unique_ptr<QTimer> pumpTimer;

    // Only one pump exists per process; its state outlives any one tick.
    static QPoint lastPosition;
    static Qt::MouseButtons pressedButtons;
};
