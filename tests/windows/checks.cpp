#include "checks.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace Checks {
namespace {

struct Case {
    const char* name;
    CaseFunction function;
};

std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}

bool currentFailed = false;

bool wanted(const char* name, int argc, char** argv)
{
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

} // namespace

bool addCase(const char* name, CaseFunction function)
{
    cases().push_back({name, function});
    return true;
}

void fail(const char* file, int line, const std::string& what)
{
    currentFailed = true;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
}

int runCases(int argc, char** argv)
{
    int run = 0;
    int failed = 0;
    for (const Case& c : cases()) {
        if (!wanted(c.name, argc, argv))
            continue;
        currentFailed = false;
        try {
            c.function();
        } catch (...) {
            fail(__FILE__, __LINE__, "unexpected exception");
        }
        std::printf("%s %s\n", currentFailed ? "FAIL" : "PASS", c.name);
        std::fflush(stdout);
        ++run;
        failed += currentFailed ? 1 : 0;
    }
    std::printf("%d cases, %d failed\n", run, failed);
    return run > 0 && failed == 0 ? 0 : 1;
}

std::string hex(const void* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xf];
    }
    return text;
}

} // namespace Checks
