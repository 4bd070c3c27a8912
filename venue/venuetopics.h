#pragma once

#include <QString>

// The venue's MQTT topics, as the README documents them for the venue's own systems.
namespace VenueTopics {

// "nerq/v1/": every topic of the venue lies under it. The page's interface.js says the same, and the
// sample payloads of the tests hold both to it.
QString root();
QString status(const QString& station);
QString commands(const QString& station);
QString results(const QString& station);
QString allStatuses();
QString allResults();
QString catalogue();
QString picture(const QString& sha256);
// Where a desk's session sends itself a message, to know it has read everything retained.
QString deskSync(const QString& session);
// The books: what happens on a station, the recorder's acknowledgement of a station's events, and
// the reports it publishes ("today").
QString events(const QString& station);
QString allEvents();
QString recorderAck(const QString& station);
QString report(const QString& name);
QString todayReport();
// "Open the venue": the desk's page asks here, the recorder on the desk PC sends the packets.
QString wakeRequest();
// The station a "stations/<id>/<leaf>" topic names, or empty.
QString stationOf(const QString& topic, const QString& leaf);
// The hash a "pictures/<sha256>" topic names, or empty.
QString pictureOf(const QString& topic);

} // namespace VenueTopics
