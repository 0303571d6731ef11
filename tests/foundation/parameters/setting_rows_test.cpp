// The setting rows and what is made of them: the stored keys of a new file, the controls and
// their layout, the reset to defaults. Pure computations on the rows and the file, so that a
// wrong row is caught natively in seconds.
#include "foundation/parameters/parameters_xml.h"
#include "support/layout_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <string>
#include <vector>

using namespace qtr;
using namespace qtest;

TEST(SettingRows, FreshFileHoldsEveryStoredKeyInRowOrder)
{
    resetToDefaults();
    const Entries entries = fileEntries();
    EXPECT_EQ(entries, freshFileFromRows());
    // The lists' order holds whatever the rows: the plain booleans first, the texts last, and a
    // row in two lists twice.
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front(), (Entries::value_type{"RANDOM", "true"}));
    EXPECT_EQ(entries.back(), (Entries::value_type{"BLOCK_CALLSIGN", ""}));
    EXPECT_EQ(countOf(entries, "COLLISION_LIVE_PARKED_GND"), 2);
    EXPECT_EQ(countOf(entries, "CUSTOM_MAX_PARK"), 2);
    EXPECT_EQ(fileValue("PROGRAM_VERSION"), programVersion().toString());
    const std::string text = qtest::readFile(parametersXmlPath());
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("\n\t<parameter name=\"RANDOM\" value=\"true\" />"), std::string::npos);
    EXPECT_EQ(lateralRangeMetres.load(), 74080);
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 40.0);
    EXPECT_FLOAT_EQ(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f, MAX_FIT_FL.value());
    // Nothing is left beside the file (no temporary, no copy).
    EXPECT_EQ(dataFolderFiles(), std::vector<std::filesystem::path>{"parameters.xml"});
}

// The rows are the only list of settings: a stored row is in a new file once per load list it
// names, every key of a new file is a row, and the settings that are never stored are exactly
// these (a row that lost its load list would otherwise go unread without a sound).
TEST(SettingRows, EveryStoredRowIsInTheFile)
{
    resetToDefaults();
    const Entries entries = fileEntries();
    std::vector<std::string> neverStored;
    for (const Parameter* p : allParameters()) {
        if (p->lists == notStored) {
            neverStored.push_back(p->name);
            continue;
        }
        // Empty livery folders are never written.
        const int lists = std::popcount(p->lists);
        EXPECT_EQ(countOf(entries, p->name), isLiveryFolderParameter(p->name) ? 0 : lists) << p->name;
    }
    EXPECT_EQ(neverStored,
              (std::vector<std::string>{"parking_percentage", "MAX_FIT_FL", "ALL_INSTALL_PATH", "CALLSIGN_2_OBJECTID",
                                        "Unblock", "Re-read", "Flush static", "DOWNLOAD_SITE"}));
    for (const auto& entry : entries) {
        const std::string& key = entry.first;
        EXPECT_TRUE(std::any_of(allParameters().begin(), allParameters().end(), [&key](const Parameter* p) {
            return p->name == key && p->lists != notStored;
        })) << key;
    }
}

