#pragma once
// The worker's start: the checks and preparations of each worker start, in a fixed order, before
// the run; every error of them ends in the exit step with its message on the status line.
#include "foundation/parameters/parameter.h"
#include "foundation/parameters/parameter_control.h"

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

// Raised by the simulator switch (both) and by SCAN_LIVERIES switched on while the run starts
// (liveries only): the next worker start empties the livery data, or the add-on airport scan's
// collection, before it scans, so that nothing the running worker reads is cleared under it.
extern std::atomic<bool> clearLiveriesRequest;
extern std::atomic<bool> resetAirportScanRequest;
// Serves both (worker thread, at its start; the window raises them).
void serveFreshScanRequests();

// The worker thread's body: start, run, exit step.
void workerMain();
// The start's checks and preparations: parameters, folders, updates, data bases, the simulator's
// packages folder and RealTraffic on this PC.
void detectInstall();
void setupAirportsFolder();
// Whether a control of the main window is enabled when a run starts; some follow the settings.
struct RunControlState {
    const ParameterControl* control;
    bool enabled;
};
// Every control that a run's start enables or disables, as the current settings ask.
std::vector<RunControlState> runControlStates();
// Applies runControlStates, and shows the parking edits' values for the run.
void enableRunControls();
// A path that ends with "\Community" keeps only the packages folder.
void stripCommunityFolder(StringParameter& parameter);
std::string wrongFolderText();

// The steps the last worker start took, by name, in their order (worker thread writes, tests
// read after the start). A step that was skipped is not in the list.
std::vector<std::string> startupSteps();
// Empties that list (each worker start does; tests before they start one).
void clearStartupSteps();
// Called with each step's name before the step runs (worker thread); tests make a step fail by
// throwing from it.
extern std::function<void(std::string_view step)> startupStepHook;

} // namespace qtr
