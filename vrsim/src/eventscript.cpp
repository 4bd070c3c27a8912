#include "eventscript.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

namespace vrsim {

namespace {

// An unterminated last line is taken as complete once the file has stopped growing this long.
constexpr double kPartialLineGraceMs = 500;

bool parseNumber(const std::string& text, double* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    // The whole token: a quoted one starts with a zero byte, and a line may hold one too.
    return end == text.c_str() + text.size() && errno == 0 && std::isfinite(*value);
}

bool parseUnsigned(const std::string& text, unsigned long long* value)
{
    if (text.empty() || text[0] == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(text.c_str(), &end, 0);
    return end == text.c_str() + text.size() && errno == 0;
}

// Splits on blanks; a double-quoted token keeps its blanks and takes \" and \\ escapes.
bool tokenize(const std::string& line, std::vector<std::string>* tokens, std::string* error)
{
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        std::string token;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size())
                    token += line[i++];
                else
                    token += c;
            }
            if (!closed) {
                *error = "unterminated quoted text";
                return false;
            }
            // Marks a quoted token, so "" is still a token and cannot be mistaken for a word.
            token.insert(token.begin(), '\0');
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
                // A zero byte would pass for the quoted-token mark below.
                if (line[i] == '\0') {
                    *error = "zero byte outside quoted text";
                    return false;
                }
                token += line[i++];
            }
        }
        tokens->push_back(token);
    }
    return true;
}

bool isQuoted(const std::string& token)
{
    return !token.empty() && token[0] == '\0';
}

bool parseButton(const std::string& text, uint32_t* button)
{
    if (text == "left")
        *button = vr::VRMouseButton_Left;
    else if (text == "right")
        *button = vr::VRMouseButton_Right;
    else if (text == "middle")
        *button = vr::VRMouseButton_Middle;
    else {
        unsigned long long value = 0;
        if (!parseUnsigned(text, &value) || value > 0xffffffffULL)
            return false;
        *button = static_cast<uint32_t>(value);
    }
    return true;
}

bool expectCount(const std::vector<std::string>& args, size_t low, size_t high, const std::string& kind,
                 std::string* error)
{
    if (args.size() >= low && args.size() <= high)
        return true;
    *error = "wrong number of arguments for " + kind;
    return false;
}

bool parseEvent(const std::string& kind, const std::vector<std::string>& args, ScriptEntry* entry, std::string* error)
{
    vr::VREvent_t& event = entry->event;
    double x = 0;
    double y = 0;
    if (kind == "move" || kind == "down" || kind == "up") {
        if (!expectCount(args, 2, kind == "move" ? 2 : 3, kind, error))
            return false;
        if (!parseNumber(args[0], &x) || !parseNumber(args[1], &y)) {
            *error = "coordinates must be numbers";
            return false;
        }
        uint32_t button = kind == "move" ? 0 : vr::VRMouseButton_Left;
        if (args.size() == 3 && !parseButton(args[2], &button)) {
            *error = "unknown button \"" + args[2] + "\"";
            return false;
        }
        event.eventType = kind == "move"   ? vr::VREvent_MouseMove
                          : kind == "down" ? vr::VREvent_MouseButtonDown
                                           : vr::VREvent_MouseButtonUp;
        event.data.mouse.x = static_cast<float>(x);
        event.data.mouse.y = static_cast<float>(y);
        event.data.mouse.button = button;
    } else if (kind == "scroll") {
        if (!expectCount(args, 2, 2, kind, error))
            return false;
        if (!parseNumber(args[0], &x) || !parseNumber(args[1], &y)) {
            *error = "scroll deltas must be numbers";
            return false;
        }
        event.eventType = vr::VREvent_Scroll;
        event.data.scroll.xdelta = static_cast<float>(x);
        event.data.scroll.ydelta = static_cast<float>(y);
        event.data.scroll.repeatCount = 1;
    } else if (kind == "shown" || kind == "quit") {
        if (!expectCount(args, 0, 0, kind, error))
            return false;
        event.eventType = kind == "shown" ? vr::VREvent_OverlayShown : vr::VREvent_Quit;
    } else if (kind == "keyboard") {
        if (!expectCount(args, 1, 2, kind, error))
            return false;
        if (!isQuoted(args[0])) {
            *error = "keyboard text must be in double quotes";
            return false;
        }
        unsigned long long userValue = 0;
        if (args.size() == 2 && !parseUnsigned(args[1], &userValue)) {
            *error = "user value must be an unsigned number";
            return false;
        }
        event.eventType = vr::VREvent_KeyboardDone;
        event.data.keyboard.uUserValue = userValue;
        entry->hasKeyboardText = true;
        entry->keyboardText = args[0].substr(1);
    } else if (kind == "event") {
        unsigned long long type = 0;
        if (!expectCount(args, 1, 1, kind, error))
            return false;
        if (!parseUnsigned(args[0], &type) || type > 0xffffffffULL) {
            *error = "event type must be an unsigned number";
            return false;
        }
        event.eventType = static_cast<uint32_t>(type);
    } else {
        *error = "unknown event \"" + kind + "\"";
        return false;
    }
    return true;
}

