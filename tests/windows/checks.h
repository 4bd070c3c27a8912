#pragma once

#include <string>

// A very small test harness for the cross-compiled programs, so no test framework has to be
// built for Windows. A failed check reports itself and leaves the current case.
namespace Checks {

using CaseFunction = void (*)();

bool addCase(const char* name, CaseFunction function);
void fail(const char* file, int line, const std::string& what);

// Runs every case, or only those named on the command line; 0 when all passed.
int runCases(int argc, char** argv);

std::string hex(const void* data, std::size_t size);

template <typename Record>
std::string hexOf(const Record& record)
{
    return hex(&record, sizeof(Record));
}

} // namespace Checks

#define CHECK_CASE(name)                                                                                               \
    static void name();                                                                                                \
    static const bool name##Added = Checks::addCase(#name, name);                                                      \
    static void name()

#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            Checks::fail(__FILE__, __LINE__, #condition);                                                              \
            return;                                                                                                    \
        }                                                                                                              \
    } while (false)

// Compares two values that std::to_string or std::string can show.
#define CHECK_EQUAL(actual, expected)                                                                                  \
    do {                                                                                                               \
        const auto& checkActual = (actual);                                                                            \
        const auto& checkExpected = (expected);                                                                        \
        if (!(checkActual == checkExpected)) {                                                                         \
            Checks::fail(__FILE__, __LINE__,                                                                           \
                         std::string(#actual " == " #expected ": got ") + Checks::show(checkActual) + ", expected "    \
                             + Checks::show(checkExpected));                                                           \
            return;                                                                                                    \
        }                                                                                                              \
    } while (false)

// Runs code that must throw the int `code`.
#define CHECK_THROWS_CODE(statement, code)                                                                             \
    do {                                                                                                               \
        int checkThrown = 0;                                                                                           \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (int thrown) {                                                                                         \
            checkThrown = thrown;                                                                                      \
        }                                                                                                              \
        CHECK_EQUAL(checkThrown, code);                                                                                \
    } while (false)

namespace Checks {

inline std::string show(const std::string& value)
{
    return '"' + value + '"';
}

inline std::string show(const char* value)
{
    return show(std::string(value));
}

template <typename Number>
std::string show(Number value)
{
    return std::to_string(value);
}

} // namespace Checks
