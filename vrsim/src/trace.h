// The call trace: one line per API call, appended to VRSIM_TRACE and kept in memory for tests.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vrsim {

class Trace
{
public:
    Trace();
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    void write(const std::string& line);
    std::vector<std::string> lines() const;
    // Forgets the kept lines and reopens VRSIM_TRACE, which may have changed.
    void reset();

    static std::string quoted(const char* text);
    static std::string number(float value);

private:
    void open();

    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    std::vector<std::string> m_lines;
};

} // namespace vrsim
