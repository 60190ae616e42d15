// Messages, the message loop, input and keyboard accelerators.
//
// Implements: PostMessageW, PostQuitMessage, GetMessageW, PeekMessageW,
// TranslateMessage, DispatchMessageW (a timer message with a procedure calls it instead of the window
// procedure), DefWindowProcW, GetTickCount, GetMessageTime, LoadAcceleratorsW,
// TranslateAcceleratorW, GetKeyState.
// Retrieval order is the platform's: posted messages, then input, then WM_QUIT, then WM_PAINT, then
// WM_TIMER (for the timers of timers.cpp). Paint and timer messages are made when asked for, never
// queued: many invalidations give one paint, a paint comes before a due timer, and a timer is never
// pending twice. Timers keep their
// own schedule (due = set time + k x interval), so a late dispatch does not delay the next tick; each
// timer message carries its due time and input carries its event time.
// Keyboard input goes to the focused control of the active window (keyboard.cpp; Tab and Shift+Tab move
// the focus there and reach nobody), or to the active window when none of its controls has the focus;
// a key with Alt held is a system key. TranslateAcceleratorW sends its command to the top-level window
// of the window it is given, so the accelerators reach the main window whatever control has the focus.
// The help key becomes WM_HELP to the active window.
// Leaves out: message filters, WM_CHAR translation, cross-thread messages, hooks.
#include <algorithm>
#include <deque>
#include <memory>

#include "core.h"

