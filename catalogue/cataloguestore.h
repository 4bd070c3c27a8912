#pragma once

#include "catalogue.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class QLockFile;

// The two catalogues of a catalogue folder, game/data_en.json and game/data_cn.json, which list
// the same games for the page's two languages. Every command that changes them goes through here:
// the folder's lock is held from the read to the write, both files are read, changed alike, and
// written both or neither.
class CatalogueStore
{
public:
    enum Language { English, Chinese };
    static constexpr std::array<Language, 2> kLanguages = {English, Chinese};

    explicit CatalogueStore(const QString& catalogueDir);
    ~CatalogueStore();
    CatalogueStore(const CatalogueStore&) = delete;
    CatalogueStore& operator=(const CatalogueStore&) = delete;

    // Takes the folder's lock, waiting up to `waitSeconds` for another writer to finish; a lock
    // left by a process that died is taken over. Commands that only read need not lock.
    bool lock(int waitSeconds, QString* error);
    // Reads both catalogues. A missing one is made from the other, every entry and name kept.
    // False, with the reason, when either is one that the program would not load whole.
    bool read(QString* error);

    Catalogue& catalogue(Language language);
    const Catalogue& catalogue(Language language) const;
    QString path(Language language) const;
    static QString fileName(Language language);
    // game/<fileName> in the folder, for readers that take no lock.
    static QString filePath(const QString& catalogueDir, Language language);
    // "English", "Chinese", as messages name the two catalogues.
    static QString languageName(Language language);
    // Whether the file was there when read; a missing one is made from the other.
    bool existed(Language language) const;
    // How the two catalogues differed when read, one line a difference: entries they kept the
    // same in step may still be listed by one only, or in another order, or with other values.
    const QStringList& differences() const { return m_differences; }

    const QString& folder() const { return m_dir; }
    QString imagesFolder() const { return m_dir + "/game/images"; }
    // `base`, or `base` with "_2", "_3"... when an entry of either catalogue, or one claimed
    // before, has that id. Claimed ids are taken from then on.
    QString claimGameId(const QString& base);

    bool changed(Language language) const;
    // Writes each catalogue that changed, its previous content kept as "<name>.bak". Either every
    // change lands, or, when the second file cannot be written, the first is put back as it was.
    // `written` gets the paths written.
    bool write(QStringList* written, QString* error);

private:
    struct File;
    bool readFile(File& file, QString* error);
    void compare();

    QString m_dir;
    std::unique_ptr<QLockFile> m_lock;
    std::array<std::unique_ptr<File>, 2> m_files;
    QSet<QString> m_gameIds;
    QStringList m_differences;
};
