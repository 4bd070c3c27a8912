#include "venuescan.h"

#include "venuecatalogue.h"

#include <QTextStream>

int runVenueScan(const ScanOptions& options, const VenueCatalogue& venue, QTextStream& out, QTextStream& err)
{
    out << "This folder follows the venue catalogue " << venue.revision()
        << ": it shows the venue's games that are installed here, and the scan adds no other.\n";
    if (!options.includeFile.isEmpty() || !options.excludeFile.isEmpty() || options.prune)
        out << "warning: --include, --exclude and --prune do not apply to a folder that follows the venue\n";
    if (options.dryRun) {
        out << "--dry-run: nothing written\n";
        return 0;
    }
    VenueApplied applied;
    QString error;
    if (!VenueFollow::apply(options.catalogueDir, venue, options.steamRoots, options.waitSeconds, &applied, &error)) {
        err << "nerq-catalogue: " << error << '\n';
        return 1;
    }
    out << QString("%1 venue games, %2 not installed here%3\n")
               .arg(venue.gameIds().size())
               .arg(applied.hidden.size())
               .arg(applied.hidden.isEmpty() ? QString() : ": " + applied.hidden.join(", "));
    out << (applied.written.isEmpty() ? QStringLiteral("Nothing changed.") : "Wrote " + applied.written.join(", "))
        << '\n';
    return 0;
}
