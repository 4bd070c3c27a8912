#pragma once

#include <cstddef>
#include <string>

// One report line for a record: local ISO time with milliseconds, block name, the text up to
// the first zero byte (non-printables escaped) and every byte in hex, e.g.
//   2026-12-08T10:11:12.345 Velkano_Game text="START2" hex=53 54 41 52 54 32 00 00 00 00
std::string recordLine(const char* block, const unsigned char* bytes, std::size_t size);

// The text part alone: printable ASCII as is, '"' and '\' backslash-escaped, others as \xNN.
std::string recordText(const unsigned char* bytes, std::size_t size);
