#pragma once
// The event a client hands to SimConnect_Open (its hEventHandle): SimConnect sets it whenever a
// message comes for the client's dispatch, so the client sleeps on it instead of polling. Under
// Wine every poll is a round trip to the wineserver, which made the polling loop the costliest
// thread of the program.
//
// On Windows it is a Win32 auto-reset event. The native test build has no Win32 events: the
// handle points at a portable auto-reset event instead, which the stand-in simulator linked into
// the tests sets through signalEventHandle (the only way a simulator reaches the handle).
#include "platform/simconnect/simconnect.h"

#include <chrono>
#include <stdexcept>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace qtr {

#ifndef _WIN32
// What a native event handle points at.
struct PortableAutoResetEvent {
    std::mutex mutex;
    std::condition_variable set;
    bool signalled = false; // guarded by mutex
};
#endif

// Sets the event behind a handle that a client gave to SimConnect_Open.
inline void signalEventHandle(HANDLE event)
{
#ifdef _WIN32
    SetEvent(event);
#else
    auto* e = static_cast<PortableAutoResetEvent*>(event);
    {
        std::lock_guard lock(e->mutex);
        e->signalled = true;
    }
    e->set.notify_one();
#endif
}

// An auto-reset event and its handle. Handed to SimConnect_Open it must outlive the connection:
// the simulator may set it until SimConnect_Close returns.
class AutoResetEvent {
public:
    AutoResetEvent()
    {
#ifdef _WIN32
        handle_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!handle_) throw std::runtime_error("CreateEvent failed");
#else
        handle_ = &portable_;
#endif
    }
    ~AutoResetEvent()
    {
#ifdef _WIN32
        CloseHandle(handle_);
#endif
    }
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    HANDLE handle() const { return handle_; }
    // Waits until the event is set or the time is up; true when it was set (which resets it).
    bool wait(std::chrono::milliseconds timeout)
    {
#ifdef _WIN32
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
        const DWORD bounded = ms >= static_cast<long long>(INFINITE) ? INFINITE - 1
                                                                     : static_cast<DWORD>(ms < 0 ? 0 : ms);
        return WaitForSingleObject(handle_, bounded) == WAIT_OBJECT_0;
#else
        std::unique_lock lock(portable_.mutex);
        if (!portable_.set.wait_for(lock, timeout, [this] { return portable_.signalled; })) return false;
        portable_.signalled = false;
        return true;
#endif
    }

private:
    HANDLE handle_ = nullptr;
#ifndef _WIN32
    PortableAutoResetEvent portable_;
#endif
};

} // namespace qtr
