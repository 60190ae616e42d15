// The table of live windows, below everything else in the core: handles, lookups and geometry.
//
// Implements: handles that carry a slot and a generation (a stale handle is detected, never
// dereferenced), the list of top-level windows in z-order, a window's screen rectangle, visibility
// through its ancestors, its top-level window; SendMessageW and CallWindowProcW, which are direct
// calls of a window's procedure.
// Leaves out: everything a window does (window.cpp), its painting and its messages.
#include "core.h"

namespace core {
namespace {

std::array<Window *, kMaxWindows> g_slots{};  // slot 0 unused
std::array<std::uint16_t, kMaxWindows> g_generation{};
std::vector<Window *> g_topLevels;  // front = top

}  // namespace

Window *AllocateWindow() {
    for (int i = 1; i < kMaxWindows; ++i) {
        if (!g_slots[i]) {
            auto *w = new Window;
            g_slots[i] = w;
            g_generation[i] = std::uint16_t(g_generation[i] + 1);
            // Bit 0 stays clear: the platform uses it as a flag on handles (SetForegroundWindow).
            w->handle = reinterpret_cast<HWND>((std::uintptr_t(i) << 1) | (std::uintptr_t(g_generation[i]) << 17));
            return w;
        }
    }
    return nullptr;
}

void ReleaseWindow(Window *w) {
    int slot = SlotOf(w);
    g_slots[slot] = nullptr;
    delete w;
}

Window *FromHandle(HWND handle) {
    auto v = reinterpret_cast<std::uintptr_t>(handle);
    std::uintptr_t slot = (v >> 1) & 0xFFFF, gen = v >> 17;
    if ((v & 1) || slot == 0 || slot >= kMaxWindows || gen > 0xFFFF) return nullptr;
    Window *w = g_slots[slot];
    if (!w || g_generation[slot] != gen) return nullptr;
    return w;
}

int SlotOf(const Window *w) { return int((reinterpret_cast<std::uintptr_t>(w->handle) >> 1) & 0xFFFF); }

Window *WindowInSlot(int slot) { return slot > 0 && slot < kMaxWindows ? g_slots[std::size_t(slot)] : nullptr; }

RECT ScreenRect(const Window *w) {
    RECT r = w->rect;
    for (const Window *p = w->parent; p; p = p->parent) {
        r.left += p->rect.left;
        r.right += p->rect.left;
        r.top += p->rect.top;
        r.bottom += p->rect.top;
    }
    return r;
}

bool IsVisible(const Window *w) {
    for (; w; w = w->parent)
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

Window *TopLevelOf(Window *w) {
    while (w && w->parent) w = w->parent;
    return w;
}

const std::vector<Window *> &TopLevels() { return g_topLevels; }
std::vector<Window *> &TopLevelList() { return g_topLevels; }

}  // namespace core

using namespace core;

// A sent message is a direct call of the window procedure, past the queue.
LRESULT SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || !w->proc) return 0;
    return w->proc(handle, message, wParam, lParam);
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(window, message, wParam, lParam) : 0;
}
