#include "app/paint.h"

#include "airports/scanned_airports.h"
#include "app/main_window.h"
#include "app/parameter_display.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

#include <filesystem>
#include <utility>

namespace qtr {

std::function<void(const DrawnText&)> drawnTextObserver;

namespace {

// The texts of mainWindow, copied under statusMutex once per paint: other threads assign them
// while the window thread paints.
struct TextSnapshot {
    std::string userAircraft, parkLine1, parkLine2, quality, simulator, feedVersion, userStand, callsign, parkAirport,
        reservedStand;
};

TextSnapshot takeTexts()
{
    std::lock_guard lock(indicators.statusMutex);
    return TextSnapshot{indicators.userAircraftText, indicators.parkLineText1, indicators.parkLineText2,
                        indicators.qualityText,      indicators.simulatorText, indicators.feedVersionText,
                        indicators.userStandText,    indicators.callsignText,  indicators.parkAirportText,
                        indicators.reservedStandText};
}

// The snapshot of the paint in progress (window thread only).
TextSnapshot texts;

void fill(const RECT& band, HBRUSH brush) { FillRect(mainWindow.paintDc, &band, brush); }

void line(int x1, int y1, int x2, int y2)
{
    MoveToEx(mainWindow.paintDc, x1, y1, nullptr);
    LineTo(mainWindow.paintDc, x2, y2);
}

// A lamp is a filled box of the links band.
void lamp(const RECT& box, HBRUSH brush) { fill(box, brush); }

constexpr RECT simLampBox{397, 30, 425, 112};
constexpr RECT feedLampBox{425, 30, 453, 112};

bool controlEnabled(const ParameterControl& control)
{
    HWND window = controlWindow(control);
    return window != nullptr && IsWindowEnabled(window);
}

// 1 green, 2 yellow; 3 (stopped) draws nothing.
void readerWord(int y, const char* word, std::int32_t state)
{
    if (state == 3) return;
    drawText(458, y, word, state == 1 ? greenColour : yellowColour);
}

// A count with its label, or the label with "..." in the colour of a missing value.
std::string countText(const std::string& label, std::int64_t count)
{
    return count == 0 ? label + ": ..." : fmt::format("{}: {}", label, count);
}

} // namespace

namespace {

// Yellow on the light blue or green bands is hard to read: such texts get a dark shadow one
// pixel below and to the right, the text itself keeps its colour. A text with a right edge is
// cut there, so that it never runs into the column beside it.
void drawTextWithShadow(int x, int y, const std::string& text, COLORREF colour, bool shadow, int right = -1);

} // namespace

void drawText(int x, int y, const std::string& text, COLORREF colour)
{
    const bool onLightBand = y >= parametersBand.top && y < parametersBand.bottom;
    drawTextWithShadow(x, y, text, colour, colour == yellowColour && onLightBand);
}

namespace {

void textOut(HDC dc, int x, int y, const std::wstring& text, int right)
{
    if (right < 0) {
        TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
        return;
    }
    const RECT clip{x, y, right, y + 20};
    ExtTextOutW(dc, x, y, ETO_CLIPPED, &clip, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

int textWidth(const std::wstring& text)
{
    SIZE size{};
    GetTextExtentPoint32W(mainWindow.paintDc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// The text as it fits into width pixels in the current font: cut, and ended with "...", when
// it is wider. Never between the two halves of a surrogate pair. Text that is no UTF-8 is
// given back as it is (drawing it reports it).
std::string fittedText(const std::string& text, int width)
{
    std::wstring wide;
    try {
        wide = utf8ToUtf16(text);
    } catch (const std::exception&) {
        return text;
    }
    if (textWidth(wide) <= width) return text;
    const std::wstring dots = L"...";
    std::size_t keep = wide.size();
    while (keep > 0 && textWidth(wide.substr(0, keep) + dots) > width) --keep;
    if (keep > 0 && keep < wide.size() && IS_HIGH_SURROGATE(wide[keep - 1])) --keep;
    return utf16ToUtf8(wide.substr(0, keep) + dots);
}

void drawTextWithShadow(int x, int y, const std::string& text, COLORREF colour, bool shadow, int right)
{
    if (text.empty()) return;
    std::wstring wide;
    try {
        wide = utf8ToUtf16(text);
    } catch (const win32::Utf8ConversionException& e) {
        logLineWhileRunning(fmt::format("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode()));
        return;
    } catch (const std::exception& e) {
        logLineWhileRunning(fmt::format("{} {}", text, e.what()));
        return;
    }
    HDC dc = mainWindow.paintDc;
    if (shadow) {
        SetTextColor(dc, RGB(40, 40, 40));
        textOut(dc, x + 1, y + 1, wide, right);
    }
    SetTextColor(dc, colour);
    textOut(dc, x, y, wide, right);
    if (drawnTextObserver) drawnTextObserver(DrawnText{x, y, text, colour});
}

} // namespace

void drawLabel(int x, int y, const std::string& text, bool enabled)
{
    drawText(x, y, text, enabled ? blackColour : greyColour);
}

void paintWindow(HDC dc)
{
    mainWindow.paintDc = dc;
    texts = takeTexts();
    fill(headerBand, mainWindow.blackBrush);
    fill(linksBand, mainWindow.blackBrush);
    fill(parametersBand, mainWindow.lightBlueBrush);
    fill(statisticsBand, mainWindow.blackBrush);
    fill(statusBand, mainWindow.greenBrush);

    HGDIOBJ oldPen = SelectObject(dc, mainWindow.whitePen);
    HGDIOBJ oldFont = SelectObject(dc, mainWindow.textFont);
    line(0, 28, 880, 28);
    line(0, 113, 880, 113);
    line(0, 449, 880, 449);
    line(0, 392, 880, 392);
    SetBkMode(dc, TRANSPARENT);

    drawText(3, 7, fmt::format("Version {}", programVersion().toString()), greenColour);
    drawText(390, 7, programName, greenColour);
    drawText(632, 7, "Live traffic for MSFS 2020/2024", greenColour);

    SelectObject(dc, mainWindow.blackPen);
    for (const auto& [from, to] : mainWindow.gridLines) line(from.x, from.y, to.x, to.y);
    line(642, 140, 642, 308);

    paintLiveriesPanel();
    paintQnh();
    const std::int32_t trafficLamp = indicators.trafficLamp.load();
    if (indicators.feedConnected.load() && (trafficLamp == 1 || trafficLamp == 2))
        drawText(642, 91, fmt::format("live: {:3}", indicators.liveCount.load()), greenColour);
    paintSettingsLabels();
    paintStatistics();
    {
        std::lock_guard lock(indicators.statusMutex);
        // A line longer than the window ends with "..." at its edge.
        constexpr int statusWidth = statusBand.right - 2 * 3;
        if (!indicators.errorText.empty()) {
            fill(statusBand, mainWindow.redBrush);
            drawText(3, 455, fittedText(indicators.errorText, statusWidth), yellowColour);
        } else {
            fill(statusBand, mainWindow.greenBrush);
            drawTextWithShadow(3, 455, fittedText(indicators.statusText, statusWidth), yellowColour, true);
        }
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    mainWindow.paintDc = nullptr;
}

void paintLiveriesPanel()
{
    const bool connected = indicators.simConnected.load();
    COLORREF simColour = redColour;
    HBRUSH simBrush = mainWindow.redBrush;
    if (connected) {
        const bool complete = indicators.flightLoaded.load() && !texts.userAircraft.empty();
        simColour = complete ? greenColour : yellowColour;
        simBrush = complete ? mainWindow.greenBrush : mainWindow.yellowBrush;
    }
    lamp(simLampBox, simBrush);
    drawText(398, 63, "Sim", blackColour);

    if (!connected) {
        drawText(5, 35, fmt::format("MSFS 20{} mode", MSFS_2020.value() ? "20" : "24"), greenColour);
    } else {
        std::string simulator = texts.simulator;
        if (!texts.userStand.empty()) simulator += ", user stand " + texts.userStand;
        drawText(5, 35, simulator, simColour);
        drawText(5, 63, texts.userAircraft, indicators.aircraftKnown.load() ? simColour : yellowColour);
    }

    const std::int64_t liveries = indicators.liveryCount.load();
    drawText(5, 91, countText("# liveries", liveries), liveries == 0 ? redColour : greenColour);
    const std::int64_t vendrake = indicators.vendrakeLiveryCount.load();
    drawText(141, 91, countText("# vendrake", vendrake), vendrake == 0 ? yellowColour : greenColour);
    const std::int64_t thirdParty = indicators.thirdPartyLiveryCount.load();
    drawText(278, 91, countText("# thirdp", thirdParty), thirdParty == 0 ? yellowColour : greenColour);

    const bool feed = indicators.feedConnected.load();
    HBRUSH feedBrush = mainWindow.blackBrush;
    if (!indicators.notRunning.load()) {
        if (!feed)
            feedBrush = mainWindow.redBrush;
        else
            feedBrush = indicators.trafficLamp.load() == 1 ? mainWindow.greenBrush : mainWindow.yellowBrush;
    }
    lamp(feedLampBox, feedBrush);
    drawText(430, 63, "RT", blackColour);
    if (feed) {
        drawText(458, 35, texts.feedVersion, greenColour);
        readerWord(63, "Weather", indicators.weatherLamp.load());
        readerWord(91, "Traffic", indicators.trafficLamp.load());
    }
    SelectObject(mainWindow.paintDc, mainWindow.blackPen);
    line(425, 29, 425, 112);
}

void paintQnh()
{
    const std::int32_t weatherLamp = indicators.weatherLamp.load();
    if (!indicators.feedConnected.load() || (weatherLamp != 1 && weatherLamp != 2)) return;
    const std::int32_t qnh = indicators.qnh.load();
    if (qnh >= 1) drawText(642, 63, fmt::format("qnh: {:4}", qnh), greenColour);
}

namespace {

COLORREF labelColour(const ParameterControl& control)
{
    const auto* box = dynamic_cast<const BoolParameter*>(&control);
    const auto* number = dynamic_cast<const IntParameter*>(&control);
    switch (control.place().labelStyle) {
    case LabelStyle::plain:
        break;
    case LabelStyle::yellowWhenOn:
        return box && box->value() ? yellowColour : blackColour;
    case LabelStyle::yellowWhenOff:
        return box && !box->value() ? yellowColour : blackColour;
    case LabelStyle::greyWhenDisabled:
        return controlEnabled(control) ? blackColour : greyColour;
    case LabelStyle::greyWhenOff:
        return box && box->value() ? blackColour : greyColour;
    case LabelStyle::yellowWhenChanged:
        return number && number->value() != number->defaultValue() ? yellowColour : greyColour;
    }
    return blackColour;
}

// The labels of the controls, each from its setting's row.
void paintControlLabels()
{
    for (const ParameterControl* control : allControls()) {
        const ControlPlace& place = control->place();
        if (place.label != nullptr) drawText(place.labelX, place.y, place.label, labelColour(*control));
    }
}

} // namespace

void paintSettingsLabels()
{
    paintControlLabels();
    // Titles of rows and units, and labels that follow another setting.
    if (const int tblo = tbloEntryCount.load(); tblo > 0) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::absolute(tbloFolder, ec);
        // The folder's full path may be long: it ends at the column of options.
        drawTextWithShadow(
            217, 175,
            fmt::format("{} airport{} in {} folder", tblo, gf_plural(tblo), pathToUtf8(ec ? tbloFolder : folder)),
            yellowColour, true, 640);
    }
    drawText(253, 203, "Optional:", blackColour);
    drawText(5, 231, "Traffic injection", blackColour);
    drawText(260, 231, "nm,  or", blackColour);
    drawLabel(430, 231, "ah:", AUTO_RANGE.value());
    drawLabel(510, 231, "ft", AUTO_RANGE.value());
    drawLabel(768, 231, "objectids", MSFS_2020.value());

    drawText(5, 259, "Callsigns", blackColour);
    if (!texts.callsign.empty() && !CALLSIGN_2_OBJECTID.value().empty())
        drawText(561, 259, texts.callsign, blackColour);
    drawText(5, 287, "Collision avoidance", blackColour);

    const bool placing = indicators.parkingBusy.load();
    drawText(5, 315, fmt::format("Airport parking{}", placing ? " active" : ""), placing ? yellowColour : blackColour);
    const std::int32_t minutes = indicators.parkingMinutes.load();
    if (indicators.parkAirportLoaded.load() && !placing && !INITIAL_LOAD_ONLY.value() && minutes >= 1 && minutes <= 19)
        drawText(5, 343, fmt::format("(next in {} min)", minutes), blackColour);
    drawText(393, 343, "nm", blackColour);
    drawText(621, 343, "ft", blackColour);
    drawText(363, 371, "%", blackColour);
}

void paintStatistics()
{
    if (texts.parkAirport.empty()) return;
    const int y = indicators.statisticsRowY.load();
    const bool loaded = indicators.parkAirportLoaded.load();
    drawText(5, y, texts.parkAirport, loaded ? greenColour : yellowColour);
    if (!loaded) return;
    // A long airport name and publisher are cut before the static marker's column; the traffic
    // week after them always shows.
    const std::string week = fmt::format(", wk={}", indicators.parkWeek.load());
    const std::string names =
        fmt::format(" {}, {}{}", texts.parkLine1, texts.parkLine2, indicators.hMarkFlag.load() ? " (h)" : "");
    const int namesWidth = parkLineRight - parkLineLeft - textWidth(utf8ToUtf16(week));
    drawTextWithShadow(parkLineLeft, y, fittedText(names, namesWidth) + week, greenColour, false, parkLineRight);
    drawText(370, y, indicators.staticMarker.load() ? "*S*" : "", greenColour);
    drawText(430, y, fmt::format("qf: {}", texts.quality), greenColour);
    if (!texts.reservedStand.empty())
        drawText(571, y, fmt::format("reserved stand: {}", texts.reservedStand),
                 indicators.reservedStandOk.load() ? greenColour : redColour);
    drawText(748, y, fmt::format("# updates: {:4}", indicators.updateCount.load()), greenColour);

    constexpr int y2 = 427;
    drawText(5, y2, fmt::format("# stands: {:3}", indicators.standCount.load()), greenColour);
    drawText(111, y2, fmt::format("parked live: {:3}", indicators.parkedLiveCount.load()), greenColour);
    if (const float fit = indicators.averageFitLive.load(); fit > 0)
        drawText(249, y2, fmt::format("average fit: {}", gf_floatToText(fit)), greenColour);
    const std::int32_t maxPark = indicators.maxPark.load();
    if (maxPark > 0) {
        drawText(430, y2, fmt::format("parked static: {:3}", indicators.parkedStaticCount.load()), greenColour);
        if (const float fit = indicators.averageFitStatic.load(); !WEEK.value() && fit > 0)
            drawText(571, y2, fmt::format("average fit: {}", gf_floatToText(fit)), greenColour);
    }
    drawText(708, y2,
             maxPark == 0 ? std::string("no max park live")
                          : fmt::format("max park: {:3} (={} %)", maxPark, indicators.maxParkPercent.load()),
             greenColour);
}

} // namespace qtr
