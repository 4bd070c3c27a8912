#include "logcapture.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<LogCapture::Record>* g_sink = nullptr;

std::string baseName(const std::string& path)
{
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    return name.substr(0, name.find('.'));
}

class Callback : public el::LogDispatchCallback
{
protected:
    void handle(const el::LogDispatchData* data) override
    {
        const el::LogMessage* m = data->logMessage();
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_sink)
            g_sink->push_back({m->level(), baseName(m->file()), m->func(), m->message()});
    }
};

std::vector<LogCapture::Record> g_records;

// Each capture installs its callback under its own name.
std::string nextCallbackId()
{
    static std::atomic<int> counter{0};
    return "logcapture" + std::to_string(counter++);
}

} // namespace

LogCapture::LogCapture()
    : m_id(nextCallbackId())
{
    el::Helpers::installLogDispatchCallback<Callback>(m_id);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.clear();
    g_sink = &g_records;
}

LogCapture::~LogCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_sink = nullptr;
    }
    el::Helpers::uninstallLogDispatchCallback<Callback>(m_id);
}

const std::vector<LogCapture::Record>& LogCapture::records() const
{
    return g_records;
}

QStringList LogCapture::messages(el::Level level) const
{
    QStringList out;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const Record& r : g_records)
        if (r.level == level)
            out << QString::fromStdString(r.message);
    return out;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.clear();
}
