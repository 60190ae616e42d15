#include "test_host.h"

#include <windows.h>

#include <initializer_list>

#include "core.h"
#include "startup.h"

namespace {

std::uint32_t g_now = 0;
bool g_soundWorks = true;
bool g_screenOn = false;
int g_screenOnChanges = 0;
std::vector<std::string> g_record;

// Posts `e` once as each of `kinds`, at the current time.
void Post(std::initializer_list<host::Event::Kind> kinds, host::Event e) {
    e.time = g_now;
    for (host::Event::Kind kind : kinds) {
        e.kind = kind;
        core::PostInput(e);
    }
}

host::Event Point(int x, int y) {
    host::Event e{};
    e.x = x;
    e.y = y;
    return e;
}

host::Event KeyEvent(unsigned vk, bool ctrl, bool shift, bool alt) {
    host::Event e{};
    e.key = vk;
    e.ctrl = ctrl;
    e.shift = shift;
    e.alt = alt;
    return e;
}

std::string Narrow(const std::u16string &s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

}  // namespace

namespace testhost {

void SetUp() {
    platform::Init();
    g_record.clear();
    if (!g_soundWorks) SetSoundWorks(true);
    Pump();
}

void TearDown() {
    // Destroy the test's windows, keeping the screen furniture (the two bottom-most top-level windows).
    while (core::TopLevels().size() > 2) DestroyWindow(core::TopLevels().front()->handle);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message != WM_QUIT) DispatchMessageW(&m);
    }
}

void Pump() {
    MSG m;
    for (int guard = 0; guard < 100000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
        if (m.message == WM_QUIT) {
            g_record.push_back(std::to_string(g_now) + " quit " + std::to_string(m.wParam));
            continue;
        }
        DispatchMessageW(&m);
    }
}

void Advance(std::uint32_t ms) {
    Pump();
    for (std::uint32_t i = 0; i < ms; ++i) {
        ++g_now;
        Pump();
    }
}

void Jump(std::uint32_t ms) { g_now += ms; }
std::uint32_t Now() { return g_now; }

// Each gesture is posted whole and handled before the call returns.
void Tap(int x, int y) {
    Post({host::Event::StylusDown, host::Event::StylusUp}, Point(x, y));
    Pump();
}
void Down(int x, int y) {
    Post({host::Event::StylusDown}, Point(x, y));
    Pump();
}
void Move(int x, int y) {
    Post({host::Event::StylusMove}, Point(x, y));
    Pump();
}
void Up(int x, int y) {
    Post({host::Event::StylusUp}, Point(x, y));
    Pump();
}
void Key(unsigned vk, bool ctrl, bool shift, bool alt) {
    Post({host::Event::KeyDown, host::Event::KeyUp}, KeyEvent(vk, ctrl, shift, alt));
    Pump();
}
void KeyDown(unsigned vk, bool alt) {
    Post({host::Event::KeyDown}, KeyEvent(vk, false, false, alt));
    Pump();
}
void KeyUp(unsigned vk, bool alt) {
    Post({host::Event::KeyUp}, KeyEvent(vk, false, false, alt));
    Pump();
}

void RegisterTestClass(const char16_t *name, WNDPROC proc, bool whiteBackground) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    if (whiteBackground) wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

const std::vector<std::string> &Record() { return g_record; }
void ClearRecord() { g_record.clear(); }
bool ScreenKeptOn() { return g_screenOn; }
int ScreenOnChanges() { return g_screenOnChanges; }

void SetSoundWorks(bool works) {
    g_soundWorks = works;
    Post({host::Event::SoundChanged}, host::Event{});
}

std::uint32_t Pixel(int x, int y) {
    if (x < 0 || y < 0 || x >= host::kScreenWidth || y >= host::kScreenHeight) return 0;
    return core::Framebuffer()[y * host::kScreenWidth + x] & 0xFFFFFF;
}

}  // namespace testhost

namespace host {

std::uint32_t Now() { return g_now; }
bool WaitEvent(bool, std::uint32_t deadline, Event *) {
    g_now = deadline;  // only reached by a modal loop waiting for its next timer
    return false;
}
void Present(const std::uint32_t *, std::uint32_t) {}
void PlaySound(int id, const std::int16_t *samples, std::size_t, int, std::uint32_t messageTime) {
    if (samples) g_record.push_back(std::to_string(messageTime) + " sound " + std::to_string(id));
}
bool SoundWorks() { return g_soundWorks; }
void KeepScreenOn(bool on) {
    g_screenOn = on;
    ++g_screenOnChanges;
}
bool StartProcess(const std::u16string &application, const std::u16string &commandLine) {
    g_record.push_back(std::to_string(g_now) + " process " + Narrow(application) + " " + Narrow(commandLine));
    return true;
}
std::string ProgramFolder() { return "/nonexistent"; }
bool ClaimOrFind(const std::u16string &, const std::u16string &) { return false; }
bool AskOtherToForeground(const std::u16string &, const std::u16string &) { return false; }
void RaiseWindow() { g_record.push_back(std::to_string(g_now) + " foreground"); }
void SetTitle(const std::u16string &) {}
void Log(const std::string &event) { g_record.push_back(std::to_string(g_now) + " " + event); }
int LocalMinutesOfDay() { return 9 * 60; }

}  // namespace host
