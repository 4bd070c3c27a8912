#include "gamedetector.h"

#include "gameitem.h"
#include "gamemodel.h"

#include <easylogging++.h>
#include <json/json.h>

#include <QTimer>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

// The classic strict reader (no comments, array or object at the top, 1000 levels deep) is the
// catalogue's documented dialect; its replacement differs in what it accepts.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif

namespace {

constexpr int kReloadIntervalMs = 30000;

std::string readWholeFile(const std::string& path)
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

} // namespace

GameDetector::GameDetector(std::shared_ptr<GameModel> model, CatalogueFile catalogueFileFn)
    : jsonReader(std::make_unique<Json::Reader>(Json::Features::strictMode()))
    , gameModel(std::move(model))
    , catalogueFile(std::move(catalogueFileFn))
{}

GameDetector::~GameDetector() = default;

int GameDetector::initReloadTimer()
{
    reloadTimer = std::make_unique<QTimer>();
    reloadTimer->setInterval(kReloadIntervalMs);
    reloadTimer->setSingleShot(false);
    connect(reloadTimer.get(), &QTimer::timeout, this, &GameDetector::LoadGameData);
    return 0;
}

int GameDetector::startReloadTimer()
{
    if (reloadTimer)
        reloadTimer->start();
    return 0;
}

bool GameDetector::parseCatalogue(const std::string& content, Json::Value& root)
{
    // The reader throws instead of failing on nesting past its limit or on exhausted memory;
    // that is still just an unusable file, and the program must keep running.
    try {
        return jsonReader->parse(content, root, false);
    } catch (const std::exception&) {
        return false;
    }
}

void GameDetector::LoadGameData()
{
    Json::Value root;
    if (!parseCatalogue(readWholeFile(catalogueFile()), root)) {
        LOG(ERROR) << "Parse json file failed, invalid json file!";
        return;
    }
    // The size is asked again before each entry, as a list that changes size mid-pass would need.
    for (Json::ArrayIndex i = 0; i < root.size(); ++i) {
        try {
            addEntry(root[i]);
        } catch (const std::exception& e) {
            LOG(ERROR) << "Parse json file failed, error is " << e.what();
        }
    }
}

void GameDetector::addEntry(Json::Value& entry)
{
    // Keys are read in this fixed order, so the first bad key is the one reported.
    const std::string gameId = entry["gameId"].asString();
    const std::string gameName = entry["gameName"].asString();
    const std::string imgPath = entry["imgPath"].asString();
    const bool isNative = entry["isNative"].asBool();
    const std::string launcherPath = entry["launcherPath"].asString();
    const int steamGameId = entry["steamGameId"].asInt();
    const int gameMode = entry["gameMode"].asInt();

    auto item = std::make_unique<GameItem>();
    item->setGameInfo(QString::fromStdString(gameId), QString::fromStdString(gameName), QString::fromStdString(imgPath),
                      isNative, QString::fromStdString(launcherPath), steamGameId, gameMode);
    gameModel->addGame(item.release());
}

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