namespace core {
namespace {

struct AccelTable {
    std::uint32_t magic;
    const void *module;
    std::u16string name;
    std::uint16_t ordinal;
    std::vector<res::Accel> entries;
};
constexpr std::uint32_t kAccelMagic = 0x41434345;

std::deque<MSG> g_posted;
std::deque<host::Event> g_input;
bool g_quit = false;
int g_quitCode = 0;
std::uint32_t g_messageTime = 0;
std::array<bool, 256> g_keys{};
bool g_stylusDown = false;
std::vector<std::unique_ptr<AccelTable>> g_accelTables;

bool Before(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b) < 0; }

// Finds a visible window with something to paint: top-level windows from the top, parents first.
Window *NeedsPaint(Window *w) {
    if (!(w->style & WS_VISIBLE)) return nullptr;
    if (!w->update.empty()) return w;
    for (auto *c : w->children)
        if (Window *p = NeedsPaint(c)) return p;
    return nullptr;
}

Window *FindPaint() {
    for (auto *t : TopLevels())
        if (Window *p = NeedsPaint(t)) return p;
    return nullptr;
}

bool InputAllowed(Window *w) {
    for (Window *p = w; p; p = p->parent)
        if (!p->enabled) return false;
    return true;
}

// Turns one input event into a message; false when it addresses no window that may take it.
bool TranslateInput(const host::Event &e, MSG *msg) {
    *msg = MSG{};
    msg->time = e.time;
    msg->pt = POINT{e.x, e.y};
    switch (e.kind) {
    case host::Event::StylusDown:
    case host::Event::StylusMove:
    case host::Event::StylusUp: {
        if (e.kind == host::Event::StylusMove && !g_stylusDown) return false;
        if (e.kind == host::Event::StylusDown) g_stylusDown = true;
        if (e.kind == host::Event::StylusUp) g_stylusDown = false;
        Window *target = FromHandle(GetCapture());
        if (!target) {
            target = WindowFromScreenPoint(e.x, e.y);
            if (!target || !InputAllowed(target)) return false;
            if (e.kind == host::Event::StylusDown) {
                Window *top = TopLevelOf(target);
                if (!top->parent && !(top->cls->platformFlags & kClassNoActivate)) Activate(top);
            }
        }
        RECT r = ScreenRect(target);
        msg->hwnd = target->handle;
        msg->message = e.kind == host::Event::StylusDown ? WM_LBUTTONDOWN
                       : e.kind == host::Event::StylusUp ? WM_LBUTTONUP
                                                         : WM_MOUSEMOVE;
        msg->wParam = e.kind == host::Event::StylusUp ? 0 : MK_LBUTTON;
        msg->lParam = MAKELPARAM(std::int16_t(e.x - r.left), std::int16_t(e.y - r.top));
        return true;
    }
    case host::Event::KeyDown:
    case host::Event::KeyUp: {
        bool down = e.kind == host::Event::KeyDown;
        g_keys[VK_CONTROL] = e.ctrl;
        g_keys[VK_SHIFT] = e.shift;
        g_keys[VK_MENU] = e.alt;
        if (e.key < g_keys.size()) g_keys[e.key] = down;
        Window *active = ActiveWindow();
        if (!active || !InputAllowed(active)) return false;
        if (e.key == VK_F1) {
            // The handheld's help key asks the active window for help.
            if (!down) return false;
            msg->hwnd = active->handle;
            msg->message = WM_HELP;
            return true;
        }
        if (NavigationKey(e)) return false;
        msg->hwnd = KeyTarget()->handle;
        // With Alt held a key is a system key, as the drop-down list's Alt+Down is.
        if (e.alt)
            msg->message = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
        else
            msg->message = down ? WM_KEYDOWN : WM_KEYUP;
        msg->wParam = e.key;
        msg->lParam = down ? 1 : LPARAM(0xC0000001u);
        return true;
    }
    case host::Event::Close: {
        // Closing the desktop window ends the program as its own Exit command does.
        Window *main = MainWindow();
        if (!main) return false;
        msg->hwnd = main->handle;
        msg->message = WM_CLOSE;
        return true;
    }
    case host::Event::Foreground: {
        if (Window *main = MainWindow()) SetForegroundWindow(main->handle);
        return false;
    }
    case host::Event::SoundChanged: NavBarChanged(); return false;
    }
    return false;
}

// One retrieval pass; false when nothing is pending (the caller may wait).
bool Retrieve(MSG *msg, bool remove) {
    // Actions of a screen reader's bridge run first, as messages sent from elsewhere do.
    // The loop that asked goes round once with an empty message, so that it sees what the actions
    // did to it (a dialog's "ok" pressed ends its modal loop) before it waits again.
    if (remove && a11y::ActionsPending()) {
        g_messageTime = host::Now();
        RunAccessActions();
        *msg = MSG{nullptr, WM_NULL, 0, 0, g_messageTime, {}};
        return true;
    }
    if (!g_posted.empty()) {
        *msg = g_posted.front();
        if (remove) g_posted.pop_front();
        return true;
    }
    while (!g_input.empty()) {
        host::Event e = g_input.front();
        if (!remove) {
            *msg = MSG{};
            msg->time = e.time;
            return true;
        }
        g_input.pop_front();
        if (TranslateInput(e, msg)) return true;
    }
    if (g_quit) {
        *msg = MSG{nullptr, WM_QUIT, WPARAM(g_quitCode), 0, g_messageTime, {}};
        if (remove) g_quit = false;
        return true;
    }
    if (Window *w = FindPaint()) {
        *msg = MSG{w->handle, WM_PAINT, 0, 0, g_messageTime, {}};
        return true;
    }
    std::uint32_t now = host::Now();
    Timer *earliest = nullptr;
    for (auto &t : Timers())
        if (!Before(now, t.due) && (!earliest || Before(t.due, earliest->due))) earliest = &t;
    if (earliest) {
        *msg =
            MSG{earliest->window, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc), earliest->due, {}};
        if (remove) {
            // The next tick keeps the timer's own schedule; periods already missed are skipped.
            std::uint32_t late = now - earliest->due;
            earliest->due += (late / earliest->interval + 1) * earliest->interval;
        }
        return true;
    }
    return false;
}

void Wait() {
    DeliverAccessEvents();
    if (TakeScreenDirty()) host::Present(Framebuffer(), g_messageTime);
    bool has = false;
    std::uint32_t deadline = 0;
    for (auto &t : Timers())
        if (!has || Before(t.due, deadline)) {
            deadline = t.due;
            has = true;
        }
    host::Event e;
    if (host::WaitEvent(has, deadline, &e)) PostInput(e);
}

}  // namespace

std::uint32_t CurrentMessageTime() { return g_messageTime; }

void PostInput(const host::Event &event) {
    if (g_input.size() < 1024) g_input.push_back(event);
}

bool IsKeyDown(int virtualKey) { return virtualKey >= 0 && virtualKey < 256 && g_keys[virtualKey]; }

}  // namespace core

using namespace core;

