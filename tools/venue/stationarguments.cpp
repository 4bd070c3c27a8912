#include "stationarguments.h"

#include "brokerconfig.h"
#include "commandline.h"
#include "venuefolder.h"

#include <QCommandLineParser>

bool parseStationArguments(const QString& command, const char* description, const QStringList& arguments,
                           CommandLine& cli, QString* dir, QString* id, int* status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addPositionalArgument("DIR", "The broker's folder, as nerq-venue init made it.");
    parser.addPositionalArgument("ID", "The station's id.");
    if (!cli.parse(parser, "nerq-venue " + command + " DIR ID", arguments, status))
        return false;
    if (parser.positionalArguments().size() != 2) {
        *status = cli.usageError(command + " takes a folder and a station id");
        return false;
    }
    *dir = parser.positionalArguments().at(0);
    *id = parser.positionalArguments().at(1);
    QString problem;
    if (!isStationId(*id))
        problem = "is no station id (1 to 64 letters, digits, - or _)";
    else if (id->compare(VenueFolder::kDeskUser, Qt::CaseInsensitive) == 0)
        problem = "is the desk's user, not a station";
    if (problem.isEmpty())
        return true;
    *status = cli.usageError(QString("%1: \"%2\" %3").arg(command, *id, problem));
    return false;
}