bool parsePid(const std::string& text, uint32_t* pid)
{
    unsigned long long value = 0;
    if (!parseUnsigned(text, &value) || value > 0xffffffffULL)
        return false;
    *pid = static_cast<uint32_t>(value);
    return true;
}

// dashboard open [<key>] | dashboard close, scene <pid> [<app key>], process-quit <pid> [forced].
bool parseRuntimeChange(const std::string& target, const std::vector<std::string>& args, ScriptEntry* entry,
                        std::string* error)
{
    if (target == "dashboard") {
        const bool open = !args.empty() && args[0] == "open";
        if (args.empty() || (!open && args[0] != "close") || args.size() > (open ? 2u : 1u)) {
            *error = "expected: dashboard open [<key>] | dashboard close";
            return false;
        }
        entry->kind = ScriptEntry::Kind::Dashboard;
        entry->visible = open;
        entry->key = args.size() == 2 ? args[1].substr(isQuoted(args[1]) ? 1 : 0) : std::string();
        return true;
    }
    const bool scene = target == "scene";
    if (args.empty() || args.size() > 2 || !parsePid(args[0], &entry->pid)
        || (!scene && args.size() == 2 && args[1] != "forced")) {
        *error = scene ? "expected: scene <pid> [<app key>]" : "expected: process-quit <pid> [forced]";
        return false;
    }
    entry->kind = scene ? ScriptEntry::Kind::Scene : ScriptEntry::Kind::ProcessQuit;
    if (scene && args.size() == 2)
        entry->key = args[1].substr(isQuoted(args[1]) ? 1 : 0);
    entry->forced = !scene && args.size() == 2;
    return true;
}

} // namespace

EventScript::EventScript(std::string path)
    : m_path(std::move(path))
{}

EventScript::~EventScript()
{
    if (m_file)
        std::fclose(m_file);
}

