// vrsim's incremental event-script reader over a file that grows in chunks, polled in between.
// Where the chunks end must not matter: the entries handed out over the run are exactly the
// lines that parse when the whole text is read at once, each handed out once, in due order.

#include "eventscript.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_path;

void removeScript()
{
    std::remove(g_path.c_str());
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "event script reader: %s\n", what);
    std::abort();
}

// The line numbers that parse, reading the text as a whole the way the reader splits it.
std::vector<int> acceptedLines(const std::string& text)
{
    std::vector<int> lines;
    size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        vrsim::ScriptEntry entry;
        std::string error;
        if (vrsim::EventScript::parseLine(line, 0, 0, &entry, &error))
            lines.push_back(number);
    }
    return lines;
}

void take(vrsim::EventScript& script, double nowMs, std::vector<int>* seen)
{
    const std::vector<vrsim::ScriptEntry> due = script.takeDue(nowMs);
    for (size_t i = 0; i < due.size(); ++i) {
        if (due[i].dueMs > nowMs)
            fail("entry handed out before it was due");
        if (i > 0 && due[i].dueMs < due[i - 1].dueMs)
            fail("entries out of due order");
        seen->push_back(due[i].line);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_path = "/tmp/nerq-fuzz-eventscript-" + std::to_string(getpid()) + ".txt";
    std::atexit(removeScript);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Layout: one byte of chunking seed, then the script text.
    if (size < 1)
        return 0;
    unsigned chunkSeed = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::FILE* out = std::fopen(g_path.c_str(), "wb");
    if (!out)
        std::abort();
    vrsim::EventScript script(g_path);
    std::vector<int> seen;
    double nowMs = 0;
    size_t written = 0;
    while (written < text.size()) {
        // Chunk lengths and poll gaps from a small generator, so one seed byte yields a whole
        // schedule. Gaps stay under the half second after which a partial line counts as ended.
        chunkSeed = chunkSeed * 1103515245u + 12345u;
        const size_t chunk = std::min<size_t>(text.size() - written, 1 + (chunkSeed >> 16) % 97);
        if (std::fwrite(text.data() + written, 1, chunk, out) != chunk || std::fflush(out) != 0)
            std::abort();
        written += chunk;
        nowMs += (chunkSeed >> 8) % 200;
        take(script, nowMs, &seen);
        if (chunkSeed & 1) { // a poll that finds nothing new
            nowMs += (chunkSeed >> 4) % 200;
            take(script, nowMs, &seen);
        }
    }
    std::fclose(out);
    // The unterminated last line once the file has been still long enough, then everything.
    take(script, nowMs + 1000, &seen);
    take(script, std::numeric_limits<double>::infinity(), &seen);

    std::sort(seen.begin(), seen.end());
    if (std::adjacent_find(seen.begin(), seen.end()) != seen.end())
        fail("a line handed out twice");
    if (seen != acceptedLines(text))
        fail("the lines handed out differ from the lines that parse");
    return 0;
}
