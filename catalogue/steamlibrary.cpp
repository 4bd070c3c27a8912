#include "steamlibrary.h"

#include "keyvalues.h"
#include "safefile.h"

#include <json/json.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <memory>

namespace {

// Steam's "fully installed" bit; 2 alone means an update is required, 1026 is mid-update.
constexpr qulonglong kFullyInstalled = 4;
// Steam's own text files are kilobytes; the VR manifest of a large library some hundred.
constexpr qint64 kMaxSteamFile = 16 * 1024 * 1024;

bool isNumber(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

// Chinese names under the locale keys Steam and the runtime use, simplified Chinese first.
QString chineseName(const Json::Value& strings)
{
    static const char* const preferred[] = {"zh_cn", "schinese", "zh_hans", "zh_sg", "zh", "zh_tw", "tchinese"};
    QMap<QString, QString> names;
    for (const std::string& locale : strings.getMemberNames()) {
        const Json::Value& entry = strings[locale];
        if (entry.isObject() && entry["name"].isString() && !entry["name"].asString().empty())
            names.insert(QString::fromStdString(locale).toLower().replace('-', '_'),
                         QString::fromStdString(entry["name"].asString()));
    }
    for (const char* locale : preferred) {
        if (names.contains(locale))
            return names.value(locale);
    }
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (it.key().startsWith("zh"))
            return it.value();
    }
    return {};
}

} // namespace

SteamLibrary::SteamLibrary(const QStringList& roots)
{
    for (const QString& root : roots) {
        addLibrary(root, QString());
        readLibraryFolders(root);
    }
    for (const QString& library : QStringList(m_libraries))
        readManifests(library);
    std::sort(m_apps.begin(), m_apps.end(), [](const SteamApp& a, const SteamApp& b) { return a.appId < b.appId; });
    for (const QString& root : roots)
        readVrManifest(root);
}

void SteamLibrary::readLibraryFolders(const QString& root)
{
    // Steam keeps the list in steamapps/ and, in some versions, a copy in config/.
    for (const QString& name :
         {QStringLiteral("steamapps/libraryfolders.vdf"), QStringLiteral("config/libraryfolders.vdf")}) {
        const QString file = QDir(root).filePath(name);
        if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
            continue;
        const OutsideFile content = OutsideFile::read(file, kMaxSteamFile, {root});
        KeyValues vdf;
        QString error;
        if (!content.ok())
            error = file + ": " + content.problem;
        if (!content.ok() || !KeyValues::parse(content.data, file, vdf, &error)) {
            m_problems << "cannot read the library list " + error;
            m_complete = false;
            continue;
        }
        const KeyValues* folders = vdf.find("libraryfolders");
        if (!folders || !folders->isObject())
            continue;
        // Current form: numbered blocks with "path"; the older one: numbered keys whose values are
        // paths, beside bookkeeping keys such as "TimeNextStatsReport".
        for (const KeyValues& entry : folders->children()) {
            if (!isNumber(entry.key()))
                continue;
            const QString path = entry.isObject() ? entry.text("path") : entry.value();
            if (!path.isEmpty())
                addLibrary(QDir::fromNativeSeparators(path), file);
        }
    }
}

void SteamLibrary::addLibrary(const QString& path, const QString& listedIn)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty() && m_libraries.contains(canonical))
        return;
    const QDir steamapps(canonical + "/steamapps");
    if (canonical.isEmpty() || !steamapps.exists() || !steamapps.isReadable()) {
        m_problems << QString("library %1 (listed in %2): %3, skipped")
                          .arg(path, listedIn, canonical.isEmpty() ? "missing" : "no readable steamapps folder");
        m_complete = false;
        return;
    }
    m_libraries << canonical;
}

void SteamLibrary::readManifests(const QString& library)
{
    // Every manifest on disk counts, whatever kind of file it is; the "apps" block of the library
    // list goes stale.
    const QString tree = QFileInfo(library + "/steamapps").canonicalFilePath();
    const QDir steamapps(tree);
    const QStringList manifests = steamapps.entryList(
        {"appmanifest_*.acf"}, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : manifests)
        readManifest(steamapps.filePath(name), tree);
}

