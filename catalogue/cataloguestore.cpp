#include "cataloguestore.h"

#include "fileplatform.h"
#include "gameitem.h"
#include "safefile.h"

#include <json/value.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>

namespace {

// The program reads a catalogue whole into memory; one past this is no catalogue of a PC.
constexpr qint64 kMaxCatalogue = 256 * 1024 * 1024;
const char kLockName[] = ".nerq-catalogue.lock";

} // namespace

struct CatalogueStore::File {
    QString path;
    bool existed = false;
    QByteArray content; // as read; what the .bak keeps
    Json::Value original;
    Catalogue catalogue;
};

CatalogueStore::CatalogueStore(const QString& catalogueDir)
    : m_dir(QDir(catalogueDir).absolutePath())
{
    for (Language language : kLanguages) {
        m_files[language] = std::make_unique<File>();
        m_files[language]->path = filePath(m_dir, language);
    }
}

CatalogueStore::~CatalogueStore() = default;

QString CatalogueStore::fileName(Language language)
{
    return language == English ? QStringLiteral("data_en.json") : QStringLiteral("data_cn.json");
}

QString CatalogueStore::filePath(const QString& catalogueDir, Language language)
{
    return QDir(catalogueDir).absoluteFilePath("game/" + fileName(language));
}

QString CatalogueStore::languageName(Language language)
{
    return language == English ? QStringLiteral("English") : QStringLiteral("Chinese");
}

QString CatalogueStore::path(Language language) const
{
    return m_files[language]->path;
}

Catalogue& CatalogueStore::catalogue(Language language)
{
    return m_files[language]->catalogue;
}

const Catalogue& CatalogueStore::catalogue(Language language) const
{
    return m_files[language]->catalogue;
}

bool CatalogueStore::lock(int waitSeconds, QString* error)
{
    if (!makeOwnedFolder(m_dir, error))
        return false;
    const QString game = m_dir + "/game";
    const QString lockPath = m_dir + '/' + kLockName;
    m_lock = takeLock(lockPath, waitSeconds, error);
    if (!m_lock)
        return false;
    // Whatever a writer killed half-way left behind can go now that no writer runs.
    StagedFile::removeLeftovers(game);
    StagedFile::removeLeftovers(imagesFolder());
    return true;
}

bool CatalogueStore::readFile(File& file, QString* error)
{
    const QFileInfo info(file.path);
    file.existed = info.exists() || info.isSymLink();
    if (!file.existed)
        return true;
    const OutsideFile content = OutsideFile::read(file.path, kMaxCatalogue);
    if (!content.ok() && content.problem != "empty") {
        *error = QString("cannot read %1: %2; nothing changed").arg(file.path, content.problem);
        return false;
    }
    file.content = content.data;
    file.catalogue.read(file.content);
    if (!file.catalogue.problems().empty()) {
        const CatalogueProblem& first = file.catalogue.problems().front();
        const QString where = first.index < 0 ? QString() : QString("entry %1: ").arg(first.index);
        *error = QString("%1: left unchanged, since the program would not load all of it: %2%3 (nerq-catalogue "
                         "check %1 lists every problem)")
                     .arg(file.path, where, first.message);
        return false;
    }
    file.original = file.catalogue.entries();
    return true;
}

bool CatalogueStore::read(QString* error)
{
    for (Language language : kLanguages) {
        if (!readFile(*m_files[language], error))
            return false;
    }
    // A missing language is made from the other, so both list the same games from now on.
    for (Language language : kLanguages) {
        File& file = *m_files[language];
        const File& other = *m_files[language == English ? Chinese : English];
        if (!file.existed)
            file.catalogue.read(other.existed ? other.content : QByteArray("[]"));
        for (int i = 0; i < file.catalogue.size(); ++i)
            m_gameIds.insert(file.catalogue.game(i)->gameId());
    }
    compare();
    return true;
}

