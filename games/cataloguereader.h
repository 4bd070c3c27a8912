#pragma once

#include <exception>
#include <memory>
#include <string>

class GameItem;
namespace Json {
class Reader;
class Value;
} // namespace Json

// The first key of a catalogue entry whose value cannot be read. what() is the JSON library's own
// text, which is what the loader logs; key() tells a checking tool which key it was.
class CatalogueEntryError : public std::exception
{
public:
    CatalogueEntryError(std::string key, std::string message);
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& key() const { return m_key; }

private:
    std::string m_key;
    std::string m_message;
};

// Reads the game catalogue the program's way: the whole file, strict JSON, and each entry's keys
// with the library's conversions. The loader and the catalogue tool both read through it, so the
// tool's verdict on a file is the program's.
class CatalogueReader
{
public:
    CatalogueReader();
    ~CatalogueReader();
    CatalogueReader(const CatalogueReader&) = delete;
    CatalogueReader& operator=(const CatalogueReader&) = delete;

    // The whole content of a regular file; empty when there is none or it cannot be read.
    static std::string readFile(const std::string& path);

    // Strict JSON, as the program accepts it. On failure `reason`, when given, gets the library's
    // explanation; the program then loads nothing from the file.
    bool parse(const std::string& content, Json::Value& root, std::string* reason = nullptr);

    // One entry as the loader turns it into a game. Reading an entry may add its missing keys as
    // null, as the library's lookup does; pass a copy to keep the original. Throws
    // CatalogueEntryError for the first key, in the catalogue's key order, that cannot be read.
    static std::unique_ptr<GameItem> readEntry(Json::Value& entry);

private:
    std::unique_ptr<Json::Reader> m_reader;
};
