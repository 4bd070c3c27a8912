#include "appregistry.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <json/json.h>
#include <openvr.h>

#include "filelock.h"

namespace vrsim {

namespace {

bool parseJson(const std::string& text, Json::Value* root, std::string* errors)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), root, errors);
}

bool readFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return !in.bad();
}

// The keys a manifest declares, or an empty list when it is not a usable manifest.
std::vector<std::string> manifestKeys(const std::string& path)
{
    std::string text;
    if (!readFile(path, &text)) {
        std::fprintf(stderr, "vrsim: cannot read manifest \"%s\"\n", path.c_str());
        return {};
    }
    Json::Value root;
    std::string errors;
    if (!parseJson(text, &root, &errors) || !root.isObject() || !root["applications"].isArray()) {
        std::fprintf(stderr, "vrsim: manifest \"%s\" is not valid: %s\n", path.c_str(),
                     errors.empty() ? "no \"applications\" array" : errors.c_str());
        return {};
    }
    std::vector<std::string> keys;
    for (const Json::Value& application : root["applications"]) {
        if (!application.isObject() || !application["app_key"].isString()
            || application["app_key"].asString().empty()) {
            std::fprintf(stderr, "vrsim: manifest \"%s\" has an application without \"app_key\"\n", path.c_str());
            return {};
        }
        keys.push_back(application["app_key"].asString());
    }
    if (keys.empty())
        std::fprintf(stderr, "vrsim: manifest \"%s\" declares no application\n", path.c_str());
    return keys;
}

} // namespace

AppRegistry::AppRegistry(std::string stateDir)
    : m_stateDir(std::move(stateDir))
    , m_file(m_stateDir + "/applications.json")
    , m_lockFile(m_stateDir + "/applications.lock")
{}

std::string AppRegistry::normalisePath(const std::string& path)
{
    QString text = QString::fromStdString(path);
    // Callers hand over native separators; a backslash path that names nothing as written is
    // read with forward slashes.
    if (text.contains(QLatin1Char('\\')) && !QFileInfo::exists(text))
        text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir::current().absoluteFilePath(text)).toStdString();
}

bool AppRegistry::declares(const Manifest& manifest, const std::string& key)
{
    return std::find(manifest.keys.begin(), manifest.keys.end(), key) != manifest.keys.end();
}

AppRegistry::State AppRegistry::load() const
{
    State state;
    std::string text;
    if (!readFile(m_file, &text))
        return state;
    Json::Value root;
    std::string errors;
    if (!parseJson(text, &root, &errors) || !root.isObject()) {
        std::fprintf(stderr, "vrsim: registry \"%s\" is damaged, starting empty: %s\n", m_file.c_str(), errors.c_str());
        return state;
    }
    for (const Json::Value& entry : root["manifests"]) {
        if (!entry.isObject() || !entry["path"].isString())
            continue;
        Manifest manifest;
        manifest.path = entry["path"].asString();
        manifest.workingDirectory = entry["working_directory"].asString();
        for (const Json::Value& key : entry["keys"])
            if (key.isString())
                manifest.keys.push_back(key.asString());
        state.manifests.push_back(manifest);
    }
    for (const Json::Value& key : root["auto_launch"])
        if (key.isString())
            state.autoLaunchKeys.push_back(key.asString());
    return state;
}

bool AppRegistry::save(const State& state) const
{
    Json::Value root(Json::objectValue);
    root["manifests"] = Json::Value(Json::arrayValue);
    for (const Manifest& manifest : state.manifests) {
        Json::Value entry(Json::objectValue);
        entry["path"] = manifest.path;
        entry["working_directory"] = manifest.workingDirectory;
        entry["keys"] = Json::Value(Json::arrayValue);
        for (const std::string& key : manifest.keys)
            entry["keys"].append(key);
        root["manifests"].append(entry);
    }
    root["auto_launch"] = Json::Value(Json::arrayValue);
    for (const std::string& key : state.autoLaunchKeys)
        root["auto_launch"].append(key);

    // Written aside and renamed, so a reader never sees half a file.
    const std::string temporary = m_file + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << Json::StyledWriter().write(root);
        if (!out) {
            std::fprintf(stderr, "vrsim: cannot write registry \"%s\"\n", temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), m_file.c_str()) != 0) {
        std::fprintf(stderr, "vrsim: cannot replace registry \"%s\"\n", m_file.c_str());
        return false;
    }
    return true;
}

AppRegistry::State AppRegistry::merged() const
{
    State state = load();
    state.manifests.insert(state.manifests.end(), m_temporary.begin(), m_temporary.end());
    return state;
}

