#include "cataloguefollower.h"

#include "cataloguework.h"
#include "mqttclient.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <utility>

namespace {

// Another writer (an operator's nerq-catalogue) finishes well within this.
constexpr int kLockWaitSeconds = 5;

} // namespace

CatalogueFollower::CatalogueFollower(MqttClient& mqtt, CatalogueWork& work, QString catalogueDir,
                                     QStringList steamRoots)
    : m_mqtt(mqtt)
    , m_work(work)
    , m_dir(std::move(catalogueDir))
    , m_steamRoots(std::move(steamRoots))
{
    m_pictureTimer.setSingleShot(true);
    m_pictureTimer.setInterval(kPictureWaitMs);
    connect(&m_pictureTimer, &QTimer::timeout, this, [this] {
        LOG(WARNING) << "Pictures of the venue catalogue not received within " << kPictureWaitMs / 1000
                     << " s: " << QStringList(m_waitingFor.values()).join(", ").toStdString()
                     << "; their games show no picture until they come";
        applyPending({});
    });
}

void CatalogueFollower::addTo(QJsonObject& status) const
{
    status.insert("catalogueRevision", m_venue ? QJsonValue(m_venue->revision()) : QJsonValue(QJsonValue::Null));
    // A time no reader takes (a catalogue that says none, or one past the interface's range) is
    // not said at all, or every status would be refused.
    const qint64 published = m_venue ? m_venue->published() : 0;
    status.insert("cataloguePublished", published > 0 && published <= kLatestTime ? QJsonValue(double(published))
                                                                                  : QJsonValue(QJsonValue::Null));
    status.insert("hiddenGames", QJsonArray::fromStringList(m_hidden));
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
    // The folder follows it already; the games installed meanwhile come with the apply.
    m_venue = venue;
    m_pending = venue;
    applyPending({});
}

void CatalogueFollower::handleCatalogue(const QByteArray& payload)
{
    if (payload.isEmpty()) {
        withdraw();
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
    if (m_waitingFor.isEmpty())
        applyPending({});
    else
        m_pictureTimer.start();
}

void CatalogueFollower::withdraw()
{
    // The desk withdrew the venue catalogue: the station keeps what it shows and follows none.
    if (!m_venue)
        return;
    LOG(INFO) << "The venue catalogue was withdrawn; this station keeps its catalogues as they are";
    const QString copy = QDir(m_dir).absoluteFilePath(VenueCatalogue::kFileName);
    m_work.post(
        [copy]() -> CatalogueWork::Then {
            if (QFile::exists(copy) && !QFile::remove(copy))
                return [copy] { LOG(ERROR) << "Could not remove " << copy.toStdString(); };
            return {};
        },
        [](const QString& error) { LOG(ERROR) << "Could not forget the venue catalogue: " << error.toStdString(); });
    m_venue.reset();
    m_hidden.clear();
    emit changed();
}

void CatalogueFollower::handlePicture(const QString& sha256, const QByteArray& bytes)
{
    if (!m_waitingFor.contains(sha256))
        return;
    const QString dir = m_dir;
    m_work.post(
        [this, dir, sha256, bytes]() -> CatalogueWork::Then {
            QString error;
            if (VenuePictures::store(dir, sha256, bytes, &error))
                error.clear();
            return [this, sha256, error] { pictureStored(sha256, error); };
        },
        [this, sha256](const QString& error) { pictureStored(sha256, error); });
}

void CatalogueFollower::pictureStored(const QString& sha256, const QString& error)
{
    if (!error.isEmpty()) {
        LOG(WARNING) << "Venue picture " << sha256.toStdString() << " refused: " << error.toStdString();
        return;
    }
    if (!m_waitingFor.remove(sha256))
        return;
    m_mqtt.unsubscribe(VenueTopics::picture(sha256));
    if (!m_waitingFor.isEmpty())
        return;
    m_pictureTimer.stop();
    // A picture that came late belongs to the catalogue already applied.
    if (!m_pending && m_venue)
        m_pending = m_venue;
    applyPending({});
}

void CatalogueFollower::reapply(Done done)
{
    if (!m_venue) {
        done(Outcome::failed("this station follows no venue catalogue"));
        return;
    }
    m_pending = m_venue;
    applyPending(std::move(done));
}

void CatalogueFollower::applyPending(Done done)
{
    if (!m_pending) {
        if (done)
            done(Outcome::done());
        return;
    }
    const VenueCatalogue venue = *std::exchange(m_pending, std::nullopt);
    if (!done) {
        done = [revision = venue.revision()](const Outcome& outcome) {
            if (!outcome.ok())
                LOG(ERROR) << "Venue catalogue " << revision.toStdString()
                           << " not applied: " << outcome.reason().toStdString();
        };
    }
    const QString dir = m_dir;
    const QStringList roots = m_steamRoots;
    m_work.post(
        [this, dir, roots, venue, done]() -> CatalogueWork::Then {
            VenueApplied result;
            QString error;
            if (!VenueFollow::apply(dir, venue, roots, kLockWaitSeconds, &result, &error))
                return [done, error] { done(Outcome::failed(error)); };
            return [this, done, venue, result] {
                applied(venue, result);
                done(Outcome::done());
            };
        },
        [done](const QString& error) { done(Outcome::failed(error)); });
}

void CatalogueFollower::applied(const VenueCatalogue& venue, const VenueApplied& result)
{
    const bool news = !m_venue || m_venue->revision() != venue.revision() || m_venue->published() != venue.published()
                      || m_hidden != result.hidden;
    m_venue = venue;
    m_hidden = result.hidden;
    if (!result.written.isEmpty())
        LOG(INFO) << "Venue catalogue " << venue.revision().toStdString() << " applied ("
                  << venue.gameIds().size() - result.hidden.size() << " games shown, " << result.hidden.size()
                  << " not installed here); wrote " << result.written.join(", ").toStdString();
    if (news)
        emit changed();
}
