#include "catalogueedit.h"

#include "gameitem.h"
#include "picture.h"

#include <json/value.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace CatalogueEdit {

namespace {

using Picture::copyName;
using Picture::kImagePrefix;

QString fileNames(const QStringList& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    return names.join(" and ");
}

} // namespace

QString pictureState(const QString& imgPath, const QDir& workingDir)
{
    if (imgPath.isEmpty())
        return QStringLiteral("none");
    const QString file = Picture::pageFile(imgPath, workingDir);
    if (file.isEmpty())
        return QStringLiteral("a URL, not checked");
    const QString problem = Picture::fileProblem(file);
    return problem.isEmpty() ? QStringLiteral("ok") : problem;
}

int find(const Catalogue& catalogue, const QString& gameId)
{
    const Json::Value& entries = catalogue.entries();
    for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
        if (QString::fromStdString(entries[i].get("gameId", "").asString()) == gameId)
            return static_cast<int>(i);
    }
    return -1;
}

QString idFromName(const QString& name)
{
    QString id;
    for (const QChar c : name.toLower()) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            id += c;
        else if (!id.isEmpty() && !id.endsWith('_'))
            id += '_';
    }
    while (id.endsWith('_'))
        id.chop(1);
    return id.isEmpty() ? QStringLiteral("game") : id;
}

QString shownAtReload()
{
    return QStringLiteral("the running program shows it at its next reload (within 30 s)");
}

QString shownAtStart()
{
    return QStringLiteral("the running program shows the change at its next start");
}

Session::Session(const QString& catalogueDir, QTextStream& out, QTextStream& err)
    : m_store(catalogueDir)
    , m_out(out)
    , m_err(err)
{}

bool Session::open(int waitSeconds)
{
    QString error;
    if (!m_store.lock(waitSeconds, &error) || !m_store.read(&error)) {
        fail(error);
        return false;
    }
    for (const QString& difference : m_store.differences())
        m_out << "warning: the two catalogues differ: " << difference << '\n';
    return true;
}

bool Session::locate(const QString& gameId, std::array<int, 2>* at)
{
    for (Language language : CatalogueStore::kLanguages)
        (*at)[language] = find(m_store.catalogue(language), gameId);
    for (Language language : CatalogueStore::kLanguages) {
        if ((*at)[language] < 0 && (*at)[1 - language] >= 0)
            m_out << QString("warning: \"%1\" is listed in %2 only; changed there\n")
                         .arg(gameId, CatalogueStore::fileName(Language(1 - language)));
    }
    if ((*at)[CatalogueStore::English] >= 0 || (*at)[CatalogueStore::Chinese] >= 0)
        return true;
    fail(QString("no game \"%1\" in %2 or %3; nothing changed")
             .arg(gameId, m_store.path(CatalogueStore::English), CatalogueStore::fileName(CatalogueStore::Chinese)));
    return false;
}

bool Session::launcher(const QString& path, QString* stored)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        fail(QString("launcher %1 %2; nothing changed")
                 .arg(info.absoluteFilePath(), info.isDir() ? "is a folder, not a file" : "does not exist"));
        return false;
    }
    // The program starts in the catalogue folder: a launcher inside it is stored relative to
    // it, so that the folder can move; any other by its full path.
    const QString file = info.absoluteFilePath();
    const QString pairs[2][2] = {{m_store.folder(), file},
                                 {QFileInfo(m_store.folder()).canonicalFilePath(), info.canonicalFilePath()}};
    for (const auto& pair : pairs) {
        if (!pair[0].isEmpty() && pair[1].startsWith(pair[0] + '/')) {
            *stored = "./" + QDir(pair[0]).relativeFilePath(pair[1]);
            return true;
        }
    }
    *stored = file;
    return true;
}

bool Session::usesPicture(const QString& imgPath) const
{
    for (Language language : CatalogueStore::kLanguages) {
        const Json::Value& entries = m_store.catalogue(language).entries();
        for (const Json::Value& entry : entries) {
            if (QString::fromStdString(entry.get("imgPath", "").asString()) == imgPath)
                return true;
        }
    }
    return false;
}

bool Session::importPicture(const QString& file, const QString& gameId, QString* imgPath)
{
    QByteArray data;
    QString suffix;
    const QString problem = Picture::load(file, {}, &data, &suffix);
    if (!problem.isEmpty()) {
        fail(QString("--image %1: %2; nothing changed").arg(file, problem));
        return false;
    }
    // A name no entry shows and no file has: nothing of anyone else's is overwritten.
    const QDir images(m_store.imagesFolder());
    const QString stem = Picture::fileStem(gameId);
    QString name = stem + '.' + suffix;
    for (int n = 2; usesPicture(kImagePrefix + name) || QFileInfo::exists(images.filePath(name)); ++n)
        name = QString("%1_%2.%3").arg(stem).arg(n).arg(suffix);
    QString error;
    if (!Picture::save(images.filePath(name), data, true, &error)) {
        fail(QString("cannot copy %1 to %2: %3; nothing changed").arg(file, images.filePath(name), error));
        return false;
    }
    m_imported << images.filePath(name);
    *imgPath = kImagePrefix + name;
    return true;
}

void Session::removeUnused(const QStringList& imgPaths)
{
    for (const QString& imgPath : imgPaths) {
        const QString name = copyName(imgPath);
        const QString file = QDir(m_store.imagesFolder()).filePath(name);
        if (name.isEmpty() || usesPicture(imgPath) || !QFileInfo(file).isFile())
            continue;
        if (QFile::remove(file))
            m_out << "removed the picture " << file << ", which no game shows any more\n";
        else
            m_out << "warning: cannot remove the picture " << file << ": " << qt_error_string() << '\n';
    }
}

int Session::finish(const QString& what, const QString& when, const QStringList& replaced)
{
    if (!m_store.changed(CatalogueStore::English) && !m_store.changed(CatalogueStore::Chinese)) {
        m_out << "nothing to change; nothing written\n";
        return 0;
    }
    QStringList written;
    QString error;
    if (!m_store.write(&written, &error)) {
        for (const QString& file : m_imported)
            QFile::remove(file);
        return fail(error);
    }
    removeUnused(replaced);
    m_out << what << ' ' << fileNames(written) << "; " << when << '\n';
    return 0;
}

int Session::fail(const QString& message)
{
    m_err << "nerq-catalogue: " << message << '\n';
    return 1;
}

} // namespace CatalogueEdit
