#pragma once

#include "eventstore.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

class MqttClient;

// The desk's recorder: takes every station's events and what the broker says of the stations,
// commits them to the books in batches, and only then acknowledges, per station, the sequence
// number up to which everything is in (nerq/v1/recorder/<station>, retained). A database it
// cannot write stops the acknowledgements (the stations keep their events) and is tried again
// until it works. Publishes today's summary (nerq/v1/reports/today) at most every 10 s.
class Recorder : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        QString databasePath;
        int batchMs = 20;              // events wait at most this long to be committed together
        int maxBatch = 2000;           // or until this many came
        int retryMs = 2000;            // a database that failed is tried again after this
        int summaryMs = 10000;         // today's summary at most this often
        int maxPending = 100000;       // held while the database fails; more are left with the stations
        std::function<qint64()> clock; // ms since the epoch; the system's by default
        // Today's summary from the books as committed; none: no summary.
        std::function<QByteArray(qint64 now)> summary;
    };

    Recorder(MqttClient& mqtt, const Settings& settings, QObject* parent = nullptr);
    ~Recorder() override;

    // Opens the books and starts listening; the connection is the caller's to start.
    void start();

private:
    void received(const QString& topic, const QByteArray& payload, bool retained);
    void eventReceived(const QString& station, const QByteArray& payload);
    void statusReceived(const QString& station, const QByteArray& payload);
    void queued();
    void flush();
    void retry();
    void fail(const BooksDatabase::Outcome& outcome);
    void publishAcks(const QStringList& stations);
    void summaryDue();
    void publishSummary();
    void warn(const QString& station, const QString& what);
    std::optional<bool> presence(const QString& station) const;
    QByteArray network(const QString& station) const;
    qint64 now() const;

    MqttClient& m_mqtt;
    Settings m_settings;
    EventStore m_store;
    BooksBatch m_pending;
    QHash<QString, bool> m_pendingPresence;
    QHash<QString, QByteArray> m_pendingNetworks;
    QSet<QString> m_reacknowledge; // stations that sent again what is acknowledged
    bool m_failing = false;
    bool m_droppedWarned = false;
    QString m_problem;
    bool m_summaryDirty = true;
    QElapsedTimer m_summaryClock; // since the last summary published
    struct Warnings {
        qint64 lastAt = 0;
        int since = 0;
    };
    QHash<QString, Warnings> m_warnings;
    QTimer m_flushTimer;
    QTimer m_retryTimer;
    QTimer m_summaryTimer;
    QTimer m_refreshTimer;
};
