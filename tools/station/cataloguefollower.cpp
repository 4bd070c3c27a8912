#include "cataloguefollower.h"

#include "mqttclient.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <QDir>
#include <QFile>

#include <utility>

namespace {

// Another writer (an operator's nerq-catalogue) finishes well within this.
constexpr int kLockWaitSeconds = 5;

} // namespace

CatalogueFollower::CatalogueFollower(MqttClient& mqtt, QString catalogueDir, QStringList steamRoots)
    : m_mqtt(mqtt)
    , m_dir(std::move(catalogueDir))
    , m_steamRoots(std::move(steamRoots))
{
    m_pictureTimer.setSingleShot(true);
    m_pictureTimer.setInterval(kPictureWaitMs);
    connect(&m_pictureTimer, &QTimer::timeout, this, [this] {
        LOG(WARNING) << "Pictures of the venue catalogue not received within " << kPictureWaitMs / 1000
                     << " s: " << QStringList(m_waitingFor.values()).join(", ").toStdString()
                     << "; their games show no picture until they come";
        QString error;
        if (!applyPending(&error))
            LOG(ERROR) << "Venue catalogue not applied: " << error.toStdString();
    });
}

void CatalogueFollower::restore()
{
    VenueCatalogue venue;
    QString error;
    if (!VenueFollow::followed(m_dir, &venue, &error)) {
        if (!error.isEmpty())
            LOG(WARNING) << "The venue catalogue kept in the catalogue folder cannot be read: " << error.toStdString()
                         << "; the station follows the venue again once the desk's catalogue arrives";
        return;
    }
    m_pending = venue;
    if (!applyPending(&error))
        LOG(ERROR) << "Venue catalogue " << venue.revision().toStdString() << " not applied: " << error.toStdString();
}

void CatalogueFollower::handleCatalogue(const QByteArray& payload)
{
    if (payload.isEmpty()) {
        // The desk withdrew the venue catalogue: the station keeps what it shows and follows none.
        if (m_venue) {
            LOG(INFO) << "The venue catalogue was withdrawn; this station keeps its catalogues as they are";
            QFile::remove(QDir(m_dir).absoluteFilePath(VenueCatalogue::kFileName));
            m_venue.reset();
            m_hidden.clear();
            emit changed();
        }
        return;
    }
    VenueCatalogue venue;
    QString error;
    if (!venue.parse(payload, &error)) {
        LOG(WARNING) << "Venue catalogue refused: " << error.toStdString()
                     << "; this station's catalogues are unchanged";
        return;
    }
    m_pending = venue;
    for (const QString& hash : venue.pictures()) {
        if (VenuePictures::find(m_dir, hash).isEmpty() && !m_waitingFor.contains(hash)) {
            m_waitingFor.insert(hash);
            m_mqtt.subscribe(VenueTopics::picture(hash));
        }
    }
    if (m_waitingFor.isEmpty()) {
        if (!applyPending(&error))
            LOG(ERROR) << "Venue catalogue " << venue.revision().toStdString()
                       << " not applied: " << error.toStdString();
        return;
    }
    m_pictureTimer.start();
}

void CatalogueFollower::handlePicture(const QString& sha256, const QByteArray& bytes)
{
    if (!m_waitingFor.contains(sha256))
        return;
    QString error;
    if (!VenuePictures::store(m_dir, sha256, bytes, &error)) {
        LOG(WARNING) << "Venue picture " << sha256.toStdString() << " refused: " << error.toStdString();
        return;
    }
    m_waitingFor.remove(sha256);
    m_mqtt.unsubscribe(VenueTopics::picture(sha256));
    if (!m_waitingFor.isEmpty())
        return;
    m_pictureTimer.stop();
    // A picture that came late belongs to the catalogue already applied.
    if (!m_pending && m_venue)
        m_pending = m_venue;
    if (m_pending && !applyPending(&error))
        LOG(ERROR) << "Venue catalogue not applied: " << error.toStdString();
}

bool CatalogueFollower::reapply(QString* error)
{
    if (!m_venue) {
        *error = "this station follows no venue catalogue";
        return false;
    }
    m_pending = m_venue;
    return applyPending(error);
}

bool CatalogueFollower::applyPending(QString* error)
{
    if (!m_pending)
        return true;
    const VenueCatalogue venue = *std::exchange(m_pending, std::nullopt);
    VenueApplied applied;
    if (!VenueFollow::apply(m_dir, venue, m_steamRoots, kLockWaitSeconds, &applied, error))
        return false;
    const bool news = revision() != venue.revision() || m_hidden != applied.hidden;
    m_venue = venue;
    m_hidden = applied.hidden;
    if (!applied.written.isEmpty())
        LOG(INFO) << "Venue catalogue " << venue.revision().toStdString() << " applied ("
                  << venue.gameIds().size() - applied.hidden.size() << " games shown, " << applied.hidden.size()
                  << " not installed here); wrote " << applied.written.join(", ").toStdString();
    if (news)
        emit changed();
    return true;
}
