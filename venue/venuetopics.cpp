#include "venuetopics.h"

#include "brokerconfig.h"

namespace {

const QString kRoot = QStringLiteral("nerq/v1/");

QString stationTopic(const QString& station, const char* leaf)
{
    return kRoot + "stations/" + station + '/' + QLatin1String(leaf);
}

} // namespace

namespace VenueTopics {

QString root()
{
    return kRoot;
}

QString status(const QString& station)
{
    return stationTopic(station, "status");
}

QString commands(const QString& station)
{
    return stationTopic(station, "commands");
}

QString results(const QString& station)
{
    return stationTopic(station, "results");
}

QString allStatuses()
{
    return status("+");
}

QString allResults()
{
    return results("+");
}

QString catalogue()
{
    return kRoot + "catalogue";
}

QString picture(const QString& sha256)
{
    return kRoot + "pictures/" + sha256;
}

QString deskSync(const QString& session)
{
    return kRoot + "desk/" + session + "/sync";
}

QString events(const QString& station)
{
    return stationTopic(station, "events");
}

QString allEvents()
{
    return events("+");
}

QString recorderAck(const QString& station)
{
    return kRoot + "recorder/" + station;
}

QString report(const QString& name)
{
    return kRoot + "reports/" + name;
}

QString todayReport()
{
    return report("today");
}

QString wakeRequest()
{
    return kRoot + "wake";
}

QString stationOf(const QString& topic, const QString& leaf)
{
    const QString head = kRoot + "stations/";
    const QString tail = '/' + leaf;
    if (!topic.startsWith(head) || !topic.endsWith(tail))
        return {};
    const QString id = topic.mid(head.size(), topic.size() - head.size() - tail.size());
    return isStationId(id) ? id : QString();
}

QString pictureOf(const QString& topic)
{
    const QString head = kRoot + "pictures/";
    return topic.startsWith(head) ? topic.mid(head.size()) : QString();
}

} // namespace VenueTopics
