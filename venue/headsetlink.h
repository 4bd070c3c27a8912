#pragma once

#include "sessionstatus.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>
#include <variant>

class QLocalSocket;

// The local link between the station agent and nerq-headset: UTF-8 JSON objects, one a line,
// over a local socket (a named pipe on Windows), never through the broker. The agent listens,
// the headset connects. Each message type below says which way it goes; every message carries
// its "type" ("view", "notice", "hello", "runtime", "help", "done").

enum class ViewLanguage { Chinese, English }; // "cn", "en"

struct SessionView {
    using State = SessionState; // the session as the station's status has it

    State state = State::Running;
    qint64 remainingMs = 0; // counted down by the headset from the moment the view arrived
    qint64 seconds = 0;     // bought in all
    QString gameId;         // empty: none
    qint64 graceMs = 0;     // in TimeUp: left before the game is ended

    bool operator==(const SessionView& other) const;
};

struct HelpView {
    enum class State { Sent, Answered, Unreachable };

    State state = State::Sent;
    QString by; // who answered; empty: nobody named

    bool operator==(const HelpView& other) const;
};

// Agent -> headset, on connect and at every change: what the headset shows.
struct HeadsetView {
    ViewLanguage language = ViewLanguage::Chinese;
    std::optional<SessionView> session;
    std::optional<HelpView> help;
    bool ready = false;

    QByteArray toJson() const;
    static bool parse(const QJsonObject& object, HeadsetView* view, QString* error);
    bool operator==(const HeadsetView& other) const;
};

// Agent -> headset: a notice to show for a while (the time bought, minutes left).
struct HeadsetNotice {
    enum class Kind { Started, Warning };

    Kind kind = Kind::Started;
    qint64 seconds = 0;

    // "N minutes left": the seconds in whole minutes, rounded, at least 1.
    qint64 minutes() const;
    QByteArray toJson() const;
    static bool parse(const QJsonObject& object, HeadsetNotice* notice, QString* error);
};

// Headset -> agent, first on every connect.
struct HeadsetHello {
    qint64 pid = 0;
    QString version;

    QByteArray toJson() const;
    static bool parse(const QJsonObject& object, HeadsetHello* hello, QString* error);
};

// Headset -> agent, after the hello and whenever the runtime or its scene process changes.
struct HeadsetRuntime {
    bool vr = false;
    quint32 sceneProcess = 0; // 0: none

    QByteArray toJson() const;
    static bool parse(const QJsonObject& object, HeadsetRuntime* runtime, QString* error);
    bool operator==(const HeadsetRuntime& other) const { return vr == other.vr && sceneProcess == other.sceneProcess; }
};

// Headset -> agent: the customer pressed the call-for-help button.
struct HeadsetHelpCall {
    QByteArray toJson() const;
};

// Headset -> agent: the customer confirmed "I am done".
struct HeadsetDone {
    QByteArray toJson() const;
};

using AgentMessage = std::variant<HeadsetView, HeadsetNotice>;
using HeadsetMessage = std::variant<HeadsetHello, HeadsetRuntime, HeadsetHelpCall, HeadsetDone>;

// What a received object turned out to be. An unknown type is skipped (a newer peer may send
// more); an invalid message of a known type means the peer cannot be trusted.
enum class LinkVerdict { Message, UnknownType, Invalid };

template <typename Message>
struct LinkParsed {
    LinkVerdict verdict = LinkVerdict::Invalid;
    Message message;
    QString reason; // Invalid: why; UnknownType: the type
};

// One end of the link on a connected local socket: splits what arrives into lines and hands out
// each line's object; writes messages a line each. A line over kMaxLineBytes, or one that is not
// a JSON object, closes the connection (rejected, once). Lives as the socket's child.
class HeadsetLink : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxLineBytes = 64 * 1024;

    // Linux: <runtime folder>/nerqvrplatform-<station>.sock; Windows: the pipe
    // nerqvrplatform-<station>-<user name>.
    static QString serverName(const QString& station);

    static LinkParsed<AgentMessage> fromAgent(const QJsonObject& object);
    static LinkParsed<HeadsetMessage> fromHeadset(const QJsonObject& object);

    explicit HeadsetLink(QLocalSocket* socket);

    // The message's JSON and a line end. False when the socket is not connected.
    bool send(const QByteArray& json);
    // Takes in, now, the lines the peer has sent so far: called before the connection is given up
    // for a newer one, so that what the older peer said last (a help call) is not dropped unread.
    void readPending();
    QLocalSocket* socket() const { return m_socket; }
    bool isRejected() const { return m_rejected; }

signals:
    void received(const QJsonObject& message);
    // The peer broke the framing; the socket is closed already.
    void rejected(const QString& reason);

private:
    void readAvailable();
    bool takeLine(const QByteArray& line);
    void reject(const QString& reason);

    QLocalSocket* m_socket;
    QByteArray m_buffer;
    bool m_rejected = false;
};
