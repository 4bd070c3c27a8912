#pragma once

#include "headsetlink.h"
#include "overlaysurface.h"

#include <QObject>
#include <QQmlEngine>
#include <QString>

class HeadsetState;
class RuntimeConnection;

// What the customer sees in the headset: the notice, a small world overlay that follows the
// head, shown while there is something to say; and the session tab, a dashboard overlay of its
// own, which the dashboard opens on once a session's time is up. Both pages draw the state.
class HeadsetDisplay : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kNoticeKey = "nerqvr.notice";
    static constexpr const char* kSessionKey = "nerqvr.session";

    // The pages are <resources>/headset/{notice,session}_{cn,en}.qml.
    HeadsetDisplay(HeadsetState& state, RuntimeConnection& runtime, QString resources);

    // The OpenGL contexts and the pages in the state's language; throws std::runtime_error when
    // there is no OpenGL, false when a page cannot be loaded.
    bool create();
    bool loadPages(ViewLanguage language);

private:
    void runtimeConnected();
    void runtimeDisconnected();
    // The notice shown or hidden, the dashboard opened, as the state asks.
    void follow();
    void placeNotice();

    HeadsetState& m_state;
    RuntimeConnection& m_runtime;
    QString m_resources;
    QQmlEngine m_engine;
    OverlaySurface m_notice;
    OverlaySurface m_tab;
    bool m_noticeShown = false;
};
