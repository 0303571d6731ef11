#include "app/parameter_display.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <atomic>
#include <string>
#include <thread>

#include <windows.h>

using namespace qtr;

namespace {

int editMessages = 0;

LRESULT CALLBACK lateralRangeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++editMessages;
    return CallWindowProcW(previousEditProc(LATERAL_RANGE), window, message, wParam, lParam);
}

LRESULT CALLBACK blockCallsignProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(previousEditProc(BLOCK_CALLSIGN), window, message, wParam, lParam);
}

LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        createParameterCheckBox(TELLMOOR, window, create, 652);
        createParameterCheckBox(MSFS_2020, window, create, 5);
        createParameterEdit(LATERAL_RANGE, window, create, 217, 34, 0, lateralRangeProc);
        createParameterEdit(BLOCK_CALLSIGN, window, create, 217, 100, 0, blockCallsignProc);
        createParameterButton(unblockButton, window, create, 323, 70);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring windowText(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t text[64] = {};
    GetClassNameW(window, text, 64);
    return text;
}

RECT clientRect(HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool checked(const CheckBoxParameter& box)
{
    return SendMessageW(controlWindow(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string storedValue(const std::string& key)
{
    pugi::xml_document doc;
    if (!doc.load_file(parametersXmlPath().c_str())) return "<no file>";
    const pugi::xml_node element = doc.select_node(parameterXPath(key).c_str()).node();
    return element ? element.attribute("value").as_string() : "<missing>";
}

// The load runs on a worker as in the program, while this thread, which owns the controls,
// serves the messages that the load sends them.
void loadOnWorker()
{
    std::atomic<bool> done{false};
    std::thread worker([&done] {
        loadParameters();
        done.store(true);
    });
    while (!done.load()) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    worker.join();
}

void freshDefaults()
{
    std::filesystem::remove_all(dataFolder());
    loadParameters();
}

class ParameterControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        freshDefaults();
        registerParameterDisplay();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = parentProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillmarshParameterControlsTest";
        RegisterClassExW(&wc);
        parent = CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 900, 500, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        ASSERT_NE(parent, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(parent);
        for (ParameterControl* control : std::initializer_list<ParameterControl*>{&TELLMOOR, &MSFS_2020, &LATERAL_RANGE,
                                                                                  &BLOCK_CALLSIGN, &unblockButton}) {
            control->windowHandle.store(nullptr);
            control->previousProc.store(nullptr);
        }
        freshDefaults();
    }

    HWND parent = nullptr;
};

} // namespace

TEST_F(ParameterControls, CreatedWithTheirIdsPlacesAndStates)
{
    struct Case {
        const ParameterControl* control;
        const wchar_t* windowClass;
        RECT place;
        bool enabled;
        std::wstring text;
    };
    const Case cases[] = {
        {&TELLMOOR, L"button", {652, 205, 664, 217}, true, L""},
        {&MSFS_2020, L"button", {5, 121, 17, 133}, true, L""},
        {&LATERAL_RANGE, L"Edit", {217, 231, 251, 247}, false, L""},
        {&BLOCK_CALLSIGN, L"Edit", {217, 259, 317, 275}, false, L""},
        {&unblockButton, L"button", {323, 257, 393, 277}, false, L"Unblock"},
    };
    for (const auto& c : cases) {
        HWND child = controlWindow(*c.control);
        ASSERT_NE(child, nullptr) << c.control->id;
        EXPECT_EQ(GetDlgItem(parent, c.control->id), child);
        EXPECT_EQ(_wcsicmp(className(child).c_str(), c.windowClass), 0) << c.control->id;
        const RECT rect = clientRect(child);
        EXPECT_EQ(rect.left, c.place.left) << c.control->id;
        EXPECT_EQ(rect.top, c.place.top) << c.control->id;
        EXPECT_EQ(rect.right, c.place.right) << c.control->id;
        EXPECT_EQ(rect.bottom, c.place.bottom) << c.control->id;
        EXPECT_EQ(IsWindowEnabled(child) != 0, c.enabled) << c.control->id;
        EXPECT_EQ(windowText(child), c.text) << c.control->id;
    }
    // Marks follow the values (TELLMOOR false, MSFS_2020 true by default).
    EXPECT_FALSE(checked(TELLMOOR));
    EXPECT_TRUE(checked(MSFS_2020));
    // The edit runs our procedure, which hands on to the edit's own one.
    HWND edit = controlWindow(LATERAL_RANGE);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(lateralRangeProc));
    ASSERT_NE(previousEditProc(LATERAL_RANGE), nullptr);
    editMessages = 0;
    SetWindowTextW(edit, L"42");
    EXPECT_GT(editMessages, 0);
    EXPECT_EQ(windowText(edit), L"42");
}

TEST_F(ParameterControls, ToggleFlipsOnlyItsOwnBox)
{
    struct Case {
        UINT id;
        bool before;
        bool result;
        bool after;
        std::string stored;
    };
    const Case cases[] = {
        {32775, false, true, true, "true"},    // TELLMOOR's own id
        {32775, true, true, false, "false"},   //
        {32790, false, false, false, "false"}, // MSFS_2020's id: nothing changes
        {32790, true, false, true, "true"},    //
    };
    for (const auto& c : cases) {
        TELLMOOR.setValue(c.before);
        TELLMOOR.save();
        CheckDlgButton(parent, TELLMOOR.id, c.before ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(toggleCheckBoxParameter(parent, c.id, TELLMOOR), c.result) << c.id << c.before;
        EXPECT_EQ(TELLMOOR.value(), c.after) << c.id << c.before;
        EXPECT_EQ(checked(TELLMOOR), c.after) << c.id << c.before;
        EXPECT_EQ(storedValue("TELLMOOR"), c.stored) << c.id << c.before;
    }
    // Another id never creates the file either.
    std::filesystem::remove_all(dataFolder());
    EXPECT_FALSE(toggleCheckBoxParameter(parent, 32790, TELLMOOR));
    EXPECT_EQ(storedValue("TELLMOOR"), "<no file>");
}

TEST_F(ParameterControls, ControlsShowTheLoadedValues)
{
    struct Case {
        const char* what;
        std::string file; // empty: no file
        bool tellmoor;
        bool msfs2020;
        std::wstring range;
        std::wstring callsign;
    };
    const Case cases[] = {
        {"stored",
         "<parameters><parameter name=\"TELLMOOR\" value=\"true\"/><parameter name=\"MSFS_2020\" value=\"false\"/>"
         "<parameter name=\"LATERAL_RANGE\" value=\"500\"/><parameter name=\"BLOCK_CALLSIGN\" value=\"DLH4AB\"/>"
         "</parameters>",
         true, false, L"100", L"DLH4AB"},
        {"missing file", "", false, true, L"40", L""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dataFolder());
        if (!c.file.empty()) qtest::writeFile(parametersXmlPath(), c.file);
        // The controls show something else before the load.
        CheckDlgButton(parent, TELLMOOR.id, c.tellmoor ? BST_UNCHECKED : BST_CHECKED);
        CheckDlgButton(parent, MSFS_2020.id, c.msfs2020 ? BST_UNCHECKED : BST_CHECKED);
        SetWindowTextW(controlWindow(LATERAL_RANGE), L"x");
        SetWindowTextW(controlWindow(BLOCK_CALLSIGN), L"x");
        loadOnWorker();
        EXPECT_EQ(checked(TELLMOOR), c.tellmoor) << c.what;
        EXPECT_EQ(checked(MSFS_2020), c.msfs2020) << c.what;
        EXPECT_EQ(windowText(controlWindow(LATERAL_RANGE)), c.range) << c.what;
        EXPECT_EQ(windowText(controlWindow(BLOCK_CALLSIGN)), c.callsign) << c.what;
    }
}