BOOL PostMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle && !FromHandle(handle)) return FALSE;
    if (g_posted.size() >= std::size_t(kMaxPostedMessages)) return FALSE;
    g_posted.push_back(MSG{handle, message, wParam, lParam, host::Now(), {}});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    g_quit = true;
    g_quitCode = exitCode;
}

BOOL GetMessageW(LPMSG msg, HWND, UINT, UINT) {
    if (!msg) return -1;
    while (!Retrieve(msg, true)) Wait();
    if (msg->message != WM_PAINT) g_messageTime = msg->time;
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    if (!msg) return FALSE;
    if (!Retrieve(msg, (remove & PM_REMOVE) != 0)) {
        DeliverAccessEvents();
        return FALSE;
    }
    if ((remove & PM_REMOVE) && msg->message != WM_PAINT) g_messageTime = msg->time;
    return TRUE;
}

BOOL TranslateMessage(const MSG *) { return FALSE; }

LRESULT DispatchMessageW(const MSG *msg) {
    if (!msg) return 0;
    if (msg->message != WM_PAINT) g_messageTime = msg->time;
    if (msg->message == WM_TIMER && msg->lParam) {
        // The timer's procedure runs instead of the window procedure.
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(handle);
    if (!w) return 0;
    switch (message) {
    case WM_CLOSE: DestroyWindow(handle); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(handle, &ps);
        EndPaint(handle, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->background;
        if (!brush) return 0;
        RECT r;
        GetClientRect(handle, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
        return 1;
    }
    case WM_SETTEXT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        w->text = text && !IS_INTRESOURCE(text) ? std::u16string(text) : std::u16string();
        AccessChanged(w, a11y::Change::Name);
        if (!w->parent && w == ActiveWindow()) NavBarChanged();
        if (!w->parent) host::SetTitle(w->text);
        return TRUE;
    }
    case WM_GETTEXT: {
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        std::size_t n = std::min<std::size_t>(w->text.size(), wParam - 1);
        std::copy_n(w->text.data(), n, buffer);
        buffer[n] = 0;
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: return LRESULT(w->text.size());
    case WM_NCHITTEST: return HTCLIENT;
    default: return 0;
    }
}

DWORD GetTickCount() { return host::Now(); }
LONG GetMessageTime() { return LONG(g_messageTime); }

HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name) {
    res::Id id;
    if (!core::ResourceId(name, &id)) return nullptr;
    for (auto &t : g_accelTables)
        if (t->module == instance && t->ordinal == id.ordinal && t->name == id.name)
            return reinterpret_cast<HACCEL>(t.get());
    res::Bytes data;
    const res::Id type = res::Ordinal(9);  // RT_ACCELERATOR
    if (!res::Find(ModuleResources(instance), type, id, &data)) return nullptr;
    auto table = std::make_unique<AccelTable>();
    if (!res::ParseAccelerators(data, &table->entries)) return nullptr;
    table->magic = kAccelMagic;
    table->module = instance;
    table->name = id.name;
    table->ordinal = id.ordinal;
    g_accelTables.push_back(std::move(table));
    return reinterpret_cast<HACCEL>(g_accelTables.back().get());
}

int TranslateAcceleratorW(HWND handle, HACCEL accel, LPMSG msg) {
    if (!msg || !accel || !FromHandle(handle)) return 0;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
    AccelTable *table = nullptr;
    for (auto &t : g_accelTables)
        if (reinterpret_cast<HACCEL>(t.get()) == accel) table = t.get();
    if (!table) return 0;
    for (const auto &e : table->entries) {
        if (!(e.flags & FVIRTKEY) || e.key != msg->wParam) continue;
        // The modifiers must match exactly: Ctrl+A is not Ctrl+Shift+A, and A alone is no command.
        if (bool(e.flags & FCONTROL) != IsKeyDown(VK_CONTROL)) continue;
        if (bool(e.flags & FSHIFT) != IsKeyDown(VK_SHIFT)) continue;
        if (bool(e.flags & FALT) != IsKeyDown(VK_MENU)) continue;
        // The command goes to the top-level window of the window given, whichever of its controls has the
        // focus, so the accelerators reach the main window however the user got there.
        SendMessageW(TopLevelOf(FromHandle(handle))->handle, WM_COMMAND, MAKEWPARAM(e.command, 1), 0);
        return 1;
    }
    return 0;
}

short GetKeyState(int virtualKey) { return IsKeyDown(virtualKey) ? short(0x8000) : 0; }
