#include "venuewaker.h"

#include "brokerconfig.h"
#include "jsonfields.h"
#include "mqttclient.h"
#include "venuejson.h"
#include "venueprotocol.h"
#include "venuetopics.h"
#include "wakeaddresses.h"

#include <easylogging++.h>

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonObject wakeOne(const QString& station, const QVector<NetworkAddress>& addresses,
                    const std::optional<WakeOnLan::Target>& to)
{
    if (addresses.isEmpty())
        return {{"station", station}, {"ok", false}, {"error", "no network address known"}};
    QStringList failed;
    for (const WakeOnLan::Packet& packet : WakeOnLan::wakeInterfaces(addresses, to)) {
        if (!packet.sent.ok)
            failed << packet.mac + ": " + packet.sent.error;
    }
    QJsonObject outcome{{"station", station}, {"ok", failed.isEmpty()}};
    if (!failed.isEmpty())
        outcome.insert("error", failed.join("; "));
    return outcome;
}

} // namespace

// `expires` and `by` may come and are not judged here: the broker drops a request nobody took
// within its expiry interval, whatever the clocks say.
std::optional<VenueWaker::Request> VenueWaker::readRequest(const QByteArray& payload, QString* error)
{
    QJsonObject object;
    if (!VenueJson::readObject(payload, &object, error))
        return std::nullopt;
    JsonFields fields(object, "wake request");
    Request request{fields.text("id"), {}};
    const bool all = object.contains("all") && fields.boolean("all");
    if (all == object.contains("stations"))
        fields.fail("give \"all\": true or \"stations\", one of them");
    for (const QJsonValue& station : object.value("stations").toArray()) {
        if (!isStationId(station.toString()))
            fields.fail("\"stations\" holds something that is no station id");
        request.stations.append(station.toString());
    }
    if (object.contains("stations") && (!object.value("stations").isArray() || request.stations.isEmpty()))
        fields.fail("\"stations\" is not a list of station ids");
    if (!fields.finish(error))
        return std::nullopt;
    request.stations.removeDuplicates();
    return request;
}

VenueWaker::VenueWaker(MqttClient& mqtt, Settings settings, QObject* parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_settings(std::move(settings))
{
    connect(&m_mqtt, &MqttClient::messageReceived, this, &VenueWaker::received);
}

void VenueWaker::start()
{
    m_mqtt.subscribe(VenueTopics::wakeRequest());
}

void VenueWaker::received(const QString& topic, const QByteArray& payload, bool retained, const MessageAge&)
{
    if (topic != VenueTopics::wakeRequest())
        return;
    // A retained request would wake the venue again at every reconnect.
    if (retained) {
        LOG(WARNING) << "Wake: a retained request, not carried out (a request is sent once, not retained)";
        return;
    }
    QString error;
    const std::optional<Request> request = readRequest(payload, &error);
    if (!request) {
        LOG(WARNING) << "Wake: " << error.toStdString() << "; not carried out";
        return;
    }
    QJsonObject answer{{"id", request->id}, {"at", double(m_settings.clock ? m_settings.clock() : nowMs())}};
    WakeAddresses::Map known;
    QJsonArray stations;
    if (!WakeAddresses::fromBooks(m_settings.databasePath, &known, &error)) {
        answer.insert("error", "the books cannot be read: " + error);
    } else {
        const QStringList asked = request->stations.isEmpty() ? QStringList(known.keys()) : request->stations;
        for (const QString& station : asked)
            stations.append(wakeOne(station, known.value(station), m_settings.to));
    }
    answer.insert("stations", stations);
    LOG(INFO) << "Wake: request " << request->id.toStdString() << ", packets for " << stations.size() << " station(s)"
              << (answer.contains("error") ? ": " + error.toStdString() : std::string());
    m_mqtt.publish(VenueTopics::report("wake"), VenueJson::compact(answer), false);
}
