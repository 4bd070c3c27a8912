#include "clientarguments.h"

#include "brokerconfig.h"
#include "commandline.h"

#include <QCommandLineParser>

namespace {

// Whose user of the desk PC's own a name is ("the recorder's user"), or empty: a station or a
// device of that name would take its password.
QString reservedFor(const QString& name)
{
    if (name.compare(VenueFolder::kDeskUser, Qt::CaseInsensitive) == 0)
        return QStringLiteral("the desk's own user");
    if (name.compare(VenueFolder::kRecorderUser, Qt::CaseInsensitive) == 0)
        return QStringLiteral("the recorder's user");
    return {};
}

} // namespace

bool parseClientArguments(VenueFolder::Client client, const QString& command, const char* description,
                          const QStringList& arguments, CommandLine& cli, QString* dir, QString* name, int* status)
{
    const bool station = client == VenueFolder::Client::Station;
    const QString what = station ? QStringLiteral("station id") : QStringLiteral("device name");
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addPositionalArgument("DIR", "The broker's folder, as nerq-venue init made it.");
    parser.addPositionalArgument(station ? "ID" : "NAME", station ? "The station's id." : "The device's name.");
    if (!cli.parse(parser, QString("nerq-venue %1 DIR %2").arg(command, station ? "ID" : "NAME"), arguments, status))
        return false;
    if (parser.positionalArguments().size() != 2) {
        *status = cli.usageError(QString("%1 takes a folder and a %2").arg(command, what));
        return false;
    }
    *dir = parser.positionalArguments().at(0);
    *name = parser.positionalArguments().at(1);
    QString problem;
    const QString reserved = reservedFor(*name);
    if (!isStationId(*name))
        problem = QString("is no %1 (1 to 64 letters, digits, - or _)").arg(what);
    else if (!reserved.isEmpty())
        problem = station ? QString("is %1, not a station").arg(reserved)
                          : QString("is %1; give the device a name of its own").arg(reserved);
    if (problem.isEmpty())
        return true;
    *status = cli.usageError(QString("%1: \"%2\" %3").arg(command, *name, problem));
    return false;
}