void SteamLibrary::readManifest(const QString& path, const QString& tree)
{
    const QString fileName = QFileInfo(path).fileName();
    bool ok = false;
    const int fileId = fileName.mid(12, fileName.size() - 16).toInt(&ok);
    if (ok && fileId > 0)
        m_present.insert(fileId);
    auto skip = [&](const QString& why) {
        m_problems << QString("app manifest %1: %2").arg(path, why);
        m_complete = false;
    };
    const OutsideFile content = OutsideFile::read(path, kMaxSteamFile, {tree});
    if (!content.ok())
        return skip(content.problem + (fileId > 0 ? "; its game counts as installed" : QString()));
    KeyValues acf;
    QString error;
    if (!KeyValues::parse(content.data, path, acf, &error)) {
        m_problems << "cannot read app manifest " + error;
        m_complete = false;
        return;
    }
    const KeyValues* state = acf.find("AppState");
    if (!state || !state->isObject())
        return skip("no AppState block, skipped");

    SteamApp app;
    const KeyValues* idKey = state->find("appid");
    if (idKey) {
        app.appId = idKey->isObject() ? 0 : idKey->value().toInt(&ok);
        if (!ok || app.appId <= 0)
            return skip(QString("the app id \"%1\" is not a valid app id, skipped")
                            .arg(idKey->isObject() ? QStringLiteral("{...}") : idKey->value()));
    } else if (fileId > 0) {
        app.appId = fileId; // Steam names the file after the id
    } else {
        return skip("no app id, skipped");
    }
    app.name = state->text("name");
    const KeyValues* flags = state->find("StateFlags");
    app.hasStateFlags = flags && !flags->isObject();
    app.stateFlags = state->text("StateFlags");
    app.installed = app.hasStateFlags && (app.stateFlags.toULongLong() & kFullyInstalled) != 0;

    // A stale manifest of the same app in another library must not hide the installed one.
    m_present.insert(app.appId);
    const auto same = m_appIndex.constFind(app.appId);
    if (same == m_appIndex.cend()) {
        m_appIndex.insert(app.appId, static_cast<int>(m_apps.size()));
        m_apps.push_back(app);
    } else if (!m_apps[*same].installed && app.installed) {
        m_apps[*same] = app;
    }
}

void SteamLibrary::readVrManifest(const QString& root)
{
    const QString path = QDir(root).filePath("config/steamapps.vrmanifest");
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        m_problems << QString("no VR manifest %1: only games from --include count as VR").arg(path);
        return;
    }
    const OutsideFile content = OutsideFile::read(path, kMaxSteamFile, {root});
    Json::Value manifest;
    std::string error;
    if (content.ok()) {
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        // The library throws rather than fails on some input (nesting past its limit).
        try {
            if (reader->parse(content.data.constData(), content.data.constData() + content.data.size(), &manifest,
                              &error))
                error.clear();
            else if (error.empty())
                error = "not JSON";
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    if (!content.ok() || !error.empty()) {
        m_problems << QString("cannot read the VR manifest %1: %2; only games from --include count as VR")
                          .arg(path, content.ok() ? QString::fromStdString(error).trimmed() : content.problem);
        return;
    }
    const Json::Value& applications = manifest.isObject() ? manifest["applications"] : Json::Value::nullSingleton();
    if (!applications.isArray()) {
        m_problems << QString("the VR manifest %1 lists no applications").arg(path);
        return;
    }
    for (const Json::Value& application : applications) {
        if (!application.isObject() || application["launch_type"] != "url" || !application["app_key"].isString())
            continue;
        const QString key = QString::fromStdString(application["app_key"].asString());
        bool ok = false;
        const int appId = key.startsWith("steam.app.") ? key.mid(10).toInt(&ok) : 0;
        if (!ok || appId <= 0)
            continue;
        const Json::Value& strings = application["strings"];
        SteamVrListing listing;
        if (strings.isObject()) {
            const Json::Value& english = strings["en_us"];
            if (english.isObject() && english["name"].isString())
                listing.englishName = QString::fromStdString(english["name"].asString());
            listing.chineseName = chineseName(strings);
        }
        m_vrListings.insert(appId, listing);
    }
}
