#include "liveries/type_data_base.h"

#include "foundation/download.h"
#include "foundation/errors.h"
#include "liveries/data_text.h"
#include "foundation/log.h"
#include "foundation/text_files.h"
#include "foundation/unzip_file.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/code_unscrambler.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace qtr {

OrderedSet validTypes;
OrderedSet highPerfTypeSet;
OrderedSet heavyTypeSet;
OrderedSet largeTypeSet;
OrderedSet buzjetTypeSet;
OrderedSet rotorcraftTypeSet;
OrderedSet cargoTypeSet;
std::vector<std::vector<std::string>> similarGroups;
OrderedSet icaoAirlines;
OrderedSet cargoOperators;
std::vector<std::vector<std::string>> publisherGroups;
std::map<std::string, double, std::less<>> typeHalfWingSpans;
double maxHalfWingSpan = 0.0;
std::array<double, 6> categoryHalfWingSpans{};
FnvMap<std::string> typeFixes;
OrderedSet vendrakeAirports;
std::vector<ThirdPartyAirports> thirdPartyAirports20;
std::vector<ThirdPartyAirports> thirdPartyAirports24;
FnvMap<RegistrationInfo> registrations;

namespace {

constexpr double metresToNm = 0.0005399568034557236;

// The items of a comma-list attribute, split at every ',' with nothing trimmed; a missing or
// empty attribute gives none.
std::vector<std::string> lf_listItems(const pugi::xml_node& element, const char* attribute)
{
    return gf_splitUntrimmed(element.attribute(attribute).value(), ',');
}

[[noreturn]] void lf_throwEmptySection(const char* section, const char* element, const char* attribute)
{
    throw UserErrorException(61, fmt::format("In an xml file section {} {} {} is empty ", section, element, attribute));
}

// Every list item of the attribute of the section's elements, unscrambled, into a fresh set, so
// that the required-section check looks at this section alone. An item the unscrambler refuses
// is logged and skipped: one bad code must not cost the whole data base.
template <class Decrypt>
OrderedSet lf_readCodeList(const pugi::xml_document& doc, const char* section, const char* element,
                           const char* attribute, Decrypt decrypt)
{
    OrderedSet fresh;
    for (const pugi::xml_node e : doc.child(section).children(element)) {
        for (const std::string& item : lf_listItems(e, attribute)) {
            if (item.empty()) continue;
            try {
                fresh.insert(decrypt(item));
            } catch (const std::exception& ex) {
                logMarked(fmt::format("{} code \"{}\" skipped: {}", section, item, ex.what()));
            }
        }
    }
    if (fresh.empty()) lf_throwEmptySection(section, element, attribute);
    return fresh;
}

void lf_readSimilarTypes(const pugi::xml_document& doc)
{
    for (const pugi::xml_node e : doc.child("similar_types").children("similar")) {
        std::vector<std::string> group;
        for (const std::string& item : lf_listItems(e, "types")) group.push_back(decryptType(item));
        std::sort(group.begin(), group.end());
        similarGroups.push_back(std::move(group));
    }
}

void lf_readPublishers(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    const pugi::xml_node section = doc.child("publishers");
    if (!section) return;
    try {
        std::vector<std::string> texts;
        for (const pugi::xml_node e : section.children("pub")) texts.emplace_back(e.attribute("names").value());
        std::sort(texts.begin(), texts.end());
        texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
        for (const std::string& names : texts) splitCommaList(names);
    } catch (const std::exception& e) {
        throw std::runtime_error(
            fmt::format("exception {} in reading publishers from \"{}\"", e.what(), path.string()));
    }
}

void lf_readWingspans(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    const pugi::xml_node section = doc.child("wingspans");
    if (!section) return;
    bool anyValid = false;
    for (const pugi::xml_node e : section.children("wingspan")) {
        try {
            const std::string type = decryptType(e.attribute("type").value());
            if (!isValidType(type)) {
                logMarked(fmt::format("wingspan model {} is no valid model, skipped", type));
                continue;
            }
            const double metres = attributeAsDouble(e, "meters");
            // A span that is no positive number would make every distance test of the type pass.
            if (!std::isfinite(metres) || metres < 0.0) {
                logMarked(fmt::format("wingspan model {} has no valid span \"{}\", skipped", type,
                                      e.attribute("meters").value()));
                continue;
            }
            anyValid = true;
            const double half = metres * 0.5 * metresToNm;
            typeHalfWingSpans.emplace(type, half);
            maxHalfWingSpan = std::max(maxHalfWingSpan, half);
        } catch (const std::exception& ex) {
            throw std::runtime_error(
                fmt::format("exception {} in reading wingspans from \"{}\"", ex.what(), path.string()));
        }
    }
    if (anyValid) computeAverageWingspans();
}

void lf_readFixes(const pugi::xml_document& doc)
{
    for (const pugi::xml_node e : doc.child("fixes").children("fx")) {
        const std::string wrong = e.attribute("wro").value();
        const std::string correct = e.attribute("cor").value();
        if (correct.empty() || validTypes.count(correct) == 0) {
            logMarked(fmt::format("wrong fix {}->{}, the latter is not a valid model", wrong, correct));
            continue;
        }
        if (!typeFixes.emplace(wrong, correct).second)
            logMarked(fmt::format("wrong part of fix: \"{}\", already exists, skipped", wrong));
    }
}

std::string lf_decryptOptional(const char* text, std::string (*decrypt)(std::string_view))
{
    return text[0] == '\0' ? std::string() : decrypt(text);
}

void lf_readRegistrations(const pugi::xml_document& doc)
{
    registrations.clear();
    for (const pugi::xml_node e : doc.child("dbase").children("db")) {
        try {
            const std::string registration = decryptText(e.attribute("reg").value());
            RegistrationInfo info;
            info.airline = lf_decryptOptional(e.attribute("airl").value(), decryptAirl);
            info.type = lf_decryptOptional(e.attribute("type").value(), decryptType);
            info.operatorCode = lf_decryptOptional(e.attribute("opr").value(), decryptAirl);
            info.cargo = gf_textIsTrue(e.attribute("cargo").value());
            if (!registrations.emplace(registration, std::move(info)).second)
                logMarked(fmt::format("regcode {} already exists", registration));
        } catch (const std::exception& ex) {
            logMarked(fmt::format("dbase record \"{}\" skipped: {}", e.attribute("reg").value(), ex.what()));
        }
    }
}

} // namespace

