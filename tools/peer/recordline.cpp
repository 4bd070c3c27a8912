#include "recordline.h"

#include <QDateTime>

#include <cstdio>

std::string recordText(const unsigned char* bytes, std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size && bytes[i] != 0; ++i) {
        const unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

std::string recordLine(const char* block, const unsigned char* bytes, std::size_t size)
{
    std::string line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toStdString();
    line += ' ';
    line += block;
    line += " text=\"" + recordText(bytes, size) + "\" hex=";
    for (std::size_t i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), i ? " %02x" : "%02x", bytes[i]);
        line += hex;
    }
    return line;
}
