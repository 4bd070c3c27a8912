#pragma once

#include "venuecatalogue.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

class MqttClient;

// Keeps a station's catalogues in step with the venue's: takes the retained catalogue and the
// pictures it names from the broker, and applies them to what is installed here. A catalogue the
// program would refuse, or a picture that is none or not what its hash says, changes nothing.
class CatalogueFollower : public QObject
{
    Q_OBJECT

public:
    // Pictures come right after the catalogue when the broker keeps them; one that has not come
    // by then leaves its tile without a picture until it does.
    static constexpr int kPictureWaitMs = 10000;

    CatalogueFollower(MqttClient& mqtt, QString catalogueDir, QStringList steamRoots);

    // At start: the venue catalogue the folder follows, applied again to what is installed now.
    void restore();
    void handleCatalogue(const QByteArray& payload);
    void handlePicture(const QString& sha256, const QByteArray& bytes);
    // The station's "scan" while it follows the venue: apply it again.
    bool reapply(QString* error);

    bool following() const { return m_venue.has_value(); }
    QString revision() const { return m_venue ? m_venue->revision() : QString(); }
    const QStringList& hidden() const { return m_hidden; }

signals:
    // The revision followed or the hidden games changed.
    void changed();

private:
    bool applyPending(QString* error);

    MqttClient& m_mqtt;
    QString m_dir;
    QStringList m_steamRoots;
    std::optional<VenueCatalogue> m_venue;   // applied
    std::optional<VenueCatalogue> m_pending; // received, its pictures on their way
    QSet<QString> m_waitingFor;
    QStringList m_hidden;
    QTimer m_pictureTimer;
};
