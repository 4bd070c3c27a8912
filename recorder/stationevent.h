#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One thing that happened on a station, as it publishes it on stations/<id>/events (the README's
// table of events): its id "<station>:<seq>", the sequence number that orders a station's events
// and never repeats, the type, the station's wall-clock time, and the type's fields. Fields a type
// does not carry stay empty (texts) or 0 (numbers).
struct StationEvent {
    enum class Kind {
        Online,
        Offline,
        GameStarted,
        GameEnded,
        SessionStarted,
        SessionExtended,
        SessionEnded,
        HelpCalled,
        HelpAnswered,
        Calibrated,
        Ready,
        CommandFailed,
        EventsDropped,
        // A type this recorder does not know, from a newer agent: kept, never counted.
        Other
    };

    QString id;
    QString station;
    qint64 seq = 0;
    QString type; // as sent: "game-started"
    Kind kind = Kind::Other;
    qint64 at = 0; // ms since the epoch, the station's clock

    QString gameId;
    QString session;
    QString reason;
    QString by;
    QString command;
    QString commandId;
    QString error;
    qint64 seconds = 0;
    qint64 playedSeconds = 0;
    qint64 calledAt = 0;
    qint64 from = 0; // events-dropped: the range of sequence numbers dropped
    qint64 to = 0;

    QByteArray payload; // the message as it came

    // Anything larger is no event.
    static constexpr int kMaxBytes = 16 * 1024;

    // The event on `topicStation`'s events topic, or nothing with the reason: not JSON, a field
    // of the wrong type or out of range, an id that does not match station and seq, a station that
    // is not the topic's.
    static std::optional<StationEvent> parse(const QString& topicStation, const QByteArray& payload, QString* error);
    static QString typeName(Kind kind);
};
