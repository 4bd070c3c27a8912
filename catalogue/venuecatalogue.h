#pragma once

#include "catalogue.h"
#include "cataloguestore.h"

#include <json/value.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

// The catalogue a venue's desk publishes for all its stations: both languages' catalogues as
// the program reads them, and the sha256 of each picture they show (imgPath to hash; the bytes
// travel apart, once per content). A station that follows it keeps a copy in its catalogue
// folder, so that a scan there applies it again without the desk.
class VenueCatalogue
{
public:
    static constexpr char kFileName[] = "game/venue.json";

    // A payload from the broker; false, with the reason, for anything but a catalogue both of
    // whose languages the program would load whole.
    bool parse(const QByteArray& payload, QString* error);
    // The desk's side: the two catalogues of a catalogue folder, which the program must load
    // whole, and their pictures' bytes by hash. A picture that cannot be read is an error too.
    bool build(const QString& catalogueDir, QMap<QString, QByteArray>* pictureBytes, QString* error);
    QByteArray payload() const;

    // The same content gives the same revision.
    const QString& revision() const { return m_revision; }
    qint64 published() const { return m_published; }
    void setPublished(qint64 at) { m_published = at; }
    const Json::Value& entries(CatalogueStore::Language language) const { return m_entries[language]; }
    // "en", "cn": where the payload holds each language's catalogue.
    static const char* payloadKey(CatalogueStore::Language language);
    const QMap<QString, QString>& pictures() const { return m_pictures; }
    // The games of both languages, English order first.
    QStringList gameIds() const;

private:
    void computeRevision();
    Json::Value pictureObject() const;

    QString m_revision;
    qint64 m_published = 0;
    std::array<Json::Value, 2> m_entries{Json::Value(Json::arrayValue), Json::Value(Json::arrayValue)};
    QMap<QString, QString> m_pictures;
};

// Whether a sha256 in hex, as topic names and file names carry it.
bool isPictureHash(const QString& text);

namespace VenuePictures {

// The copy of a venue picture in the catalogue folder's game/images/, named after its hash, or
// empty when there is none yet.
QString find(const QString& catalogueDir, const QString& sha256);
// Stores a picture received for `sha256`: the bytes must have that hash and decode as a
// picture. Writes nothing when the copy is there already. False with the reason otherwise.
bool store(const QString& catalogueDir, const QString& sha256, const QByteArray& bytes, QString* error);

} // namespace VenuePictures

// What following a venue catalogue did to a station's catalogue folder.
struct VenueApplied {
    QStringList hidden;          // venue games not installed here
    QStringList missingPictures; // hashes not received yet; their tiles show no picture for now
    QStringList written;         // the files written; empty when nothing changed
};

namespace VenueFollow {

// Writes both catalogues of the folder, under its lock, with exactly the venue's games that are
// installed here (Steam: fully installed in one of the libraries under `steamRoots`, found as
// the scan finds them when empty; native: the launcher exists, seen from the folder), in the
// venue's order, with its names, modes and pictures; then keeps the venue catalogue beside them.
bool apply(const QString& catalogueDir, const VenueCatalogue& venue, const QStringList& steamRoots, int waitSeconds,
           VenueApplied* applied, QString* error);
// The venue catalogue the folder follows. False without an error when it follows none.
bool followed(const QString& catalogueDir, VenueCatalogue* venue, QString* error);

} // namespace VenueFollow
