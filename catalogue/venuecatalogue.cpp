#include "venuecatalogue.h"

#include "cataloguestore.h"
#include "gameitem.h"
#include "picture.h"
#include "safefile.h"
#include "steamlibrary.h"
#include "steamlocator.h"
#include "strictjson.h"

#include <json/json.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <memory>
#include <sstream>

namespace {

// Thirty games with their names in two languages are a few kilobytes; this is generous.
constexpr qint64 kMaxCatalogueBytes = 16 * 1024 * 1024;

QByteArray compact(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return QByteArray::fromStdString(Json::writeString(builder, value));
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

using Language = CatalogueStore::Language;

// Why the program would not load the list whole, or empty when it would.
QString refusal(const Json::Value& list, Language language)
{
    Catalogue catalogue;
    catalogue.read(compact(list));
    if (catalogue.problems().empty())
        return {};
    const CatalogueProblem& first = catalogue.problems().front();
    const QString where = first.index < 0 ? QString() : QString("entry %1: ").arg(first.index);
    return QString("the %1 catalogue would not load whole: %2%3")
        .arg(CatalogueStore::languageName(language), where, first.message);
}

// The payload's pictures: imgPath to sha256.
bool readPictures(const Json::Value& pictures, QMap<QString, QString>* hashes, QString* error)
{
    if (!pictures.isNull() && !pictures.isObject()) {
        *error = "\"pictures\" must be an object from imgPath to sha256";
        return false;
    }
    for (const std::string& imgPath : pictures.getMemberNames()) {
        const Json::Value& hash = pictures[imgPath];
        if (!hash.isString() || !isPictureHash(QString::fromStdString(hash.asString()))) {
            *error = QString("the picture of \"%1\" must be a sha256 in lower-case hex")
                         .arg(QString::fromStdString(imgPath));
            return false;
        }
        hashes->insert(QString::fromStdString(imgPath), QString::fromStdString(hash.asString()));
    }
    return true;
}

QString imagesFolder(const QString& catalogueDir)
{
    return QDir(catalogueDir).absoluteFilePath("game/images");
}

} // namespace

bool isPictureHash(const QString& text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{64}")));
    return pattern.match(text).hasMatch();
}

bool VenueCatalogue::parse(const QByteArray& payload, QString* error)
{
    if (payload.size() > kMaxCatalogueBytes) {
        *error = QString("%1 bytes, too large for a catalogue").arg(payload.size());
        return false;
    }
    Json::Value root;
    if (!parseStrictJson(payload, &root, error))
        return false;
    if (!root.isObject()) {
        *error = "not a JSON object";
        return false;
    }
    const Json::Value& revisionValue = root["revision"];
    const int revisionLength = revisionValue.isString() ? QString::fromStdString(revisionValue.asString()).size() : 0;
    if (revisionLength < 1 || revisionLength > 200) {
        *error = "\"revision\" must be a text of 1 to 200 characters";
        return false;
    }
    const Json::Value& publishedValue = root["published"];
    if (!publishedValue.isNull() && !publishedValue.isNumeric()) {
        *error = "\"published\" must be a time in milliseconds";
        return false;
    }
    for (const Language language : CatalogueStore::kLanguages) {
        const char* key = payloadKey(language);
        if (!root[key].isArray()) {
            *error = QString("\"%1\" must be a list of games").arg(key);
            return false;
        }
        const QString why = refusal(root[key], language);
        if (!why.isEmpty()) {
            *error = why;
            return false;
        }
    }
    QMap<QString, QString> hashes;
    if (!readPictures(root["pictures"], &hashes, error))
        return false;
    m_revision = QString::fromStdString(revisionValue.asString());
    m_published = publishedValue.isNumeric() ? static_cast<qint64>(publishedValue.asDouble()) : 0;
    for (const Language language : CatalogueStore::kLanguages)
        m_entries[language] = root[payloadKey(language)];
    m_pictures = hashes;
    return true;
}

const char* VenueCatalogue::payloadKey(Language language)
{
    return language == CatalogueStore::Chinese ? "cn" : "en";
}

bool VenueCatalogue::build(const QString& catalogueDir, QMap<QString, QByteArray>* pictureBytes, QString* error)
{
    const QDir dir(catalogueDir);
    std::array<Catalogue, 2> catalogues;
    std::array<bool, 2> present{};
    for (const Language language : CatalogueStore::kLanguages) {
        const QString path = CatalogueStore::filePath(catalogueDir, language);
        present[language] = QFileInfo::exists(path);
        if (!present[language])
            continue;
        catalogues[language].readFile(path);
        if (!catalogues[language].problems().empty()) {
            const CatalogueProblem& first = catalogues[language].problems().front();
            const QString where = first.index < 0 ? QString() : QString("entry %1: ").arg(first.index);
            *error = QString("%1: the program would not load all of it: %2%3 (nerq-catalogue check %1 lists every "
                             "problem)")
                         .arg(path, where, first.message);
            return false;
        }
    }
    if (!present[CatalogueStore::English] && !present[CatalogueStore::Chinese]) {
        *error = QString("%1: no game/%2 or game/%3")
                     .arg(dir.absolutePath(), CatalogueStore::fileName(CatalogueStore::English),
                          CatalogueStore::fileName(CatalogueStore::Chinese));
        return false;
    }
    // A missing language is the other one, as the catalogue tool makes it.
    for (const Language language : CatalogueStore::kLanguages) {
        const Language other = language == CatalogueStore::English ? CatalogueStore::Chinese : CatalogueStore::English;
        m_entries[language] = catalogues[present[language] ? language : other].entries();
    }

    m_pictures.clear();
    pictureBytes->clear();
    for (const Json::Value& list : m_entries) {
        for (const Json::Value& entry : list) {
            const QString imgPath = QString::fromStdString(entry.get("imgPath", "").asString());
            if (imgPath.isEmpty() || m_pictures.contains(imgPath))
                continue;
            const QString file = Picture::pageFile(imgPath, dir);
            if (file.isEmpty())
                continue; // an address on the web, shown as it is
            const OutsideFile content = OutsideFile::read(file, Picture::kMaxBytes);
            const QString problem = content.ok() ? Picture::problem(content.data) : content.problem;
            if (!problem.isEmpty()) {
                *error = QString("%1, the picture of \"%2\": %3")
                             .arg(file, QString::fromStdString(entry.get("gameId", "").asString()), problem);
                return false;
            }
            const QString hash = sha256(content.data);
            m_pictures.insert(imgPath, hash);
            pictureBytes->insert(hash, content.data);
        }
    }
    computeRevision();
    return true;
}

void VenueCatalogue::computeRevision()
{
    m_revision = sha256(compact(m_entries[CatalogueStore::English]) + '\n' + compact(m_entries[CatalogueStore::Chinese])
                        + '\n' + compact(pictureObject()))
                     .left(12);
}

Json::Value VenueCatalogue::pictureObject() const
{
    Json::Value object{Json::objectValue};
    for (auto it = m_pictures.cbegin(); it != m_pictures.cend(); ++it)
        object[it.key().toStdString()] = it.value().toStdString();
    return object;
}

QByteArray VenueCatalogue::payload() const
{
    Json::Value root{Json::objectValue};
    root["revision"] = m_revision.toStdString();
    root["published"] = static_cast<Json::Int64>(m_published);
    for (const Language language : CatalogueStore::kLanguages)
        root[payloadKey(language)] = m_entries[language];
    root["pictures"] = pictureObject();
    return compact(root);
}

QStringList VenueCatalogue::gameIds() const
{
    QStringList ids;
    for (const Json::Value& list : m_entries) {
        for (const Json::Value& entry : list) {
            const QString id = QString::fromStdString(entry.get("gameId", "").asString());
            if (!ids.contains(id))
                ids << id;
        }
    }
    return ids;
}

namespace VenuePictures {

QString find(const QString& catalogueDir, const QString& sha256)
{
    if (!isPictureHash(sha256))
        return {};
    const QDir images(imagesFolder(catalogueDir));
    const QStringList names = images.entryList({sha256 + ".*"}, QDir::Files);
    for (const QString& name : names) {
        if (QFileInfo(images.filePath(name)).size() > 0)
            return images.filePath(name);
    }
    return {};
}

bool store(const QString& catalogueDir, const QString& hash, const QByteArray& bytes, QString* error)
{
    if (!isPictureHash(hash)) {
        *error = "\"" + hash + "\" is no sha256";
        return false;
    }
    if (sha256(bytes) != hash) {
        *error = QString("its %1 bytes do not have the sha256 its name claims").arg(bytes.size());
        return false;
    }
    QString suffix;
    const QString problem = Picture::problem(bytes, &suffix);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    if (!find(catalogueDir, hash).isEmpty())
        return true;
    return Picture::save(imagesFolder(catalogueDir) + '/' + hash + '.' + suffix, bytes, false, error);
}

} // namespace VenuePictures

namespace VenueFollow {

namespace {

// Whether the station has the game: a Steam game fully installed, a native game's launcher there
// (an address counts, since the desktop opens it).
bool installed(const GameItem& game, const QDir& dir, const QSet<int>& steamApps)
{
    if (!game.isNative())
        return steamApps.contains(game.steamGameId());
    const QString launcher = game.launcherPath();
    if (launcher.isEmpty())
        return false;
    return Picture::isUrl(launcher) || QFileInfo::exists(dir.absoluteFilePath(launcher));
}

} // namespace

bool apply(const QString& catalogueDir, const VenueCatalogue& venue, const QStringList& steamRoots, int waitSeconds,
           VenueApplied* applied, QString* error)
{
    const QDir dir(catalogueDir);
    const SteamLibrary steam(SteamLocator::resolve(steamRoots.isEmpty() ? SteamLocator::candidates() : steamRoots));
    QSet<int> steamApps;
    for (const SteamApp& app : steam.apps()) {
        if (app.installed)
            steamApps.insert(app.appId);
    }

    CatalogueStore store(catalogueDir);
    if (!store.lock(waitSeconds, error) || !store.read(error))
        return false;

    *applied = VenueApplied();
    for (const CatalogueStore::Language language : CatalogueStore::kLanguages) {
        const Json::Value& entries = venue.entries(language);
        Catalogue games;
        games.read(compact(entries));
        Json::Value list{Json::arrayValue};
        for (int i = 0; i < games.size(); ++i) {
            const GameItem* game = games.game(i);
            if (!game)
                continue;
            if (!installed(*game, dir, steamApps)) {
                if (!applied->hidden.contains(game->gameId()))
                    applied->hidden << game->gameId();
                continue;
            }
            Json::Value entry = entries[static_cast<Json::ArrayIndex>(i)];
            if (entry.isNull())
                entry = Json::Value(Json::objectValue);
            const auto picture = venue.pictures().constFind(game->imgPath());
            if (picture != venue.pictures().cend()) {
                const QString copy = VenuePictures::find(catalogueDir, picture.value());
                if (copy.isEmpty() && !applied->missingPictures.contains(picture.value()))
                    applied->missingPictures << picture.value();
                entry["imgPath"] =
                    copy.isEmpty() ? std::string() : (Picture::kImagePrefix + QFileInfo(copy).fileName()).toStdString();
            }
            list.append(entry);
        }
        store.catalogue(language).entries() = list;
    }
    if (!store.write(&applied->written, error))
        return false;

    // The copy a scan applies again; written last, still under the lock.
    const QString copyPath = dir.absoluteFilePath(VenueCatalogue::kFileName);
    const QByteArray copy = venue.payload();
    const OutsideFile old = OutsideFile::read(copyPath, kMaxCatalogueBytes);
    if (!old.ok() || old.data != copy) {
        StagedFile file(copyPath);
        if (!file.write(copy, error, store.path(CatalogueStore::English)) || !file.commit(error))
            return false;
        applied->written << copyPath;
    }
    return true;
}

bool followed(const QString& catalogueDir, VenueCatalogue* venue, QString* error)
{
    const QString path = QDir(catalogueDir).absoluteFilePath(VenueCatalogue::kFileName);
    if (!QFileInfo::exists(path))
        return false;
    const OutsideFile content = OutsideFile::read(path, kMaxCatalogueBytes);
    if (!content.ok()) {
        *error = path + ": " + content.problem;
        return false;
    }
    if (!venue->parse(content.data, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

} // namespace VenueFollow
