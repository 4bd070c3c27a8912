#include "trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vrsim {

namespace {
// Enough for a long session; the file keeps everything regardless.
constexpr size_t kMaxKeptLines = 100000;
} // namespace

Trace::Trace()
{
    open();
}

Trace::~Trace()
{
    if (m_file)
        std::fclose(m_file);
}

void Trace::open()
{
    const char* path = std::getenv("VRSIM_TRACE");
    if (!path || !*path)
        return;
    m_file = std::fopen(path, "a");
    if (!m_file)
        std::fprintf(stderr, "vrsim: cannot open trace file \"%s\": %s\n", path, std::strerror(errno));
}

void Trace::write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_lines.size() < kMaxKeptLines)
        m_lines.push_back(line);
    if (m_file) {
        std::fputs(line.c_str(), m_file);
        std::fputc('\n', m_file);
        std::fflush(m_file);
    }
}

std::vector<std::string> Trace::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

void Trace::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    open();
}

std::string Trace::quoted(const char* text)
{
    if (!text)
        return "null";
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Trace::number(float value)
{
    // The shortest text that reads back as the same float: 3 stays "3", 0.05f stays "0.05".
    char text[32];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    return text;
}

} // namespace vrsim
