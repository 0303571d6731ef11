#pragma once
// The parameter controls of the main window: their creation on WM_CREATE and the edit
// procedures that apply what the user typed when Enter is pressed (window thread).
#include "foundation/parameters/parameter_control.h"

#include <cstdint>
#include <string>

#include <windows.h>

namespace qtr {

// Creates the 42 controls in their fixed order and places, then repaints the parameter band.
void createControls(HWND window, const CREATESTRUCTW* create);

// The shared edit procedures: Enter (WM_CHAR 13) applies the edit, every other message goes to
// the edit's own procedure.
LRESULT intEditProc(IntEditParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT textEditProc(TextBoxParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK floatEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The text of the edit with that id under the current main window (at most 1023 characters).
std::string lf_getTextFromId(std::uint16_t controlId);
// Apply the typed number; true when a new value was applied.
bool lf_processTbInt(IntEditParameter& parameter);
bool lf_processTbFloat(FloatEditParameter& parameter);
// A packages folder typed into the install-path edit, for the path parameter of the selected
// simulator; a folder that holds "Community" (or is one) restarts the run with it.
void lf_newSimPath(StringParameter& pathParameter, const std::string& text);
// Tells the user when the traffic manager will act on a changed parking setting.
void settingsChangeNotice();

} // namespace qtr
