#include "app/main_window.h"
#include "foundation/clock.h"
#include "foundation/run_control.h"
#include "traffic/run/worker.h"

#include "foundation/log_capture.h"
#include "support/stop_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include <windows.h>

using namespace qtr;

namespace {

void resetStop() { qtest::resetStopRequests(); }

// A clock whose sleeps return at once (or fail, to test the exit's guards).
class InstantClock final : public Clock {
public:
    bool failSleeps = false;
    std::chrono::steady_clock::time_point steadyNow() override { return now_; }
    void sleepFor(std::chrono::milliseconds d) override
    {
        if (failSleeps) throw std::runtime_error("clock failure");
        now_ += d;
    }
    void sleepUntil(std::chrono::steady_clock::time_point t) override { now_ = std::max(now_, t); }

private:
    std::chrono::steady_clock::time_point now_{};
};

// A hidden window standing in for the main window, to see which application message the exit posts.
class MessageSink {
public:
    MessageSink()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QmTestSink";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, L"QmTestSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        mainWindow.hWnd = window_;
    }
    ~MessageSink()
    {
        mainWindow.hWnd = nullptr;
        DestroyWindow(window_);
    }
    // The application messages posted so far, in order.
    std::vector<UINT> drain()
    {
        std::vector<UINT> seen;
        MSG msg;
        while (PeekMessageW(&msg, window_, WM_APP, WM_APP + 10, PM_REMOVE)) seen.push_back(msg.message);
        return seen;
    }

private:
    HWND window_;
};

} // namespace

TEST(ExitStep, PostsTheMessageOfItsCode)
{
    InstantClock instant;
    setClock(&instant);
    MessageSink sink;
    struct Case {
        ExitCode code;
        UINT expected;
    } cases[] = {{ExitCode::UserClosedProgram, WM_APP + 2},
                 {ExitCode::SimWasClosed, WM_APP + 2},
                 {ExitCode::NewSettings, WM_APP + 1},
                 {ExitCode::ReaderError, WM_APP + 1},
                 {ExitCode::NewFlight, WM_APP + 2}};
    for (const Case& c : cases) {
        resetStop();
        requestStop(c.code, 2);
        lf_closingDown();
        EXPECT_EQ(sink.drain(), std::vector<UINT>{c.expected}) << exitCodeText(c.code);
        if (isRestartCode(c.code)) {
            // The run state is back at its start for the next worker.
            EXPECT_FALSE(stopRequested.load());
            EXPECT_EQ(exitCode.load(), ExitCode::NotYetSet);
            EXPECT_TRUE(restartRequested.load());
        }
    }
    setClock(nullptr);
    resetStop();
}

// The reason of an end the user must act on reaches the log, although the stop silences the
// status line's own logging.
TEST(ExitStep, NewFlightIsLogged)
{
    InstantClock instant;
    setClock(&instant);
    MessageSink sink;
    qtest::LogCapture log("new-flight");
    resetStop();
    requestStop(ExitCode::NewFlight, 2);
    lf_closingDown();
    const std::vector<std::string> lines = log.lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.starts_with("New flight detected, ") &&
                                      l.ends_with("please restart manually ...");
                           }),
              lines.end());
    sink.drain();
    setClock(nullptr);
    resetStop();
}

TEST(ExitStep, FailingStepsStillStopAndPostAMessage)
{
    InstantClock failing;
    failing.failSleeps = true;
    setClock(&failing);
    MessageSink sink;
    // The countdown of a restart fails half-way: the program ends instead of hanging without a worker.
    resetStop();
    requestStop(ExitCode::ReaderError, 15);
    lf_closingDown();
    EXPECT_EQ(sink.drain(), std::vector<UINT>{WM_APP + 2});
    // A failing pause inside the exit does not keep the window message back either.
    resetStop();
    requestUserClose();
    lf_closingDown();
    EXPECT_EQ(sink.drain(), std::vector<UINT>{WM_APP + 2});
    setClock(nullptr);
    resetStop();
}
