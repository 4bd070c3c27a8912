#pragma once

#include "headsetlink.h"

#include <QObject>
#include <QString>
#include <QTimer>

// nerq-headset's connection to the VR runtime, as a background application: it never starts the
// runtime nor keeps it running. While there is none it asks again every 5 s, logging the change
// once. Connected, it watches the system events: the runtime's quit (it lets go and waits for the
// next runtime) and the scene process changing.
class RuntimeConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRetryMs = 5000;
    static constexpr int kPollMs = 100;

    explicit RuntimeConnection(QObject* parent = nullptr);

    void start();
    bool isConnected() const { return m_connected; }
    HeadsetRuntime runtime() const { return {m_connected, m_sceneProcess}; }
    // The runtime asked us to quit (on any queue): let it go and wait for the next one.
    void letGo(const QString& reason);

signals:
    void connected();
    // The overlays died with the connection.
    void disconnected();
    // Whether there is a runtime, and the scene process, changed.
    void runtimeChanged(const HeadsetRuntime& runtime);

private:
    void tryConnect();
    void poll();
    void readSceneProcess();

    bool m_connected = false;
    quint32 m_sceneProcess = 0;
    bool m_reported = false;
    QTimer m_retry;
    QTimer m_poll;
};
