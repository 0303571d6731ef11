#pragma once
// The livery step of every worker start: the livery data base is built from
// "LiveriesScanned.xml" (once per process). Worker thread only.
namespace qtr {

void gf_scanLiveries();

} // namespace qtr
