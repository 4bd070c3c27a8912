#pragma once

#include "outcome.h"
#include "venuecatalogue.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class CatalogueWork;
class MqttClient;

// Keeps a station's catalogues in step with the venue's: takes the retained catalogue and the
// pictures it names from the broker, and applies them to what is installed here. A catalogue the
// program would refuse, or a picture that is none or not what its hash says, changes nothing.
// Whatever touches the catalogue folder or Steam's files is done by CatalogueWork, beside the loop.
class CatalogueFollower : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const Outcome& outcome)>;
    // Pictures come right after the catalogue when the broker keeps them; one that has not come
    // by then leaves its tile without a picture until it does.
    static constexpr int kPictureWaitMs = 10000;

    CatalogueFollower(MqttClient& mqtt, CatalogueWork& work, QString catalogueDir, QStringList steamRoots);

    // At start: the venue catalogue the folder follows, applied again to what is installed now.
    void restore();
    void handleCatalogue(const QByteArray& payload);
    void handlePicture(const QString& sha256, const QByteArray& bytes);
    // The station's "scan" while it follows the venue: apply it again.
    void reapply(Done done);

    bool following() const { return m_venue.has_value(); }
    // catalogueRevision, cataloguePublished and hiddenGames.
    void addTo(QJsonObject& status) const;

signals:
    // The revision followed, when it was published, or the hidden games changed.
    void changed();

private:
    void withdraw();
    // `done` gets the outcome; without one a failure is logged.
    void applyPending(Done done);
    void applied(const VenueCatalogue& venue, const VenueApplied& result);
    void pictureStored(const QString& sha256, const QString& error);

    MqttClient& m_mqtt;
    CatalogueWork& m_work;
    QString m_dir;
    QStringList m_steamRoots;
    std::optional<VenueCatalogue> m_venue;   // followed
    std::optional<VenueCatalogue> m_pending; // received, its pictures on their way
    QSet<QString> m_waitingFor;
    QStringList m_hidden;
    QTimer m_pictureTimer;
};
