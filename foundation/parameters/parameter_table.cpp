#include "foundation/parameters/parameter_table.h"

#include <pugixml.hpp>

#include "foundation/indicators.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/version.h"

#include <algorithm>
#include <vector>

namespace qtr {

#define QM_PLACE(id, y, x, width, tab, label, labelX, style)                                                           \
    ControlPlace { id, y, x, width, tab, label, labelX, LabelStyle::style }
#define QM_BOOL(name, value, lists) BoolParameter name(#name, value, lists);
#define QM_BOX(name, value, lists, id, y, x, tab, label, labelX, style)                                                \
    CheckBoxParameter name(#name, value, QM_PLACE(id, y, x, 0, tab, label, labelX, style), lists);
#define QM_INT(name, value, minimum, maximum, lists) IntParameter name(#name, value, minimum, maximum, lists);
#define QM_EDIT(name, value, minimum, maximum, lists, id, y, x, width, tab, label, labelX, style)                      \
    IntEditParameter name(#name, value, minimum, maximum, QM_PLACE(id, y, x, width, tab, label, labelX, style), lists);
#define QM_FLOAT(name, value, minimum, maximum, id, y, x, width, tab, label, labelX, style)                            \
    FloatEditParameter name(#name, value, minimum, maximum, QM_PLACE(id, y, x, width, tab, label, labelX, style));
#define QM_TEXT(name, lists, id, y, x, width, tab, label, labelX, style)                                               \
    TextBoxParameter name(#name, "", QM_PLACE(id, y, x, width, tab, label, labelX, style), lists);
#define QM_BUTTON(name, caption, id, y, x, width, tab)                                                                 \
    ButtonParameter name(caption, QM_PLACE(id, y, x, width, tab, nullptr, 0, plain));
#define QM_STRING(name, value, lists) StringParameter name(#name, value, lists);
#include "foundation/parameters/setting_rows.h"
#include "foundation/parameters/setting_rows_end.h"
#undef QM_PLACE

const std::vector<Parameter*>& allParameters()
{
#define QM_ROW(name, ...) &name,
#define QM_BOOL QM_ROW
#define QM_BOX QM_ROW
#define QM_INT QM_ROW
#define QM_EDIT QM_ROW
#define QM_FLOAT QM_ROW
#define QM_TEXT QM_ROW
#define QM_BUTTON QM_ROW
#define QM_STRING QM_ROW
    static const std::vector<Parameter*> rows{
#include "foundation/parameters/setting_rows.h"
    };
#include "foundation/parameters/setting_rows_end.h"
#undef QM_ROW
    return rows;
}

const std::vector<ParameterControl*>& allControls()
{
    static const std::vector<ParameterControl*> controls = [] {
        std::vector<ParameterControl*> list;
        for (Parameter* p : allParameters())
            if (auto* control = dynamic_cast<ParameterControl*>(p); control && control->place().tab > 0)
                list.push_back(control);
        std::stable_sort(list.begin(), list.end(), [](const ParameterControl* a, const ParameterControl* b) {
            return a->place().tab < b->place().tab;
        });
        return list;
    }();
    return controls;
}

ParameterControl* controlWithId(std::uint16_t id)
{
    for (ParameterControl* control : allControls())
        if (control->id == id) return control;
    return nullptr;
}

ClientBox controlBox(const ParameterControl& control)
{
    const ControlPlace& place = control.place();
    if (dynamic_cast<const CheckBoxParameter*>(&control) != nullptr)
        return ClientBox{place.x, place.y + checkBoxDrop, place.x + checkBoxSide,
                         place.y + checkBoxDrop + checkBoxSide};
    const std::int32_t height = dynamic_cast<const ButtonParameter*>(&control) != nullptr ? buttonHeight : editHeight;
    return ClientBox{place.x, place.y, place.x + place.width, place.y + height};
}

void resetParametersToDefaults()
{
    for (Parameter* p : allParameters()) {
        if (auto* b = dynamic_cast<BoolParameter*>(p))
            b->setValue(b->defaultValue());
        else if (auto* i = dynamic_cast<IntParameter*>(p))
            i->setValue(i->defaultValue());
        else if (auto* f = dynamic_cast<FloatParameter*>(p))
            f->setValue(f->defaultValue());
        else if (auto* t = dynamic_cast<StringParameter*>(p))
            t->setValue(t->defaultValue());
    }
    lateralRangeNm.store(static_cast<double>(LATERAL_RANGE.value()));
    lateralRangeMetres.store(LATERAL_RANGE.value() * 1852);
}

namespace {

// The members of one load list of a kind, in the rows' order. A row of another kind with that
// list's bit (the check box COLLISION_LIVE_PARKED_GND among the bools) is taken as the list's
// kind.
template <class Kind>
std::vector<Kind*> loadList(LoadList list)
{
    std::vector<Kind*> members;
    for (Parameter* p : allParameters())
        if (p->lists & list)
            if (auto* member = dynamic_cast<Kind*>(p)) members.push_back(member);
    return members;
}

} // namespace

// Copied from the parameters above, which this file constructs first.
const std::string lateralRangeKey = LATERAL_RANGE.name;
const std::string autoRangeKey = AUTO_RANGE.name;
const std::string initialLoadOnlyKey = INITIAL_LOAD_ONLY.name;
const std::string parkSoftKey = PARK_SOFT.name;
const std::string parkFakeKey = PARK_FAKE.name;
const std::string parkingPercentageKey = parking_percentage.name;
const std::string maxFitKey = MAX_FIT.name;
const std::string weekKey = WEEK.name;
const std::string learnSoftKey = LEARN_SOFT.name;
const std::string maxLiveKey = MAX_LIVE.name;

std::atomic<double> lateralRangeNm{static_cast<double>(LATERAL_RANGE.value())};
std::atomic<std::int32_t> lateralRangeMetres{LATERAL_RANGE.value() * 1852};

void loadParameters()
{
    // Every stored setting is in the lists by its row; a row's order is the order of a new file
    // and of the log. Two keys stand in two lists each (COLLISION_LIVE_PARKED_GND,
    // CUSTOM_MAX_PARK) and are walked once per list.
    const auto bools = loadList<BoolParameter>(boolsList);
    const auto boxes = loadList<CheckBoxParameter>(boxesList);
    const auto ints = loadList<IntParameter>(intsList);
    const auto edits = loadList<IntEditParameter>(editsList);
    const auto strings = loadList<StringParameter>(stringsList);
    const auto texts = loadList<TextBoxParameter>(textsList);
    readParametersXml(bools, boxes, ints, edits, strings, texts);
    {
        pugi::xml_document doc;
        loadParametersDocument(doc);
        DOWNLOAD_SITE.read(doc);
    }
    checkProgramVersion();

    const std::int32_t range = LATERAL_RANGE.clamp(LATERAL_RANGE.value());
    LATERAL_RANGE.setValue(range);
    lateralRangeNm.store(static_cast<double>(range));
    lateralRangeMetres.store(range * 1852);
}

} // namespace qtr
