#include "liveries/livery_scan.h"

#include "liveries/livery_data_base.h"

namespace qtr {

void gf_scanLiveries()
{
    // A clear asked for by the window waits for this point, where no aircraft shows a title.
    gf_serveLiveryClearRequest();
    lf_processScannedLiveries();
}

} // namespace qtr
