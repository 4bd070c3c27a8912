#pragma once

#include "headsetlink.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

class QLocalSocket;

// The agent's end of the local link to nerq-headset: listens where the headset looks for it, one
// headset at a time (a newer connection replaces the older), sends it the view at connect, at
// every change and at each warning, and the notices; hands on what the customer pressed and how
// the VR runtime stands. The session never depends on it: a headset that is gone, stuck or
// talking nonsense changes nothing but what the customer sees.
class HeadsetServer : public QObject
{
    Q_OBJECT

public:
    using ViewSource = std::function<HeadsetView()>;

    HeadsetServer(QString serverName, ViewSource view, QObject* parent = nullptr);
    ~HeadsetServer() override;

    // False, logged, when it cannot listen: the station goes on without a headset display.
    bool listen();
    // The view as it stands now, to the headset when one is connected.
    void sendView();
    void sendNotice(const HeadsetNotice& notice);

    bool connected() const;
    // The last report of a connected headset; no runtime while none is connected.
    HeadsetRuntime runtime() const;
    // The headset's own process (its hello), 0 when not known.
    qint64 headsetPid() const { return connected() ? m_pid : 0; }
    // `headset`: whether nerq-headset runs and has the VR runtime.
    void addTo(QJsonObject& status) const;

signals:
    // Connected or gone: what the status says of the headset changed.
    void changed();
    // A connected headset reported the runtime (its scene process with it).
    void runtimeReported(const HeadsetRuntime& runtime);
    void helpCalled();
    void doneConfirmed();

private:
    void accept();
    void received(const QJsonObject& message);
    void drop(const QString& reason);
    void handle(const HeadsetMessage& message);

    QString m_serverName;
    ViewSource m_view;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_socket;
    QPointer<HeadsetLink> m_link;
    qint64 m_pid = 0;
    HeadsetRuntime m_runtime;
    QSet<QString> m_unknownTypes;
};