void CatalogueStore::compare()
{
    m_differences.clear();
    const Catalogue& english = catalogue(English);
    const Catalogue& chinese = catalogue(Chinese);
    QHash<QString, const GameItem*> chineseById;
    for (int i = 0; i < chinese.size(); ++i)
        chineseById.insert(chinese.game(i)->gameId(), chinese.game(i));
    QStringList englishOrder;
    for (int i = 0; i < english.size(); ++i) {
        const GameItem* game = english.game(i);
        const GameItem* other = chineseById.take(game->gameId());
        if (!other) {
            m_differences << QString("\"%1\" is listed in %2 only").arg(game->gameId(), fileName(English));
            continue;
        }
        englishOrder << game->gameId();
        auto differ = [&](const char* key, const QString& mine, const QString& theirs) {
            if (mine != theirs)
                m_differences << QString("\"%1\" has %2 %3 in %4 but %5 in %6")
                                     .arg(game->gameId(), key, mine, fileName(English), theirs, fileName(Chinese));
        };
        differ("gameMode", QString::number(game->gameMode()), QString::number(other->gameMode()));
        differ("steamGameId", QString::number(game->steamGameId()), QString::number(other->steamGameId()));
        differ("isNative", game->isNative() ? "true" : "false", other->isNative() ? "true" : "false");
    }
    QStringList chineseOrder;
    for (int i = 0; i < chinese.size(); ++i) {
        const QString id = chinese.game(i)->gameId();
        if (chineseById.contains(id))
            m_differences << QString("\"%1\" is listed in %2 only").arg(id, fileName(Chinese));
        else
            chineseOrder << id;
    }
    if (englishOrder != chineseOrder)
        m_differences
            << QString("%1 and %2 list their games in another order").arg(fileName(English), fileName(Chinese));
}

QString CatalogueStore::claimGameId(const QString& base)
{
    QString id = base;
    for (int n = 2; m_gameIds.contains(id); ++n)
        id = QString("%1_%2").arg(base).arg(n);
    m_gameIds.insert(id);
    return id;
}

bool CatalogueStore::existed(Language language) const
{
    return m_files[language]->existed;
}

bool CatalogueStore::changed(Language language) const
{
    const File& file = *m_files[language];
    const File& other = *m_files[language == English ? Chinese : English];
    if (!file.existed)
        return other.existed || !file.catalogue.entries().empty();
    return file.catalogue.entries() != file.original;
}

bool CatalogueStore::write(QStringList* written, QString* error)
{
    // Everything is written beside its place first, where a full disk or a missing permission
    // shows; only then do the renames put the files in place.
    struct Staged {
        const File* file;
        std::unique_ptr<StagedFile> backup;
        std::unique_ptr<StagedFile> catalogue;
        std::unique_ptr<StagedFile> undo; // the old content again, should the other file fail
    };
    std::vector<Staged> staged;
    if ((changed(English) || changed(Chinese)) && !makeOwnedFolder(m_dir + "/game", error))
        return false;
    for (Language language : kLanguages) {
        if (!changed(language))
            continue;
        const File& file = *m_files[language];
        const File& other = *m_files[language == English ? Chinese : English];
        const QByteArray text = file.catalogue.json();
        Catalogue check;
        check.read(text);
        if (!check.problems().empty() || check.size() != static_cast<int>(file.catalogue.entries().size())) {
            *error = file.path + ": the new catalogue would not load whole, nothing written: "
                     + (check.problems().empty() ? QStringLiteral("entries lost") : check.problems().front().message);
            return false;
        }
        Staged stage{&file, nullptr, std::make_unique<StagedFile>(file.path), nullptr};
        const QString like = file.existed ? file.path : other.existed ? other.path : QString();
        if (file.existed) {
            stage.backup = std::make_unique<StagedFile>(file.path + ".bak");
            stage.undo = std::make_unique<StagedFile>(file.path);
            if (!stage.backup->write(file.content, error, file.path) || !stage.undo->write(file.content, error))
                return false;
        }
        if (!stage.catalogue->write(text, error, like))
            return false;
        staged.push_back(std::move(stage));
    }

    for (std::size_t i = 0; i < staged.size(); ++i) {
        Staged& stage = staged[i];
        if ((!stage.backup || stage.backup->commit(error)) && stage.catalogue->commit(error)) {
            *written << stage.file->path;
            continue;
        }
        if (i == 0) {
            *error += "; nothing changed";
            return false;
        }
        const Staged& first = staged[0];
        QString undoError;
        if (first.undo ? first.undo->commit(&undoError) : QFile::remove(first.file->path)) {
            *error += QString("; %1 was put back as it was, so nothing changed").arg(first.file->path);
            written->clear();
        } else {
            *error += QString("; %1 holds the new catalogue, %2 the old one%3")
                          .arg(first.file->path, stage.file->path, undoError.isEmpty() ? "" : " (" + undoError + ")");
        }
        return false;
    }
    return true;
}
