#include "headsetlink.h"

#include "jsonfields.h"
#include "venuejson.h"
#include "venuepaths.h"

#include <QLocalSocket>
#include <QPointer>

#include <algorithm>
#include <utility>

using VenueJson::compact;
using VenueJson::textOrNull;

namespace {

// Whole numbers within what a JSON number carries exactly.
constexpr qint64 kMaxExact = 9007199254740992LL;

const char* const kHelpStates[] = {"sent", "answered", "unreachable"};

QJsonValue sessionJson(const std::optional<SessionView>& session)
{
    if (!session)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{"state", sessionStateName(session->state)},
                       {"remainingMs", double(std::max<qint64>(0, session->remainingMs))},
                       {"seconds", double(std::max<qint64>(0, session->seconds))},
                       {"gameId", textOrNull(session->gameId)},
                       {"graceMs", double(std::max<qint64>(0, session->graceMs))}};
}

QJsonValue helpJson(const std::optional<HelpView>& help)
{
    if (!help)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{"state", kHelpStates[static_cast<int>(help->state)]}, {"by", textOrNull(help->by)}};
}

bool parseSession(const QJsonObject& object, SessionView* session, QString* error)
{
    JsonFields fields(object, "session");
    session->state = static_cast<SessionView::State>(
        fields.choice("state", {kSessionStateNames[0], kSessionStateNames[1], kSessionStateNames[2]}));
    session->remainingMs = fields.integer("remainingMs", 0, kMaxExact);
    session->seconds = fields.integer("seconds", 0, kMaxExact);
    session->gameId = fields.optionalText("gameId");
    session->graceMs = fields.integer("graceMs", 0, kMaxExact);
    return fields.finish(error);
}

bool parseHelp(const QJsonObject& object, HelpView* help, QString* error)
{
    JsonFields fields(object, "help");
    help->state =
        static_cast<HelpView::State>(fields.choice("state", {kHelpStates[0], kHelpStates[1], kHelpStates[2]}));
    help->by = fields.optionalText("by");
    return fields.finish(error);
}

template <typename Message, typename Variant>
bool parseInto(const QJsonObject& object, LinkParsed<Variant>* parsed)
{
    Message message;
    if (!Message::parse(object, &message, &parsed->reason))
        return false;
    parsed->verdict = LinkVerdict::Message;
    parsed->message = message;
    return true;
}

template <typename Variant>
LinkParsed<Variant> unknownType(const QString& type)
{
    LinkParsed<Variant> parsed;
    parsed.verdict = LinkVerdict::UnknownType;
    parsed.reason = type;
    return parsed;
}

// The "type" of a message, or empty with the reason set.
template <typename Variant>
QString typeOf(const QJsonObject& object, LinkParsed<Variant>* parsed)
{
    const QJsonValue type = object.value("type");
    if (!type.isString() || type.toString().isEmpty())
        parsed->reason = "\"type\" must be a text";
    return type.toString().left(JsonFields::kMaxTextLength);
}

} // namespace

bool SessionView::operator==(const SessionView& other) const
{
    return state == other.state && remainingMs == other.remainingMs && seconds == other.seconds
           && gameId == other.gameId && graceMs == other.graceMs;
}

bool HelpView::operator==(const HelpView& other) const
{
    return state == other.state && by == other.by;
}

QByteArray HeadsetView::toJson() const
{
    return compact(QJsonObject{{"type", "view"},
                               {"language", language == ViewLanguage::English ? "en" : "cn"},
                               {"session", sessionJson(session)},
                               {"help", helpJson(help)},
                               {"ready", ready}});
}

bool HeadsetView::parse(const QJsonObject& object, HeadsetView* view, QString* error)
{
    HeadsetView result;
    JsonFields fields(object, "view");
    result.language = static_cast<ViewLanguage>(fields.choice("language", {"cn", "en"}));
    result.ready = fields.boolean("ready");
    QJsonObject part;
    if (fields.ok() && fields.objectOrNull("session", &part) == 1) {
        result.session = SessionView();
        if (!parseSession(part, &*result.session, error))
            return false;
    }
    if (fields.ok() && fields.objectOrNull("help", &part) == 1) {
        result.help = HelpView();
        if (!parseHelp(part, &*result.help, error))
            return false;
    }
    if (!fields.finish(error))
        return false;
    *view = result;
    return true;
}

bool HeadsetView::operator==(const HeadsetView& other) const
{
    return language == other.language && session == other.session && help == other.help && ready == other.ready;
}

qint64 HeadsetNotice::minutes() const
{
    return std::max<qint64>(1, (seconds + 30) / 60);
}

QByteArray HeadsetNotice::toJson() const
{
    return compact(QJsonObject{
        {"type", "notice"}, {"kind", kind == Kind::Warning ? "warning" : "started"}, {"seconds", double(seconds)}});
}

bool HeadsetNotice::parse(const QJsonObject& object, HeadsetNotice* notice, QString* error)
{
    JsonFields fields(object, "notice");
    HeadsetNotice result;
    result.kind = static_cast<Kind>(fields.choice("kind", {"started", "warning"}));
    result.seconds = fields.integer("seconds", 0, kMaxExact);
    if (!fields.finish(error))
        return false;
    *notice = result;
    return true;
}

QByteArray HeadsetHello::toJson() const
{
    return compact(QJsonObject{{"type", "hello"}, {"pid", double(pid)}, {"version", version}});
}

