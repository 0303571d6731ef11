#include "foundation/version.h"

#include "foundation/log.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"

#include <fmt/format.h>

#include <filesystem>

namespace qtr {

void checkProgramVersion()
{
    const std::string programText = programVersion().toString();
    const std::string storedText = PROGRAM_VERSION.value();
    if (storedText == PROGRAM_VERSION.defaultValue()) {
        PROGRAM_VERSION.setValue(programText);
        PROGRAM_VERSION.save();
        return;
    }
    const VersionData stored(storedText);
    if (stored != programVersion()) {
        PROGRAM_VERSION.setValue(programText);
        PROGRAM_VERSION.save();
    }
    if (programVersion() <= stored) return;
    logLine(fmt::format("This is a version update from {} -> {}", stored.toString(), programText));
    if (std::filesystem::exists(installNewVersionPath)) std::filesystem::remove(installNewVersionPath);
    // The next scans must see what the new version reads differently.
    for (CheckBoxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
        scan->setValue(true);
        scan->save();
        showCheckBoxParameter(*scan);
    }
}

} // namespace qtr
