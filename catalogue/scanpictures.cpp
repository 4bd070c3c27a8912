#include "scanpictures.h"

#include "cataloguestore.h"
#include "fileplatform.h"
#include "picture.h"

#include <QDir>
#include <QFileInfo>

using Picture::kImagePrefix;

ScanPictures::ScanPictures(const CatalogueStore& store, const QStringList& steamRoots, bool dryRun)
    : m_store(store)
    , m_artwork(steamRoots)
    , m_dryRun(dryRun)
{}

QString ScanPictures::brokenCopy(const QString& imgPath, const QString& gameId, int appId, QString* copy) const
{
    *copy = Picture::copyName(imgPath);
    const QString base = QFileInfo(*copy).completeBaseName();
    if (copy->isEmpty() || (base != Picture::fileStem(gameId) && base != QString("steam_%1").arg(appId)))
        return {};
    return Picture::fileProblem(QDir(m_store.imagesFolder()).filePath(*copy), Picture::Check::Header);
}

// The app's best picture in Steam's cache that really is one. Chosen once per app.
const ScanPictures::Choice& ScanPictures::choose(int appId)
{
    const auto found = m_choices.constFind(appId);
    if (found != m_choices.cend())
        return *found;
    Choice& choice = m_choices[appId];
    for (const QString& candidate : m_artwork.candidates(appId)) {
        QString problem = Picture::load(candidate, m_artwork.trees(), &choice.data, &choice.suffix);
        if (problem.isEmpty() && !FilePlatform::ownerOfMayRead(m_store.folder(), candidate))
            problem = "not readable by the owner of " + m_store.folder();
        if (problem.isEmpty()) {
            choice.source = candidate;
            break;
        }
        choice.data.clear();
        choice.passedOver << candidate + ": " + problem;
    }
    return choice;
}

// A file already there that another entry shows is left alone; one that no entry shows is kept
// when it is a picture (an operator may have put it there for this game).
QString ScanPictures::copy(int appId, const QString& gameId, const QString& replacing, QString* note)
{
    const auto copied = m_copies.constFind(gameId);
    if (copied != m_copies.cend())
        return *copied;
    const Choice& choice = choose(appId);
    for (const QString& passed : choice.passedOver)
        *note += "; passed over " + passed;
    if (choice.source.isEmpty()) {
        *note += "; no picture";
        return {};
    }
    const QDir images(m_store.imagesFolder());
    const QString stem = Picture::fileStem(gameId);
    if (stem != gameId)
        *note += "; picture named " + stem + ", as the gameId is no safe file name";
    QString name = stem + '.' + choice.suffix;
    for (int n = 2; name != replacing && m_usedImages.contains(kImagePrefix + name); ++n)
        name = QString("%1_%2.%3").arg(stem).arg(n).arg(choice.suffix);
    const QString imgPath = kImagePrefix + name;
    m_usedImages.insert(imgPath);
    const QString target = images.filePath(name);
    if (name != replacing && Picture::fileProblem(target, Picture::Check::Header).isEmpty()) {
        *note += "; picture already in " + target + ", kept";
        return m_copies[gameId] = imgPath;
    }
    *note += "; picture " + choice.source;
    if (m_dryRun)
        return m_copies[gameId] = imgPath;
    QString error;
    if (Picture::save(target, choice.data, false, &error))
        return m_copies[gameId] = imgPath;
    *note += " could not be copied: " + error;
    m_usedImages.remove(imgPath);
    return {};
}
