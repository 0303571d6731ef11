#pragma once
// STAND-IN for the callsign list file and the callsign lookup, which the data cycle calls but
// which are not built yet. Each keeps its own name and does the least its callers rely on; the
// work that builds them replaces this file.
namespace qtr {

// Nothing to resolve.
void resolveCallsignObjectId();
// Nothing is written; counts its calls for the tests of the data cycle.
void writeCallsignObjectIds(bool enabled, bool msfs2020);
extern int callsignListWrites;

} // namespace qtr
