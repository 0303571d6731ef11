#include "liveries/scanned_liveries_file.h"

#include "foundation/errors.h"
#include "liveries/data_text.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"

#include <fmt/format.h>

namespace qtr {

void lf_writeLiveryNode(pugi::xml_node liveries, const LiveryRecord& record)
{
    pugi::xml_node node = liveries.append_child("liv");
    node.append_attribute("airl").set_value(record.airline.c_str());
    node.append_attribute("type").set_value(record.icaoType.c_str());
    if (record.cargo) node.append_attribute("cargo").set_value("true");
    node.append_attribute("title").set_value(record.title.c_str());
    if (!record.regcode.empty()) node.append_attribute("atcid").set_value(record.regcode.c_str());
}

void lf_saveScannedLiveries()
{
    if (scannedLiveries.empty()) return;
    pugi::xml_document doc;
    writeXmlMeta(doc);
    pugi::xml_node liveries = doc.append_child("liveries");
    for (const LiveryRecord& record : scannedLiveries) lf_writeLiveryNode(liveries, record);
    // The previous file stays until the new one is complete.
    std::filesystem::path partial = liveriesScannedPath;
    partial += ".tmp";
    const bool saved = doc.save_file(partial.c_str()) && gf_replaceFile(partial, liveriesScannedPath, false);
    logLine(saved ? fmt::format("\"{}\" saved", pathToUtf8(liveriesScannedPath))
                  : fmt::format("could not save to \"{}\"", pathToUtf8(liveriesScannedPath)));
    logLine(fmt::format("{} liveries in {}", scannedLiveries.size(), pathToUtf8(liveriesScannedPath)));
}

void lf_readLiveriesXml()
{
    scannedLiveries.clear();
    const std::string pathText = pathToUtf8(liveriesScannedPath);
    pugi::xml_document doc;
    if (!doc.load_file(liveriesScannedPath.c_str()))
        throw UserErrorException(51, fmt::format("File {} not found", pathText));
    checkXmlMeta(doc);
    const pugi::xml_node liveries = doc.child("liveries");
    if (!liveries) throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
    for (const pugi::xml_node liv : liveries.children("liv")) {
        LiveryRecord record;
        record.airline = liv.attribute("airl").value();
        record.icaoType = liv.attribute("type").value();
        record.cargo = gf_textIsTrue(liv.attribute("cargo").value());
        record.title = liv.attribute("title").value();
        record.regcode = liv.attribute("atcid").value();
        // A livery without title can never be created; a hand-made file may hold one.
        if (record.title.empty()) {
            logMarked(
                fmt::format("livery {} {} without title in {} skipped", record.airline, record.icaoType, pathText));
            continue;
        }
        scannedLiveries.push_back(std::move(record));
    }
    if (scannedLiveries.empty()) throw UserErrorException(533, pathText + " does not contain liveries");
    logLine(fmt::format("{} liveries read from {}", scannedLiveries.size(), pathText));
    scannedLiveries.sort(liveryBefore);
}

} // namespace qtr
