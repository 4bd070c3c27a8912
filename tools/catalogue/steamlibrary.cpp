#include "steamlibrary.h"

#include "keyvalues.h"

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
        if (!QFileInfo::exists(file))
            continue;
        KeyValues vdf;
        QString error;
        if (!KeyValues::parseFile(file, vdf, &error)) {
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
    // Every manifest on disk counts; the "apps" block of the library list goes stale.
    const QDir steamapps(library + "/steamapps");
    const QStringList manifests = steamapps.entryList({"appmanifest_*.acf"}, QDir::Files, QDir::Name);
    for (const QString& name : manifests) {
        KeyValues acf;
        QString error;
        if (!KeyValues::parseFile(steamapps.filePath(name), acf, &error)) {
            m_problems << "cannot read app manifest " + error;
            m_complete = false;
            continue;
        }
        const KeyValues* state = acf.find("AppState");
        if (!state || !state->isObject()) {
            m_problems << QString("app manifest %1: no AppState block, skipped").arg(steamapps.filePath(name));
            m_complete = false;
            continue;
        }
        SteamApp app;
        bool ok = false;
        app.appId = state->text("appid").toInt(&ok);
        if (!ok)
            app.appId = name.mid(12, name.size() - 16).toInt(&ok);
        if (!ok || app.appId <= 0) {
            m_problems << QString("app manifest %1: no app id, skipped").arg(steamapps.filePath(name));
            m_complete = false;
            continue;
        }
        app.name = state->text("name");
        app.stateFlags = state->text("StateFlags");
        app.installed = (app.stateFlags.toULongLong() & kFullyInstalled) != 0;

        // A stale manifest of the same app in another library must not hide the installed one.
        const auto same = m_appIndex.constFind(app.appId);
        if (same == m_appIndex.cend()) {
            m_appIndex.insert(app.appId, static_cast<int>(m_apps.size()));
            m_apps.push_back(app);
        } else if (!m_apps[*same].installed && app.installed) {
            m_apps[*same] = app;
        }
    }
}

void SteamLibrary::readVrManifest(const QString& root)
{
    const QString path = QDir(root).filePath("config/steamapps.vrmanifest");
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_problems << QString("no VR manifest %1: only games from --include count as VR").arg(path);
        return;
    }
    const QByteArray text = file.readAll();
    Json::Value manifest;
    std::string error;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (!reader->parse(text.constData(), text.constData() + text.size(), &manifest, &error)) {
        m_problems << QString("cannot read the VR manifest %1: %2").arg(path, QString::fromStdString(error).trimmed());
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
