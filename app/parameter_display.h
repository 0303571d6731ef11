#pragma once
// The window's side of the parameter controls: creating them, the check-box click, their window
// handles, and the hooks through which the core shows values in them and enables them.
#include "foundation/parameters/parameter_control.h"
#include "foundation/parameters/parameter_display.h"

#include <windows.h>

namespace qtr {

// The control's child window and the edit's replaced procedure (null while there is none).
HWND controlWindow(const ParameterControl& control);
WNDPROC previousEditProc(const ParameterControl& control);

// Registers the hooks of foundation/parameters/parameter_display.h (the main window does at its
// construction): text into an edit with a repaint, check marks, emptying an edit under the
// main window, enabling.
void registerParameterDisplay();

// The check-box click: when id is the box's id, flips the mark, stores the new state as the
// value, saves it and returns true; any other id changes nothing and returns false.
bool toggleCheckBoxParameter(HWND parent, UINT id, CheckBoxParameter& parameter);

// Control creation during the main window's WM_CREATE (create is that message's record).
// A check box is created enabled with its mark from the value; a button (caption = name) and
// an edit are created disabled. The edit is subclassed with proc; the replaced procedure is
// kept in previousProc. spare is unused.
void createParameterCheckBox(CheckBoxParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x);
void createParameterButton(ButtonParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x, int width);
void createParameterEdit(ParameterControl& control, HWND parent, const CREATESTRUCTW* create, int x, int width,
                         int spare, WNDPROC proc);

} // namespace qtr
