#pragma once

#include <easylogging++.h>

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// Records every log record dispatched while it lives, so tests can assert on what the program
// told the user without reading log files.
class LogCapture
{
public:
    struct Record {
        el::Level level;
        std::string file; // base name without directory or extension, e.g. "gamedetector"
        std::string func;
        std::string message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<Record>& records() const;
    // Messages of one level, in order.
    QStringList messages(el::Level level) const;
    QStringList errors() const { return messages(el::Level::Error); }
    QStringList warnings() const { return messages(el::Level::Warning); }
    QStringList infos() const { return messages(el::Level::Info); }
    void clear();

private:
    std::string m_id;
};
