#include "wakecommand.h"

#include "booksdatabase.h"
#include "commandline.h"
#include "deskconnection.h"
#include "desksession.h"
#include "venuefolder.h"
#include "wakeaddresses.h"
#include "wakeonlan.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

const char kDescription[] =
    "Wakes stations over the network (Wake-on-LAN): a magic packet for each network interface a\n"
    "station reported, to its broadcast address on UDP port 9, or to --to ADDRESS[:PORT] for a\n"
    "venue whose network needs another (a router's forwarding, a directed broadcast).\n"
    "\n"
    "The addresses come from the stations' statuses the broker keeps (an off station's last will\n"
    "carries them), and from the books in DIR (books.sqlite), where nerq-recorder keeps the last ones\n"
    "seen: the stations can be woken while the broker is still down. The station's PC must have\n"
    "Wake-on-LAN switched on (firmware and network card). --all: every station whose addresses are\n"
    "known.\n"
    "Exit status: 0 every packet sent, 1 a station has no known address or a packet could not be\n"
    "sent, 2 usage error.";

// The broker is on the venue's own network: it answers at once or not at all.

using Addresses = WakeAddresses::Map;

// What the books keep, then what the broker says now (fresher) on top.
Addresses knownAddresses(const QString& dir, CommandLine& cli)
{
    Addresses known;
    QString error;
    if (!WakeAddresses::fromBooks(dir + '/' + BooksDatabase::kFileName, &known, &error))
        cli.err() << "nerq-venue: the books cannot be read: " << error << '\n';
    BrokerConfig desk;
    if (!VenueFolder(dir).loadDesk(&desk, &error)) {
        cli.err() << "nerq-venue: " << error << "; using the addresses the books keep\n";
        return known;
    }
    DeskSession session(desk);
    if (!session.open(DeskConnection::kOpenTimeoutMs, &error)) {
        cli.err() << "nerq-venue: " << error << "; using the addresses the books keep\n";
        return known;
    }
    for (const StationStatus& status : session.stations()) {
        if (!status.network.isEmpty())
            known.insert(status.station, status.network);
    }
    session.close();
    return known;
}

// Every packet for one station; false when one could not be sent.
bool wake(const QString& station, const QVector<NetworkAddress>& addresses, const std::optional<WakeOnLan::Target>& to,
          CommandLine& cli)
{
    if (addresses.isEmpty()) {
        cli.out() << station << ": no network address known (it has never reported one); not woken\n";
        return false;
    }
    bool all = true;
    for (const WakeOnLan::Packet& packet : WakeOnLan::wakeInterfaces(addresses, to)) {
        all = all && packet.sent.ok;
        cli.out() << station << ": " << (packet.sent.ok ? "magic packet for " : "FAILED for ") << packet.mac << " to "
                  << packet.target.address.toString() << ':' << packet.target.port
                  << (packet.sent.ok ? QString() : ": " + packet.sent.error) << '\n';
    }
    return all;
}

} // namespace

int runWakeCommand(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("DIR", "The venue's folder (its console.conf and the books).");
    parser.addOptions(
        {{"station", "The stations, by id, separated by commas.", "ID[,ID...]"},
         {"all", "Every station whose addresses are known."},
         {"to", "Send the packets here instead of each interface's broadcast address.", "ADDRESS[:PORT]"}});
    int status = 0;
    if (!cli.parse(parser, "nerq-venue wake DIR (--station ID[,ID...] | --all) [--to ADDRESS[:PORT]]", arguments,
                   &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("wake takes one folder");
    if (parser.isSet("station") == parser.isSet("all"))
        return cli.usageError("name the stations with --station ID[,ID...], or give --all");
    std::optional<WakeOnLan::Target> to;
    if (parser.isSet("to")) {
        QString error;
        to = WakeOnLan::parseTarget(parser.value("to"), &error);
        if (!to)
            return cli.usageError("--to: " + error);
    }
    const QString dir = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    const Addresses known = knownAddresses(dir, cli);
    QStringList targets = parser.isSet("all") ? known.keys() : parser.value("station").split(',', Qt::SkipEmptyParts);
    targets.removeDuplicates();
    if (targets.isEmpty())
        return cli.fail("no station's network address is known yet");
    bool all = true;
    for (const QString& station : qAsConst(targets))
        all = wake(station, known.value(station), to, cli) && all;
    return all ? 0 : 1;
}
