// STAND-IN for the callsign list (see the header).
#include "traffic/callsign_list_stand_in.h"

namespace qtr {

int callsignListWrites = 0;

void resolveCallsignObjectId() {}

void writeCallsignObjectIds(bool, bool) { ++callsignListWrites; }

} // namespace qtr
