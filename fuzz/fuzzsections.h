#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Inputs of the fuzzers that build a small world of files or messages: a few sections, each
// starting with a line "==== <name>"; the bytes before the first one are a preamble whose first
// byte some fuzzers read as flags.
struct Section {
    QString name;
    QByteArray content;
};

constexpr int kMaxSections = 16;

// The preamble's first byte (0 when there is none) and at most kMaxSections sections in order.
std::vector<Section> splitSections(const QByteArray& input, uint8_t* flags);