// The controls come from the rows: one per row with a place in the order of creation, each with
// its own id and its own place, inside the window's width (the install-path edit runs past the
// right edge on purpose).
TEST(SettingRows, EveryControlHasItsOwnIdAndPlace)
{
    const auto& controls = allControls();
    const auto rowsWithControl = std::count_if(allParameters().begin(), allParameters().end(), [](const Parameter* p) {
        const auto* control = dynamic_cast<const ParameterControl*>(p);
        return control != nullptr && control->place().tab > 0;
    });
    ASSERT_EQ(controls.size(), static_cast<std::size_t>(rowsWithControl));
    std::vector<std::uint16_t> ids;
    for (std::size_t k = 0; k < controls.size(); ++k) {
        const ControlPlace& place = controls[k]->place();
        EXPECT_EQ(place.tab, static_cast<std::int32_t>(k + 1)) << place.id;
        EXPECT_EQ(controlWithId(place.id), controls[k]);
        EXPECT_GE(place.x, 5) << place.id;
        EXPECT_LT(place.x, 880) << place.id;
        if (place.label != nullptr) {
            EXPECT_LT(place.labelX, 880) << place.id;
        }
        ids.push_back(place.id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(controlWithId(40000), nullptr);
    // A row without a control of its own.
    EXPECT_EQ(std::find(controls.begin(), controls.end(), static_cast<ParameterControl*>(&MAX_FIT)), controls.end());
}

// resetParametersToDefaults puts every row back, whatever its kind.
TEST(SettingRows, ResetPutsEveryRowBackToItsDefault)
{
    for (Parameter* p : allParameters()) {
        if (auto* b = dynamic_cast<BoolParameter*>(p))
            b->setValue(!b->defaultValue());
        else if (auto* i = dynamic_cast<IntParameter*>(p))
            i->setValue(i->defaultValue() == i->maximum() ? i->minimum() : i->maximum());
        else if (auto* f = dynamic_cast<FloatParameter*>(p))
            f->setValue(f->minimum() + 0.25f);
        else if (auto* s = dynamic_cast<StringParameter*>(p))
            s->setValue(s->defaultValue() + "changed");
    }
    resetParametersToDefaults();
    for (Parameter* p : allParameters()) {
        if (auto* b = dynamic_cast<BoolParameter*>(p)) {
            EXPECT_EQ(b->value(), b->defaultValue()) << p->name;
        } else if (auto* i = dynamic_cast<IntParameter*>(p)) {
            EXPECT_EQ(i->value(), i->defaultValue()) << p->name;
        } else if (auto* f = dynamic_cast<FloatParameter*>(p)) {
            EXPECT_EQ(f->value(), f->defaultValue()) << p->name;
        } else if (auto* s = dynamic_cast<StringParameter*>(p)) {
            EXPECT_EQ(s->value(), s->defaultValue()) << p->name;
        }
    }
    EXPECT_EQ(lateralRangeMetres.load(), 40 * 1852);
}

// No two controls or row labels share a pixel, and every label ends inside the window: a new
// setting placed on a taken spot, or a label longer than its gap, is caught here (the window
// test checks the same with the drawn text).
TEST(SettingRows, NoTwoControlsOrLabelsOverlap)
{
    const std::vector<NamedBox> layout = bandLayout();
    EXPECT_EQ(overlaps(layout), std::vector<std::string>{});
    for (const NamedBox& b : layout) {
        if (b.name.rfind("label", 0) == 0) {
            EXPECT_LE(b.box.right, 880) << b.name;
        }
    }
    // The check itself: a box laid on a control, and a label that runs into the next control.
    std::vector<NamedBox> taken = layout;
    taken.push_back({"new box", controlBox(LOG)});
    EXPECT_EQ(overlaps(taken), std::vector<std::string>{"LOG / new box"});
    const ControlPlace& automatic = LIG_AUTOMATIC.place();
    const auto wide = bandLayout([&automatic](std::string_view text) {
        return text == automatic.label ? AI_PACKAGE_ORDER.place().x - automatic.labelX + 1 : estimatedLabelWidth(text);
    });
    EXPECT_EQ(overlaps(wide), std::vector<std::string>{"label \"Automatic, selector:\" / AI_PACKAGE_ORDER"});
}

// Every stored number's bounds are values of their own: a file holding a row's minimum or maximum
// reads back as exactly that (a typed 1 for the matching depth stays 1), and one step beyond is
// clamped to it.
TEST(SettingRows, BoundsReadBackUnchangedFromTheFile)
{
    for (Parameter* p : allParameters()) {
        if (p->lists == notStored) continue;
        auto* i = dynamic_cast<IntParameter*>(p);
        if (i == nullptr) continue;
        const std::int64_t minimum = i->minimum();
        const std::int64_t maximum = i->maximum();
        const std::pair<std::int64_t, std::int64_t> cases[] = {
            {minimum, minimum}, {maximum, maximum}, {minimum - 1, minimum}, {maximum + 1, maximum}};
        for (const auto& [written, expected] : cases) {
            // A step beyond a bound that is the type's own limit is no number of the row.
            if (written < INT32_MIN || written > INT32_MAX) continue;
            removeDataFiles();
            writeParameters(element(p->name, std::to_string(written)));
            loadParameters();
            EXPECT_EQ(i->value(), expected) << p->name << " written as " << written;
        }
    }
    resetToDefaults();
}
