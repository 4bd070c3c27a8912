// main() for the fuzzers when they are not built with libFuzzer: replays every seed, then runs
// deterministic mutations of them (seeded PRNG) for a bounded time, so every CTest run repeats
// the fuzzing a little. Takes a subset of libFuzzer's options with the same meaning:
//   -max_total_time=<s> -runs=<n> -seed=<n> -max_len=<bytes> -timeout=<s> -dict=<file>
//   -close_fd_mask=1|2|3 (the target's own stdout / stderr go to /dev/null; the driver's reports
//   do not)
// and then seed files or directories, which it only reads.
// A crash or an input that runs longer than -timeout leaves the input in ./crash-<name> or
// ./timeout-<name> in the working directory and ends the run with an error.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

using Bytes = std::vector<uint8_t>;

struct Options {
    double maxTotalTime = 3;
    long long runs = -1;
    unsigned seed = 1;
    size_t maxLen = 4096;
    unsigned timeout = 20;
    bool quietStdout = false;
    bool quietStderr = false;
    std::vector<std::string> dicts;
    std::vector<std::string> inputs;
};

// What the signal handlers need; set before every call into the target.
int g_reportFd = 2;
// The directory the driver was started in: a target may change the working directory.
int g_startDirFd = AT_FDCWD;
const uint8_t* g_current = nullptr;
size_t g_currentSize = 0;

void writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n <= 0)
            return;
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void report(const char* text)
{
    writeAll(g_reportFd, text, std::strlen(text));
}

// Async-signal-safe: only open/write/close.
void saveCurrentInput(const char* file)
{
    const int fd = openat(g_startDirFd, file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        writeAll(fd, g_current, g_currentSize);
        close(fd);
    }
    report("fuzz driver: input saved as ");
    report(file);
    report("\n");
}

void onCrash(int sig)
{
    report(sig == SIGALRM ? "fuzz driver: input ran past the time limit\n" : "fuzz driver: the target crashed\n");
    saveCurrentInput(sig == SIGALRM ? "timeout-input" : "crash-input");
    std::signal(sig, SIG_DFL);
    if (sig == SIGALRM)
        _exit(70);
    raise(sig);
}

bool readFile(const std::string& path, Bytes* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool isDirectory(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Directory entries in name order, so the replay order does not depend on the file system.
std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string path = dir + "/" + e->d_name;
            if (e->d_name[0] != '.' && !isDirectory(path))
                names.push_back(path);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// libFuzzer dictionary lines: [name=]"value" with \\, \" and \xNN escapes; # comments.
std::vector<Bytes> readDictionary(const std::string& path)
{
    std::vector<Bytes> words;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open)
            continue;
        Bytes word;
        for (size_t i = open + 1; i < close; ++i) {
            if (line[i] == '\\' && i + 1 < close) {
                if (line[i + 1] == 'x' && i + 3 < close && hexValue(line[i + 2]) >= 0 && hexValue(line[i + 3]) >= 0) {
                    word.push_back(static_cast<uint8_t>(hexValue(line[i + 2]) * 16 + hexValue(line[i + 3])));
                    i += 3;
                } else {
                    word.push_back(static_cast<uint8_t>(line[++i]));
                }
            } else {
                word.push_back(static_cast<uint8_t>(line[i]));
            }
        }
        words.push_back(word);
    }
    return words;
}

// "-name=value": the value, or nullptr when arg is another option.
const char* optionValue(const std::string& arg, const char* name)
{
    const size_t n = std::strlen(name);
    return arg.compare(0, n, name) == 0 ? arg.c_str() + n : nullptr;
}

bool parseArgs(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* v = nullptr;
        if ((v = optionValue(arg, "-max_total_time=")))
            options->maxTotalTime = std::atof(v);
        else if ((v = optionValue(arg, "-runs=")))
            options->runs = std::atoll(v);
        else if ((v = optionValue(arg, "-seed=")))
            options->seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
        else if ((v = optionValue(arg, "-max_len=")))
            options->maxLen = static_cast<size_t>(std::strtoul(v, nullptr, 10));
        else if ((v = optionValue(arg, "-timeout=")))
            options->timeout = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
        else if ((v = optionValue(arg, "-dict=")))
            options->dicts.push_back(v);
        else if ((v = optionValue(arg, "-close_fd_mask="))) {
            options->quietStdout = (std::atoi(v) & 1) != 0;
            options->quietStderr = (std::atoi(v) & 2) != 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "fuzz driver: unknown option %s\n", arg.c_str());
            return false;
        } else
            options->inputs.push_back(arg);
    }
    return true;
}

class Mutator
{
public:
    Mutator(unsigned seed, size_t maxLen, std::vector<Bytes> dictionary)
        : m_rng(seed)
        , m_maxLen(maxLen)
        , m_dictionary(std::move(dictionary))
    {}

