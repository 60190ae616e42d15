// Timers: each periodic on its own schedule (due = set time + k x interval), kept per window and id.
//
// Implements: SetTimer (a running id is replaced and its period restarted; 10 ms at the shortest),
// KillTimer, and the end of a window's timers with the window. The message loop (message.cpp) turns a
// due timer into WM_TIMER and moves it to its next tick. The host is told whether a timer other than
// the navigation bar's clock runs (the program is ticking or repeating notes: the screen stays on).
// Leaves out: timers of other threads (everything runs on the message loop's thread).
#include <algorithm>

#include "core.h"

namespace core {
namespace {

std::vector<Timer> g_timers;
bool g_screenOn = false;

// Tells the host when the program's own timers start or all end.
void TimersChanged() {
    HWND clock = NavigationBar();
    bool on = std::any_of(g_timers.begin(), g_timers.end(), [&](const Timer &t) { return t.window != clock; });
    if (on == g_screenOn) return;
    g_screenOn = on;
    host::KeepScreenOn(on);
}

}  // namespace

std::vector<Timer> &Timers() { return g_timers; }

void KillWindowTimers(HWND handle) {
    g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(), [&](const Timer &t) { return t.window == handle; }),
                   g_timers.end());
    TimersChanged();
}

}  // namespace core

using namespace core;

UINT_PTR SetTimer(HWND handle, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (handle && !FromHandle(handle)) return 0;
    // The platform's shortest period; a zero period would fire without end.
    elapse = std::max<UINT>(elapse, 10);
    std::uint32_t due = host::Now() + elapse;
    for (auto &t : g_timers)
        if (t.window == handle && t.id == id) {
            // Setting a running timer replaces it and restarts its period.
            t = Timer{handle, id, elapse, due, proc};
            return id ? id : 1;
        }
    if (g_timers.size() >= std::size_t(kMaxTimers)) return 0;
    g_timers.push_back(Timer{handle, id, elapse, due, proc});
    TimersChanged();
    return id ? id : 1;
}

BOOL KillTimer(HWND handle, UINT_PTR id) {
    auto it = std::find_if(g_timers.begin(), g_timers.end(),
                           [&](const Timer &t) { return t.window == handle && t.id == id; });
    if (it == g_timers.end()) return FALSE;
    g_timers.erase(it);
    TimersChanged();
    return TRUE;
}