void readTypesSection(const pugi::xml_document& doc, const char* section, OrderedSet& target, const char* element)
{
    OrderedSet fresh = lf_readCodeList(doc, section, element, "types", decryptType);
    target.merge(fresh);
}

void readIcaoCodesSection(const pugi::xml_document& doc, const char* section, OrderedSet& target)
{
    OrderedSet fresh = lf_readCodeList(doc, section, "ICAO", "codes", decryptAirl);
    target.merge(fresh);
}

void readXmlSectionSet(const pugi::xml_document& doc, const char* section, OrderedSet& target, const char* element,
                       const char* attribute)
{
    // The section must be there (a document without it is cut short), but it may list nothing:
    // an empty list is a true answer, and nothing has to be invented to fill it.
    const auto elements = doc.child(section).children(element);
    if (elements.begin() == elements.end()) lf_throwEmptySection(section, element, attribute);
    for (const pugi::xml_node e : elements)
        for (std::string& item : lf_listItems(e, attribute)) target.insert(std::move(item));
}

void readPackageAirports(const pugi::xml_document& doc, const char* section, std::vector<ThirdPartyAirports>& target,
                         const char* element)
{
    for (const pugi::xml_node e : doc.child(section).children(element))
        target.push_back(ThirdPartyAirports{e.attribute("pub").value(), lf_listItems(e, "arpts")});
}

void splitCommaList(const std::string& names) { publisherGroups.push_back(gf_splitUntrimmed(names, ',')); }

double attributeAsDouble(const pugi::xml_node& element, const char* attribute)
{
    const pugi::xml_attribute a = element.attribute(attribute);
    if (!a) return 0.0;
    return std::strtod(a.value(), nullptr);
}

void readDataBaseFile(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result loaded = doc.load_file(path.c_str());
    if (!loaded)
        throw UserErrorException(60, fmt::format("\"{}\" not read because of {}", path.string(), loaded.description()));
    readTypesSection(doc, "aircrafts", validTypes, "aircraft");
    readTypesSection(doc, "high_performance", highPerfTypeSet, "hpf");
    readTypesSection(doc, "heavy", heavyTypeSet, "hvy");
    readTypesSection(doc, "large", largeTypeSet, "lar");
    readTypesSection(doc, "buzjet", buzjetTypeSet, "bzj");
    readTypesSection(doc, "rotorcraft", rotorcraftTypeSet, "rot");
    readTypesSection(doc, "cargo_types", cargoTypeSet, "cargo_type");
    lf_readSimilarTypes(doc);
    readIcaoCodesSection(doc, "ICAO_airlines", icaoAirlines);
    readIcaoCodesSection(doc, "cargo_operators", cargoOperators);
    lf_readPublishers(doc, path);
    lf_readWingspans(doc, path);
    lf_readFixes(doc);
    readXmlSectionSet(doc, "vendrakes20", vendrakeAirports, "vendrake20", "arpts");
    readPackageAirports(doc, "thirdparties20", thirdPartyAirports20, "thirdpartie20");
    readPackageAirports(doc, "thirdparties24", thirdPartyAirports24, "thirdpartie24");
    lf_readRegistrations(doc);
    gf_removeIfExists(path);
}

void readDataBase()
{
    // A fresh download wins: the site may know newer types and registrations than the copy the
    // program was shipped with.
    if (downloadDataBaseZip(dataBaseTempPath)) {
        try {
            readDataBaseFile(dataBaseTempPath);
            return;
        } catch (const std::exception& e) {
            // A damaged data base on the site must not end a start that the shipped copy can
            // carry; what the damaged one filled in goes first.
            logMarked(fmt::format("the data base from on-line could not be read: {}", e.what()));
            clearTypeDataBase();
            gf_removeIfExists(dataBaseTempPath);
        }
    }
    const std::string shipped = pathToUtf8(shippedDataBaseZip);
    if (!std::filesystem::exists(shippedDataBaseZip) ||
        !gf_unzipToFile(shippedDataBaseZip, shipped, dataBaseTempPath, downloadCaps().dataZipBytes))
        throw std::runtime_error("data base could not be read from on-line?");
    logLine(fmt::format("data base could not be read from on-line, reading the shipped {}", shipped));
    readDataBaseFile(dataBaseTempPath);
}

void clearTypeDataBase()
{
    for (OrderedSet* set : {&validTypes, &highPerfTypeSet, &heavyTypeSet, &largeTypeSet, &buzjetTypeSet,
                            &rotorcraftTypeSet, &cargoTypeSet, &icaoAirlines, &cargoOperators, &vendrakeAirports})
        set->clear();
    similarGroups.clear();
    publisherGroups.clear();
    typeHalfWingSpans.clear();
    maxHalfWingSpan = 0.0;
    categoryHalfWingSpans.fill(0.0);
    typeFixes.clear();
    thirdPartyAirports20.clear();
    thirdPartyAirports24.clear();
    registrations.clear();
}

} // namespace qtr