    Bytes mutate(const std::vector<Bytes>& seeds)
    {
        Bytes data = seeds[below(seeds.size())];
        const size_t steps = 1 + below(4);
        for (size_t s = 0; s < steps; ++s)
            step(&data, seeds);
        if (data.size() > m_maxLen)
            data.resize(m_maxLen);
        return data;
    }

private:
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(m_rng() % n); }

    uint8_t interestingByte()
    {
        static const uint8_t bytes[] = {0,   1,   '\n', '\r', '"', '\\', ' ', '#', '-',  '+',  '@',
                                        '[', ']', '{',  '}',  ',', ':',  '0', '9', 0x7f, 0x80, 0xff};
        return below(2) ? bytes[below(sizeof bytes)] : static_cast<uint8_t>(m_rng());
    }

    void step(Bytes* data, const std::vector<Bytes>& seeds)
    {
        const size_t pos = below(data->size() + 1);
        switch (below(m_dictionary.empty() ? 7 : 8)) {
        case 0: // flip a bit
            if (!data->empty())
                (*data)[below(data->size())] ^= static_cast<uint8_t>(1u << below(8));
            break;
        case 1: // replace a byte
            if (!data->empty())
                (*data)[below(data->size())] = interestingByte();
            break;
        case 2: // insert a few bytes
            data->insert(data->begin() + static_cast<long>(pos), 1 + below(4), interestingByte());
            break;
        case 3: { // delete a range
            const size_t n = std::min(data->size() - std::min(pos, data->size()), 1 + below(16));
            data->erase(data->begin() + static_cast<long>(pos), data->begin() + static_cast<long>(pos + n));
            break;
        }
        case 4: { // duplicate a range in place
            if (data->empty())
                break;
            const size_t from = below(data->size());
            const size_t n = 1 + below(std::min<size_t>(data->size() - from, 64));
            const Bytes copy(data->begin() + static_cast<long>(from), data->begin() + static_cast<long>(from + n));
            data->insert(data->begin() + static_cast<long>(pos), copy.begin(), copy.end());
            break;
        }
        case 5: { // splice: this input's head, another seed's tail
            const Bytes& other = seeds[below(seeds.size())];
            const size_t cut = below(other.size() + 1);
            data->resize(pos);
            data->insert(data->end(), other.begin() + static_cast<long>(cut), other.end());
            break;
        }
        case 6: // truncate
            data->resize(pos);
            break;
        default: { // a dictionary word
            const Bytes& word = m_dictionary[below(m_dictionary.size())];
            data->insert(data->begin() + static_cast<long>(pos), word.begin(), word.end());
            break;
        }
        }
    }

    std::mt19937 m_rng;
    size_t m_maxLen;
    std::vector<Bytes> m_dictionary;
};

void runOne(const Bytes& input, unsigned timeout)
{
    g_current = input.data();
    g_currentSize = input.size();
    alarm(timeout);
    // A copy of exactly the input's size, so a read past the end is an overrun and not a
    // read of the vector's spare capacity.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() ? input.size() : 1]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
    alarm(0);
}

// Paths as given, resolved before the target's set-up may change the working directory.
void makeAbsolute(std::vector<std::string>* paths)
{
    for (std::string& path : *paths) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseArgs(argc, argv, &options))
        return 2;
    makeAbsolute(&options.inputs);
    makeAbsolute(&options.dicts);
    g_startDirFd = open(".", O_RDONLY | O_DIRECTORY);
    if (g_startDirFd < 0)
        g_startDirFd = AT_FDCWD;
    if (options.quietStdout) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0)
            return 2;
        close(null);
    }
    if (options.quietStderr) {
        g_reportFd = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        if (g_reportFd < 0 || null < 0 || dup2(null, 2) < 0)
            return 2;
        close(null);
    }
    for (int sig : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL, SIGALRM})
        std::signal(sig, onCrash);
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::vector<Bytes> seeds;
    for (const std::string& input : options.inputs) {
        const std::vector<std::string> files = isDirectory(input) ? filesIn(input) : std::vector<std::string>{input};
        for (const std::string& file : files) {
            Bytes bytes;
            if (!readFile(file, &bytes)) {
                report(("fuzz driver: cannot read " + file + "\n").c_str());
                return 2;
            }
            seeds.push_back(bytes);
        }
    }
    if (seeds.empty())
        seeds.emplace_back(); // fuzz from nothing
    std::vector<Bytes> dictionary;
    for (const std::string& dict : options.dicts) {
        const std::vector<Bytes> words = readDictionary(dict);
        dictionary.insert(dictionary.end(), words.begin(), words.end());
    }

    for (const Bytes& seed : seeds)
        runOne(seed, options.timeout);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.maxTotalTime));
    Mutator mutator(options.seed, options.maxLen, dictionary);
    long long runs = 0;
    while ((options.runs < 0 || runs < options.runs) && Clock::now() < deadline) {
        runOne(mutator.mutate(seeds), options.timeout);
        ++runs;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string summary = "fuzz driver: " + std::to_string(seeds.size()) + " seeds replayed, "
                                + std::to_string(runs) + " mutated inputs in " + std::to_string(seconds) + " s, seed "
                                + std::to_string(options.seed) + "\n";
    report(summary.c_str());
    return 0;
}
