// The peer's report of a shared-memory record: the service's blocks can hold any bytes.
// The text part must be printable ASCII that unescapes back to the bytes before the first zero;
// the hex part must list every byte.

#include "recordline.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "record line: %s\n", what);
    std::abort();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string unescape(const std::string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (i + 1 >= text.size())
            fail("dangling backslash");
        if (text[i + 1] == 'x') {
            if (i + 3 >= text.size() || hexDigit(text[i + 2]) < 0 || hexDigit(text[i + 3]) < 0)
                fail("bad \\x escape");
            bytes += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            bytes += text[i + 1];
            ++i;
        }
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = recordText(data, size);
    for (char c : text) {
        if (c < 0x20 || c >= 0x7f)
            fail("unprintable character in the text");
    }
    size_t end = 0;
    while (end < size && data[end] != 0)
        ++end;
    if (unescape(text) != std::string(reinterpret_cast<const char*>(data), end))
        fail("text does not unescape to the record's bytes");

    const std::string line = recordLine("Velkano_Game", data, size);
    const std::string textPart = " Velkano_Game text=\"" + text + "\" hex=";
    const size_t at = line.find(textPart);
    if (at == std::string::npos)
        fail("line lacks its block name and text");
    const std::string hex = line.substr(at + textPart.size());
    // "xx" per byte, separated by single blanks.
    if (hex.size() != (size == 0 ? 0 : size * 3 - 1))
        fail("hex part has the wrong length");
    for (size_t i = 0; i < size; ++i) {
        if (hexDigit(hex[i * 3]) * 16 + hexDigit(hex[i * 3 + 1]) != data[i])
            fail("hex part does not match the bytes");
    }
    return 0;
}