int AppRegistry::addManifest(const std::string& path, bool temporary)
{
    const std::string manifestPath = normalisePath(path);
    Manifest manifest;
    manifest.path = manifestPath;
    manifest.workingDirectory =
        QDir::toNativeSeparators(QFileInfo(QString::fromStdString(manifestPath)).absolutePath()).toStdString();
    manifest.keys = manifestKeys(manifestPath);
    if (manifest.keys.empty())
        return vr::VRApplicationError_InvalidManifest;

    auto samePath = [&](const Manifest& other) { return other.path == manifestPath; };
    if (temporary) {
        m_temporary.erase(std::remove_if(m_temporary.begin(), m_temporary.end(), samePath), m_temporary.end());
        m_temporary.push_back(manifest);
        return vr::VRApplicationError_None;
    }

    FileLock lock;
    if (lock.acquire(m_lockFile, true) != FileLock::Result::Acquired)
        return vr::VRApplicationError_IPCFailed;
    State state = load();
    // Registering the same manifest again refreshes it and makes it the latest.
    state.manifests.erase(std::remove_if(state.manifests.begin(), state.manifests.end(), samePath),
                          state.manifests.end());
    state.manifests.push_back(manifest);
    return save(state) ? vr::VRApplicationError_None : vr::VRApplicationError_IPCFailed;
}

int AppRegistry::removeManifest(const std::string& path)
{
    const std::string manifestPath = normalisePath(path);
    auto samePath = [&](const Manifest& other) { return other.path == manifestPath; };
    const auto temporaryCount = m_temporary.size();
    m_temporary.erase(std::remove_if(m_temporary.begin(), m_temporary.end(), samePath), m_temporary.end());
    bool removed = m_temporary.size() != temporaryCount;

    FileLock lock;
    if (lock.acquire(m_lockFile, true) != FileLock::Result::Acquired)
        return vr::VRApplicationError_IPCFailed;
    State state = load();
    const auto count = state.manifests.size();
    state.manifests.erase(std::remove_if(state.manifests.begin(), state.manifests.end(), samePath),
                          state.manifests.end());
    if (state.manifests.size() != count) {
        removed = true;
        // Auto-launch goes with the last manifest that declared the key.
        auto orphan = [&](const std::string& key) {
            return std::none_of(state.manifests.begin(), state.manifests.end(),
                                [&](const Manifest& m) { return declares(m, key); });
        };
        state.autoLaunchKeys.erase(std::remove_if(state.autoLaunchKeys.begin(), state.autoLaunchKeys.end(), orphan),
                                   state.autoLaunchKeys.end());
        if (!save(state))
            return vr::VRApplicationError_IPCFailed;
    }
    return removed ? vr::VRApplicationError_None : vr::VRApplicationError_UnknownApplication;
}

bool AppRegistry::isInstalled(const std::string& key) const
{
    const State state = merged();
    return std::any_of(state.manifests.begin(), state.manifests.end(),
                       [&](const Manifest& m) { return declares(m, key); });
}

int AppRegistry::workingDirectory(const std::string& key, std::string* directory) const
{
    const State state = merged();
    for (auto it = state.manifests.rbegin(); it != state.manifests.rend(); ++it) {
        if (declares(*it, key)) {
            *directory = it->workingDirectory;
            return vr::VRApplicationError_None;
        }
    }
    return vr::VRApplicationError_UnknownApplication;
}

int AppRegistry::setAutoLaunch(const std::string& key, bool enabled)
{
    if (!isInstalled(key))
        return vr::VRApplicationError_UnknownApplication;
    FileLock lock;
    if (lock.acquire(m_lockFile, true) != FileLock::Result::Acquired)
        return vr::VRApplicationError_IPCFailed;
    State state = load();
    auto& keys = state.autoLaunchKeys;
    keys.erase(std::remove(keys.begin(), keys.end(), key), keys.end());
    if (enabled)
        keys.push_back(key);
    return save(state) ? vr::VRApplicationError_None : vr::VRApplicationError_IPCFailed;
}

bool AppRegistry::autoLaunch(const std::string& key) const
{
    const State state = load();
    return std::find(state.autoLaunchKeys.begin(), state.autoLaunchKeys.end(), key) != state.autoLaunchKeys.end();
}

std::vector<std::string> AppRegistry::manifests() const
{
    std::vector<std::string> paths;
    for (const Manifest& manifest : merged().manifests)
        paths.push_back(manifest.path);
    return paths;
}

} // namespace vrsim
