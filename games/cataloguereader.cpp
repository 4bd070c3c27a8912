#include "cataloguereader.h"

#include "gameitem.h"

#include <json/json.h>

#include <QString>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

// The classic strict reader (no comments, array or object at the top, 1000 levels deep) is the
// catalogue's documented dialect; its replacement differs in what it accepts.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif

namespace {

template <typename Convert>
auto readKey(Json::Value& entry, const char* key, Convert convert)
{
    try {
        return convert(entry[key]);
    } catch (const std::exception& e) {
        throw CatalogueEntryError(key, e.what());
    }
}

QString readText(Json::Value& entry, const char* key)
{
    return QString::fromStdString(readKey(entry, key, [](const Json::Value& v) { return v.asString(); }));
}

int readInt(Json::Value& entry, const char* key)
{
    return readKey(entry, key, [](const Json::Value& v) { return v.asInt(); });
}

} // namespace

CatalogueEntryError::CatalogueEntryError(std::string key, std::string message)
    : m_key(std::move(key))
    , m_message(std::move(message))
{}

CatalogueReader::CatalogueReader()
    : m_reader(std::make_unique<Json::Reader>(Json::Features::strictMode()))
{}

CatalogueReader::~CatalogueReader() = default;

std::string CatalogueReader::readFile(const std::string& path)
{
    // Only a regular file has an end: a named pipe would block the GUI thread in open() until
    // some writer appears, and a device such as /dev/zero would be read until memory runs out.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::ifstream in(path);
    if (!in)
        return {};
    // The stream library throws, rather than failing, when the read itself goes wrong (a
    // directory swapped in after the check, an I/O error); that is an unreadable file too.
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return {};
    }
}

bool CatalogueReader::parse(const std::string& content, Json::Value& root, std::string* reason)
{
    // The reader throws instead of failing on nesting past its limit or on exhausted memory;
    // that is still just an unusable file, and the program must keep running.
    try {
        const bool parsed = m_reader->parse(content, root, false);
        if (!parsed && reason)
            *reason = m_reader->getFormattedErrorMessages();
        return parsed;
    } catch (const std::exception& e) {
        if (reason)
            *reason = e.what();
        return false;
    }
}

std::unique_ptr<GameItem> CatalogueReader::readEntry(Json::Value& entry)
{
    // Keys are read in this fixed order, so the first bad key is the one reported.
    const QString gameId = readText(entry, "gameId");
    const QString gameName = readText(entry, "gameName");
    const QString imgPath = readText(entry, "imgPath");
    const bool isNative = readKey(entry, "isNative", [](const Json::Value& v) { return v.asBool(); });
    const QString launcherPath = readText(entry, "launcherPath");
    const int steamGameId = readInt(entry, "steamGameId");
    const int gameMode = readInt(entry, "gameMode");

    auto item = std::make_unique<GameItem>();
    item->setGameInfo(gameId, gameName, imgPath, isNative, launcherPath, steamGameId, gameMode);
    return item;
}

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
