// One line of vrsim's event-script format, arbitrary bytes.

#include "eventscript.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void fail(const char* what, const std::string& line)
{
    std::fprintf(stderr, "%s for line of %zu bytes\n", what, line.size());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the times the line is read at, so relative and absolute times meet
    // both a fresh script and one far along.
    double previousDueMs = 0;
    double nowMs = 0;
    if (size > 0) {
        previousDueMs = (data[0] & 0x0f) * 250.0;
        nowMs = (data[0] >> 4) * 1000.0;
        ++data;
        --size;
    }
    const std::string line(reinterpret_cast<const char*>(data), size);

    vrsim::ScriptEntry entry;
    std::string error;
    if (!vrsim::EventScript::parseLine(line, previousDueMs, nowMs, &entry, &error)) {
        if (error.empty())
            fail("rejected without a reason", line);
        return 0;
    }
    if (!error.empty())
        fail("accepted with a reason", line);
    // Times are never negative and never NaN: '@' and '+' take only non-negative numbers.
    if (!(entry.dueMs >= 0))
        fail("negative or NaN due time", line);
    // Only keyboard text, a dashboard tab's key and a scene's application key may be quoted, and
    // a zero byte can only sit inside quotes: every other token must match a word or be a number
    // as a whole.
    const bool mayQuote = entry.hasKeyboardText || entry.kind == vrsim::ScriptEntry::Kind::Dashboard
                          || entry.kind == vrsim::ScriptEntry::Kind::Scene;
    if (!mayQuote && line.find('"') != std::string::npos)
        fail("accepted a quoted token outside keyboard text", line);
    if (line.find('"') == std::string::npos && line.find('\0') != std::string::npos)
        fail("accepted a zero byte outside quotes", line);
    if (entry.kind != vrsim::ScriptEntry::Kind::Visibility) {
        const auto& mouse = entry.event.data.mouse;
        if (entry.event.eventType == vr::VREvent_MouseMove && mouse.button != 0)
            fail("move with a button", line);
    }
    return 0;
}
