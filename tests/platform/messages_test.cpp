// The message queue, the loop and timers: retrieval order, paints and timers made on demand, timer
// schedules, re-entrant creation and destruction.
#include <gtest/gtest.h>

#include "core.h"
#include "recorder.h"
#include "test_host.h"

namespace {

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        recorder::Log().clear();
    }
    void TearDown() override { testhost::TearDown(); }

    // Retrieves everything pending, in order, without dispatching.
    static std::vector<UINT> Drain() {
        std::vector<UINT> out;
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            out.push_back(m.message);
            if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
            if (out.size() > 50) break;
        }
        return out;
    }
};

std::vector<UINT> g_timerCalls;
void CALLBACK RecordTimer(HWND, UINT message, UINT_PTR id, DWORD time) {
    g_timerCalls.push_back(UINT(id));
    (void)message;
    (void)time;
}

TEST_F(Messages, RetrievalOrderIsPostedInputQuitPaintTimer) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    SetTimer(w, 7, 10, nullptr);
    testhost::Jump(10);
    InvalidateRect(w, nullptr, FALSE);
    PostQuitMessage(3);
    host::Event tap;
    tap.kind = host::Event::StylusDown;
    tap.x = 50;
    tap.y = 100;
    tap.time = testhost::Now();
    core::PostInput(tap);
    PostMessageW(w, WM_USER, 0, 0);
    const std::vector<UINT> expected = {WM_USER, WM_LBUTTONDOWN, WM_QUIT, WM_PAINT, WM_TIMER};
    EXPECT_EQ(Drain(), expected);
    KillTimer(w, 7);
}

TEST_F(Messages, ManyInvalidationsGiveOnePaintCoveringTheirUnion) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    recorder::Log().clear();
    RECT a{0, 0, 10, 10}, b{100, 100, 120, 130};
    InvalidateRect(w, &a, FALSE);
    InvalidateRect(w, &b, FALSE);
    InvalidateRect(w, &a, FALSE);
    RECT bounds;
    ASSERT_TRUE(GetUpdateRect(w, &bounds, FALSE));
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.bottom, 130);
    testhost::Pump();
    EXPECT_EQ(recorder::Messages(w, {WM_PAINT}).size(), 1u);
    EXPECT_FALSE(GetUpdateRect(w, &bounds, FALSE));
}

TEST_F(Messages, TimersKeepTheirOwnScheduleWhenDispatchedLate) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    std::uint32_t start = testhost::Now();
    SetTimer(w, 1, 100, nullptr);
    recorder::Log().clear();
    testhost::Advance(100);  // on time at +100
    testhost::Jump(250);     // busy until +350: +200 and +300 were missed
    testhost::Pump();        // one timer message, stamped with its due time
    testhost::Advance(50);   // +400 comes on schedule, not 100 ms after the late one
    std::vector<DWORD> times;
    for (auto &e : recorder::Log())
        if (e.message == WM_TIMER) times.push_back(e.time - start);
    const std::vector<DWORD> expected = {100, 200, 400};
    EXPECT_EQ(times, expected);
    KillTimer(w, 1);
}

TEST_F(Messages, SettingARunningTimerReplacesItAndRestartsItsPeriod) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    std::uint32_t start = testhost::Now();
    SetTimer(w, 5, 100, nullptr);
    testhost::Advance(60);
    SetTimer(w, 5, 100, nullptr);  // next tick at +160, not +100
    recorder::Log().clear();
    testhost::Advance(150);
    std::vector<DWORD> times;
    for (auto &e : recorder::Log())
        if (e.message == WM_TIMER) times.push_back(e.time - start);
    const std::vector<DWORD> expected = {160};
    EXPECT_EQ(times, expected);
    EXPECT_TRUE(KillTimer(w, 5));
    EXPECT_FALSE(KillTimer(w, 5));
    testhost::Advance(300);
    EXPECT_EQ(recorder::Messages(w, {WM_TIMER}).size(), 1u);
}

TEST_F(Messages, ATimerProcedureRunsInsteadOfTheWindowProcedureAndDiesWithItsWindow) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    g_timerCalls.clear();
    SetTimer(w, 9, 50, RecordTimer);
    testhost::Advance(120);
    EXPECT_EQ(g_timerCalls, (std::vector<UINT>{9, 9}));
    EXPECT_TRUE(recorder::Messages(w, {WM_TIMER}).empty());
    DestroyWindow(w);
    testhost::Advance(200);
    EXPECT_EQ(g_timerCalls.size(), 2u);
}

// Timers due at the same moment tick in the order they were first set, whatever their ids or
// windows; setting a running timer again keeps its place in that order (it is the same timer,
// restarted). An earlier due time always goes first.
TEST_F(Messages, TimersDueTogetherTickInTheOrderTheyWereSet) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    HWND other = recorder::Create(nullptr, 0, 26, 240, 268);
    g_timerCalls.clear();
    SetTimer(w, 8, 100, RecordTimer);
    SetTimer(other, 3, 100, RecordTimer);
    SetTimer(w, 2, 100, RecordTimer);
    SetTimer(w, 6, 90, RecordTimer);
    testhost::Jump(20);
    SetTimer(w, 8, 80, RecordTimer);  // restarted: due with the others, still first among them
    testhost::Jump(80);
    testhost::Pump();
    EXPECT_EQ(g_timerCalls, (std::vector<UINT>{6, 8, 3, 2}));
    DestroyWindow(w);
    DestroyWindow(other);
}