bool EventScript::parseLine(const std::string& line, double previousDueMs, double nowMs, ScriptEntry* entry,
                            std::string* error)
{
    std::vector<std::string> tokens;
    if (!tokenize(line, &tokens, error))
        return false;
    size_t next = 0;
    entry->dueMs = nowMs;
    if (!tokens.empty() && !isQuoted(tokens[0]) && (tokens[0][0] == '@' || tokens[0][0] == '+')) {
        double ms = 0;
        if (!parseNumber(tokens[0].substr(1), &ms) || ms < 0) {
            *error = "bad time \"" + tokens[0] + "\"";
            return false;
        }
        entry->dueMs = tokens[0][0] == '@' ? ms : previousDueMs + ms;
        ++next;
    }
    if (tokens.size() <= next) {
        *error = "time without an event";
        return false;
    }
    const std::string target = tokens[next++];
    std::vector<std::string> args(tokens.begin() + static_cast<long>(next), tokens.end());

    if (target == "visible") {
        if (args.size() != 2 || (args[0] != "overlay" && args[0] != "thumbnail")
            || (args[1] != "0" && args[1] != "1")) {
            *error = "expected: visible overlay|thumbnail 0|1";
            return false;
        }
        entry->kind = ScriptEntry::Kind::Visibility;
        entry->thumbnail = args[0] == "thumbnail";
        entry->visible = args[1] == "1";
        return true;
    }
    if (target == "dashboard" || target == "scene" || target == "process-quit")
        return parseRuntimeChange(target, args, entry, error);
    if (target != "overlay" && target != "system") {
        *error = "expected overlay, system, visible, dashboard, scene or process-quit, not \"" + target + "\"";
        return false;
    }
    if (args.empty()) {
        *error = "missing event kind";
        return false;
    }
    entry->kind = target == "overlay" ? ScriptEntry::Kind::OverlayEvent : ScriptEntry::Kind::SystemEvent;
    const std::string kind = args.front();
    args.erase(args.begin());
    return parseEvent(kind, args, entry, error);
}

void EventScript::handleLine(const std::string& rawLine, double nowMs)
{
    ++m_lineNumber;
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#')
        return;

    ScriptEntry entry;
    std::string error;
    if (!parseLine(line, m_previousDueMs, nowMs, &entry, &error)) {
        std::fprintf(stderr, "vrsim: %s:%d: %s; line skipped: %s\n", m_path.c_str(), m_lineNumber, error.c_str(),
                     line.c_str());
        return;
    }
    entry.line = m_lineNumber;
    m_previousDueMs = entry.dueMs;
    m_pending.push_back(entry);
}

void EventScript::readAppended(double nowMs)
{
    if (!m_file) {
        m_file = std::fopen(m_path.c_str(), "rb");
        if (!m_file) {
            if (!m_reportedMissing)
                std::fprintf(stderr, "vrsim: event script \"%s\" not readable yet: %s\n", m_path.c_str(),
                             std::strerror(errno));
            m_reportedMissing = true;
            return;
        }
    }
    struct stat info = {};
    if (stat(m_path.c_str(), &info) == 0 && info.st_size < m_offset) {
        std::fprintf(stderr, "vrsim: event script \"%s\" shrank; reading it from the start\n", m_path.c_str());
        m_offset = 0;
        m_lineNumber = 0;
        m_partial.clear();
    }
    std::clearerr(m_file);
    if (std::fseek(m_file, m_offset, SEEK_SET) != 0)
        return;
    char buffer[4096];
    bool grew = false;
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, m_file)) > 0) {
        grew = true;
        m_offset += static_cast<long>(count);
        m_partial.append(buffer, count);
    }
    size_t start = 0;
    size_t end;
    while ((end = m_partial.find('\n', start)) != std::string::npos) {
        handleLine(m_partial.substr(start, end - start), nowMs);
        start = end + 1;
    }
    m_partial.erase(0, start);
    if (grew)
        m_partialSinceMs = nowMs;
    else if (!m_partial.empty() && nowMs - m_partialSinceMs >= kPartialLineGraceMs) {
        handleLine(m_partial, nowMs);
        m_partial.clear();
    }
}

std::vector<ScriptEntry> EventScript::takeDue(double nowMs)
{
    readAppended(nowMs);
    std::stable_sort(m_pending.begin(), m_pending.end(),
                     [](const ScriptEntry& a, const ScriptEntry& b) { return a.dueMs < b.dueMs; });
    const auto firstLater = std::find_if(m_pending.begin(), m_pending.end(),
                                         [nowMs](const ScriptEntry& entry) { return entry.dueMs > nowMs; });
    const auto dueCount = firstLater - m_pending.begin();
    std::vector<ScriptEntry> due(std::make_move_iterator(m_pending.begin()),
                                 std::make_move_iterator(m_pending.begin() + dueCount));
    m_pending.erase(m_pending.begin(), m_pending.begin() + dueCount);
    return due;
}

} // namespace vrsim