bool HeadsetHello::parse(const QJsonObject& object, HeadsetHello* hello, QString* error)
{
    JsonFields fields(object, "hello");
    HeadsetHello result;
    result.pid = fields.integer("pid", 1, 0x7fffffff);
    result.version = fields.text("version");
    if (!fields.finish(error))
        return false;
    *hello = result;
    return true;
}

QByteArray HeadsetRuntime::toJson() const
{
    return compact(QJsonObject{{"type", "runtime"}, {"vr", vr}, {"sceneProcess", double(sceneProcess)}});
}

bool HeadsetRuntime::parse(const QJsonObject& object, HeadsetRuntime* runtime, QString* error)
{
    JsonFields fields(object, "runtime");
    HeadsetRuntime result;
    result.vr = fields.boolean("vr");
    result.sceneProcess = static_cast<quint32>(fields.integer("sceneProcess", 0, 0xffffffffLL));
    if (!fields.finish(error))
        return false;
    *runtime = result;
    return true;
}

QByteArray HeadsetHelpCall::toJson() const
{
    return compact(QJsonObject{{"type", "help"}});
}

QByteArray HeadsetDone::toJson() const
{
    return compact(QJsonObject{{"type", "done"}});
}

QString HeadsetLink::serverName(const QString& station)
{
    return VenuePaths::localServerName("nerqvrplatform-" + station);
}

LinkParsed<AgentMessage> HeadsetLink::fromAgent(const QJsonObject& object)
{
    LinkParsed<AgentMessage> parsed;
    const QString type = typeOf(object, &parsed);
    if (type == QLatin1String("view"))
        parseInto<HeadsetView>(object, &parsed);
    else if (type == QLatin1String("notice"))
        parseInto<HeadsetNotice>(object, &parsed);
    else if (parsed.reason.isEmpty())
        return unknownType<AgentMessage>(type);
    return parsed;
}

LinkParsed<HeadsetMessage> HeadsetLink::fromHeadset(const QJsonObject& object)
{
    LinkParsed<HeadsetMessage> parsed;
    const QString type = typeOf(object, &parsed);
    if (type == QLatin1String("hello")) {
        parseInto<HeadsetHello>(object, &parsed);
    } else if (type == QLatin1String("runtime")) {
        parseInto<HeadsetRuntime>(object, &parsed);
    } else if (type == QLatin1String("help") || type == QLatin1String("done")) {
        parsed.verdict = LinkVerdict::Message;
        if (type == QLatin1String("help"))
            parsed.message = HeadsetHelpCall();
        else
            parsed.message = HeadsetDone();
    } else if (parsed.reason.isEmpty()) {
        return unknownType<HeadsetMessage>(type);
    }
    return parsed;
}

HeadsetLink::HeadsetLink(QLocalSocket* socket)
    : QObject(socket)
    , m_socket(socket)
{
    connect(socket, &QLocalSocket::readyRead, this, &HeadsetLink::readAvailable);
}

bool HeadsetLink::send(const QByteArray& json)
{
    if (m_rejected || m_socket->state() != QLocalSocket::ConnectedState)
        return false;
    return m_socket->write(json + '\n') == json.size() + 1;
}

void HeadsetLink::readPending()
{
    // Bounded: a peer that goes on writing cannot keep the caller here.
    for (int round = 0; round < 16 && !m_rejected && m_socket->state() == QLocalSocket::ConnectedState; ++round) {
        if (!m_socket->waitForReadyRead(0)) // emits readyRead, so the lines are taken as they come
            break;
    }
    readAvailable();
}

void HeadsetLink::readAvailable()
{
    // In pieces, so a peer that floods without line ends never makes the buffer large.
    while (!m_rejected && m_socket->isOpen() && m_socket->bytesAvailable() > 0) {
        m_buffer += m_socket->read(kMaxLineBytes + 1);
        int start = 0;
        int end;
        while ((end = m_buffer.indexOf('\n', start)) >= 0) {
            // A receiver may close or delete the connection; nothing more is read then.
            if (!takeLine(m_buffer.mid(start, end - start)))
                return;
            start = end + 1;
        }
        m_buffer.remove(0, start);
        if (m_buffer.size() > kMaxLineBytes) {
            reject(QString("a line longer than %1 bytes").arg(kMaxLineBytes));
            return;
        }
    }
}

bool HeadsetLink::takeLine(const QByteArray& line)
{
    if (line.size() > kMaxLineBytes) {
        reject(QString("a line longer than %1 bytes").arg(kMaxLineBytes));
        return false;
    }
    QJsonObject object;
    QString why;
    if (!VenueJson::readObject(line, &object, &why)) {
        reject("a line that is " + why);
        return false;
    }
    const QPointer<HeadsetLink> alive(this);
    emit received(object);
    // cppcheck-suppress knownConditionTrueFalse ; a receiver may delete the connection
    return alive && !m_rejected && m_socket->isOpen();
}

void HeadsetLink::reject(const QString& reason)
{
    if (m_rejected)
        return;
    m_rejected = true;
    m_buffer.clear();
    // Told before the socket goes, so the owner can log it while everything is still there.
    const QPointer<HeadsetLink> alive(this);
    emit rejected(reason);
    // cppcheck-suppress knownConditionTrueFalse ; a receiver may delete the connection
    if (alive)
        m_socket->abort();
}