// The host keeps the screen on exactly while a timer other than the navigation bar's clock runs: told
// once when the first starts, once when the last ends (killed, or dying with its window), never for
// a timer replaced or a kill that finds nothing.
TEST_F(Messages, TheScreenStaysOnWhileAProgramTimerRuns) {
    EXPECT_FALSE(testhost::ScreenKeptOn()) << "the clock alone keeps nothing on";
    testhost::Advance(61000);  // the clock ticks
    EXPECT_FALSE(testhost::ScreenKeptOn());
    int told = testhost::ScreenOnChanges();

    HWND a = recorder::Create(nullptr, 0, 26, 240, 268);
    HWND b = recorder::Create(nullptr, 0, 26, 240, 268);
    SetTimer(a, 1, 250, nullptr);
    EXPECT_TRUE(testhost::ScreenKeptOn());
    SetTimer(a, 1, 500, nullptr);  // replaced: still running
    SetTimer(b, 2, 1050, RecordTimer);
    EXPECT_EQ(testhost::ScreenOnChanges(), told + 1);
    testhost::Advance(1100);
    EXPECT_TRUE(testhost::ScreenKeptOn());

    EXPECT_TRUE(KillTimer(a, 1));
    EXPECT_FALSE(KillTimer(a, 1));
    EXPECT_TRUE(testhost::ScreenKeptOn()) << "b's timer still runs";
    DestroyWindow(b);
    EXPECT_FALSE(testhost::ScreenKeptOn()) << "the last timer died with its window";
    EXPECT_EQ(testhost::ScreenOnChanges(), told + 2);

    SetTimer(a, 3, 100, nullptr);
    EXPECT_TRUE(testhost::ScreenKeptOn());
    DestroyWindow(a);
    EXPECT_FALSE(testhost::ScreenKeptOn());
}

// Creation sends WM_CREATE before CreateWindowExW returns, and a message sent from inside it re-enters.
LRESULT CALLBACK ReentrantProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    recorder::Log().push_back(recorder::Entry{window, message, wParam, 0});
    if (message == WM_CREATE) SendMessageW(window, WM_COMMAND, MAKEWPARAM(103, 9), 0);
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Messages, CreationSendsCreateFirstAndSendMessageReentersInsideIt) {
    testhost::RegisterTestClass(u"Reentrant", ReentrantProc);
    HWND w = CreateWindowExW(0, u"Reentrant", u"t", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_GE(recorder::Log().size(), 2u);
    EXPECT_EQ(recorder::Log()[0].message, UINT(WM_CREATE));
    EXPECT_EQ(recorder::Log()[1].message, UINT(WM_COMMAND));
    EXPECT_EQ(recorder::Log()[1].wParam, MAKEWPARAM(103, 9));
    // CW_USEDEFAULT: the screen below the navigation bar.
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
}

TEST_F(Messages, CloseDestroysTheWindowThenItsChildrenGetDestroy) {
    HWND parent = recorder::Create(nullptr, 0, 26, 240, 268);
    HWND child = recorder::Create(parent, 10, 10, 50, 20);
    testhost::Pump();
    recorder::Log().clear();
    SendMessageW(parent, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    std::vector<std::pair<HWND, UINT>> destroys;
    for (auto &e : recorder::Log())
        if (e.message == WM_DESTROY) destroys.push_back({e.window, e.message});
    ASSERT_EQ(destroys.size(), 2u);
    EXPECT_EQ(destroys[0].first, parent);
    EXPECT_EQ(destroys[1].first, child);
    // A stale handle is refused, never used.
    EXPECT_EQ(SendMessageW(parent, WM_USER, 0, 0), 0);
    EXPECT_FALSE(ShowWindow(child, SW_SHOW));
}

TEST_F(Messages, BadHandlesAndArgumentsFailSafely) {
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x12345678), WM_USER, 0, 0));
    EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0xdead), 1, 10, nullptr), 0u);
    EXPECT_FALSE(InvalidateRect(nullptr, nullptr, FALSE));
    EXPECT_EQ(GetWindowTextW(nullptr, nullptr, 10), 0);
    WCHAR buffer[4] = {u'x', u'x', u'x', 0};
    EXPECT_EQ(GetWindowTextW(reinterpret_cast<HWND>(0x77), buffer, 4), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(CreateWindowExW(0, u"no such class", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateWindowExW(0, u"Recorder", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(Messages, WindowTextIsCutToTheBufferAndTerminated) {
    HWND w = recorder::Create(nullptr, 0, 26, 240, 268);
    SetWindowTextW(w, u"Stop Metronome");
    WCHAR small[5];
    EXPECT_EQ(GetWindowTextW(w, small, 5), 4);
    EXPECT_EQ(std::u16string(small), u"Stop");
    EXPECT_EQ(GetWindowTextLengthW(w), 14);
}

}  // namespace
