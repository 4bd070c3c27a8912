// The scripted event source: a text file read a little further on every poll, so lines appended
// while the program runs are picked up. Format in vrsim/README.md.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <openvr.h>

namespace vrsim {

struct ScriptEntry {
    enum class Kind { OverlayEvent, SystemEvent, Visibility, Dashboard, Scene, ProcessQuit };

    Kind kind = Kind::OverlayEvent;
    double dueMs = 0; // since the connection was made
    int line = 0;
    vr::VREvent_t event = {};
    bool hasKeyboardText = false;
    std::string keyboardText;
    bool thumbnail = false; // Visibility: which surface
    bool visible = false;   // Visibility: shown; Dashboard: open
    std::string key;        // Dashboard: the tab; Scene: the application key
    uint32_t pid = 0;       // Scene, ProcessQuit
    bool forced = false;    // ProcessQuit
};

class EventScript
{
public:
    explicit EventScript(std::string path);
    ~EventScript();
    EventScript(const EventScript&) = delete;
    EventScript& operator=(const EventScript&) = delete;

    // Reads what was appended since the last call and hands out the entries due by nowMs,
    // in due order (file order among equal times).
    std::vector<ScriptEntry> takeDue(double nowMs);

    // One line of the format; false with a reason for a bad line.
    static bool parseLine(const std::string& line, double previousDueMs, double nowMs, ScriptEntry* entry,
                          std::string* error);

private:
    void readAppended(double nowMs);
    void handleLine(const std::string& line, double nowMs);

    std::string m_path;
    std::FILE* m_file = nullptr;
    bool m_reportedMissing = false;
    long m_offset = 0;
    int m_lineNumber = 0;
    std::string m_partial;
    double m_partialSinceMs = 0;
    double m_previousDueMs = 0;
    std::vector<ScriptEntry> m_pending;
};

} // namespace vrsim
