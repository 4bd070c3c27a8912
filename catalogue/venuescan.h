#pragma once

#include "steamscan.h"

class QTextStream;
class VenueCatalogue;

// The scan of a catalogue folder that follows its venue's catalogue: the venue's games that are
// installed now, in the venue's order, and no other. Returns the exit status as runScan does.
int runVenueScan(const ScanOptions& options, const VenueCatalogue& venue, QTextStream& out, QTextStream& err);
