// The agent <-> nerq-headset link's messages, from either side: each line of the input is read as
// a JSON object and parsed as the agent and as the headset would. A message taken must come back
// the same through its own JSON, so what one side sends the other reads as meant.

#include "headsetlink.h"
#include "venuejson.h"

#include <QJsonDocument>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <variant>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& line)
{
    std::fprintf(stderr, "headset link: %s: %s\n", what, line.left(200).constData());
    std::abort();
}

QJsonObject reread(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

bool same(const HeadsetView& a, const HeadsetView& b)
{
    return a == b;
}
bool same(const HeadsetNotice& a, const HeadsetNotice& b)
{
    return a.kind == b.kind && a.seconds == b.seconds && a.minutes() >= 1;
}
bool same(const HeadsetHello& a, const HeadsetHello& b)
{
    return a.pid == b.pid && a.version == b.version;
}
bool same(const HeadsetRuntime& a, const HeadsetRuntime& b)
{
    return a == b;
}
bool same(const HeadsetHelpCall&, const HeadsetHelpCall&)
{
    return true;
}
bool same(const HeadsetDone&, const HeadsetDone&)
{
    return true;
}

// Parses as one side does; a message taken is written and read again.
template <typename Variant>
void check(LinkParsed<Variant> (*parse)(const QJsonObject&), const QJsonObject& object, const QByteArray& line)
{
    const LinkParsed<Variant> parsed = parse(object);
    if (parsed.verdict != LinkVerdict::Message) {
        if (parsed.reason.isEmpty())
            fail("refused without a reason", line);
        return;
    }
    std::visit(
        [&](const auto& message) {
            using Message = std::decay_t<decltype(message)>;
            const LinkParsed<Variant> again = parse(reread(message.toJson()));
            if (again.verdict != LinkVerdict::Message || !std::holds_alternative<Message>(again.message)
                || !same(std::get<Message>(again.message), message))
                fail("a message changed on its way", line);
        },
        parsed.message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QList<QByteArray> lines = input.split('\n');
    for (const QByteArray& line : lines) {
        // As the link reads a line.
        QJsonObject object;
        QString why;
        if (!VenueJson::readObject(line, &object, &why)) {
            if (why.isEmpty())
                fail("a line refused without a reason", line);
            continue;
        }
        check(&HeadsetLink::fromAgent, object, line);
        check(&HeadsetLink::fromHeadset, object, line);
    }
    return 0;
}
