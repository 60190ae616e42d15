// Window classes and windows.
//
// Implements: RegisterClassW, CreateWindowExW (WM_CREATE sent before it returns; CW_USEDEFAULT gives
// a top-level window the screen below the navigation bar), DestroyWindow (owned windows, then
// WM_DESTROY to the window and its children, timers die with it), FindWindowW (this process, then
// other running copies through the host), SetForegroundWindow, geometry, showing, enabling, texts,
// window longs, capture and focus, and the screen's owner map: each pixel belongs to the topmost
// visible window there, children clip their parents, and an area that becomes uncovered is added to
// the update region of the window that now owns it (hiding a child repaints its parent beneath).
// Leaves out: non-client areas, window regions, WM_PARENTNOTIFY, reparenting, Z-order calls.
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>

#include "core.h"

namespace core {
namespace {

std::deque<WindowClass> g_classes;  // deque: class pointers stay valid
Window *g_main = nullptr;
Window *g_active = nullptr;
HWND g_capture = nullptr;
HWND g_focus = nullptr;
std::array<std::uint16_t, kScreenW * kScreenH> g_previousOwner{};

bool SameName(const std::u16string &a, const char16_t *b) {
    std::size_t n = 0;
    for (; b[n]; ++n) {
        if (n >= a.size()) return false;
        char16_t x = a[n], y = b[n];
        if (x >= u'a' && x <= u'z') x = char16_t(x - 32);
        if (y >= u'a' && y <= u'z') y = char16_t(y - 32);
        if (x != y) return false;
    }
    return n == a.size();
}

const WindowClass *FindClass(LPCWSTR name) {
    if (!name || IS_INTRESOURCE(name)) return nullptr;
    for (auto &c : g_classes)
        if (SameName(c.name, name)) return &c;
    return nullptr;
}

std::u16string ToString(LPCWSTR s) {
    if (!s || IS_INTRESOURCE(s)) return {};
    return std::u16string(s);
}

RECT Intersect(const RECT &a, const RECT &b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
    return r;
}

void FillOwner(const Window *w, RECT clip) {
    if (!(w->style & WS_VISIBLE)) return;
    RECT r = Intersect(ScreenRect(w), clip);
    if (r.right <= r.left) return;
    auto slot = std::uint16_t(SlotOf(w));
    for (LONG y = r.top; y < r.bottom; ++y)
        std::fill_n(&WritableOwnerMap()[y * kScreenW + r.left], r.right - r.left, slot);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) FillOwner(*it, r);
}

void Unlink(Window *w) {
    auto &list = w->parent ? w->parent->children : TopLevelList();
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

// Sends WM_DESTROY to w and then to its children, as the platform does while they all still exist.
void SendDestroy(Window *w) {
    HWND h = w->handle;
    SendMessageW(h, WM_DESTROY, 0, 0);
    if (!FromHandle(h)) return;
    std::vector<HWND> kids;
    for (auto *c : w->children) kids.push_back(c->handle);
    for (HWND k : kids)
        if (Window *c = FromHandle(k)) SendDestroy(c);
}

void FreeTree(Window *w) {
    for (auto *c : std::vector<Window *>(w->children)) FreeTree(c);
    KillWindowTimers(w->handle);
    if (g_capture == w->handle) g_capture = nullptr;
    if (g_focus == w->handle) g_focus = nullptr;
    ReleaseWindow(w);
}

}  // namespace

// ---- Lookup and geometry ----

Window *MainWindow() { return g_main; }
Window *ActiveWindow() { return g_active; }

void Activate(Window *w) {
    if (w && (w->parent || (w->cls->platformFlags & kClassNoActivate))) return;
    if (g_active == w) return;
    AccessChanged(g_active, a11y::Change::State);
    AccessChanged(w, a11y::Change::State);
    g_active = w;
    NavBarChanged();
    // The window being activated gets back the control that had the focus when it was last active.
    Window *focus = FromHandle(g_focus);
    if (w && focus && IsWithin(focus, w)) return;
    Window *restore = w ? FromHandle(w->lastFocus) : nullptr;
    bool usable = restore && IsWithin(restore, w) && IsVisible(restore) && IsWindowEnabled(restore->handle);
    SetFocus(usable ? restore->handle : nullptr);
}

void LayoutChanged() {
    std::uint16_t *owner = WritableOwnerMap();
    std::copy_n(owner, g_previousOwner.size(), g_previousOwner.begin());
    std::fill_n(owner, g_previousOwner.size(), std::uint16_t(0));
    RECT screen{0, 0, kScreenW, kScreenH};
    for (auto it = TopLevelList().rbegin(); it != TopLevelList().rend(); ++it) FillOwner(*it, screen);

    // Whatever a window newly owns must be drawn by it: collect one bounding box per window. A change
    // of layout moves a few windows, so most rows are as they were and are passed over whole.
    std::array<RECT, kMaxWindows> boxes;
    std::array<bool, kMaxWindows> touched{};
    for (int y = 0; y < kScreenH; ++y) {
        const std::uint16_t *row = owner + y * kScreenW, *before = g_previousOwner.data() + y * kScreenW;
        if (std::memcmp(row, before, kScreenW * sizeof *row) == 0) continue;
        for (int x = 0; x < kScreenW; ++x) {
            std::uint16_t o = row[x];
            if (o == before[x] || o == 0) continue;
            if (!touched[o]) {
                touched[o] = true;
                boxes[o] = RECT{x, y, x + 1, y + 1};
            } else {
                RECT &b = boxes[o];
                b.left = std::min<LONG>(b.left, x);
                b.right = std::max<LONG>(b.right, x + 1);
                b.bottom = std::max<LONG>(b.bottom, y + 1);
            }
        }
    }
    for (int s = 1; s < kMaxWindows; ++s) {
        Window *w = touched[s] ? WindowInSlot(s) : nullptr;
        if (!w) continue;
        RECT sr = ScreenRect(w);
        RECT b = boxes[s];
        RECT client{b.left - sr.left, b.top - sr.top, b.right - sr.left, b.bottom - sr.top};
        AddUpdateRect(w, client, true);
    }
    MarkScreenDirty();
}

Window *WindowFromScreenPoint(int x, int y) {
    // Walk from the top: the first visible window containing the point, then its children.
    std::function<Window *(Window *)> descend = [&](Window *w) -> Window * {
        for (auto *c : w->children) {
            if (!(c->style & WS_VISIBLE)) continue;
            RECT r = ScreenRect(c);
            if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) continue;
            if (SendMessageW(c->handle, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTTRANSPARENT) continue;
            Window *deeper = descend(c);
            return deeper ? deeper : c;
        }
        return nullptr;
    };
    for (auto *t : TopLevelList()) {
        if (!(t->style & WS_VISIBLE)) continue;
        RECT r = t->rect;
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) continue;
        Window *deeper = descend(t);
        return deeper ? deeper : t;
    }
    return nullptr;
}

ATOM RegisterPlatformClass(const WNDCLASSW &wc, unsigned platformFlags) {
    if (!wc.lpszClassName || !wc.lpfnWndProc || IS_INTRESOURCE(wc.lpszClassName)) return 0;
    if (FindClass(wc.lpszClassName)) return 0;
    WindowClass c;
    c.name = wc.lpszClassName;
    c.style = wc.style;
    c.proc = wc.lpfnWndProc;
    c.instance = wc.hInstance;
    c.icon = wc.hIcon;
    c.background = wc.hbrBackground;
    c.platformFlags = platformFlags;
    g_classes.push_back(std::move(c));
    return ATOM(0xC000 + g_classes.size());
}

void DestroyAllWindows() {
    while (!TopLevelList().empty()) {
        HWND h = TopLevelList().back()->handle;
        DestroyWindow(h);
        if (Window *w = FromHandle(h)) {  // refused to go: take it down anyway
            Unlink(w);
            FreeTree(w);
        }
    }
    g_main = nullptr;
    g_active = nullptr;
    g_classes.clear();
    std::fill_n(WritableOwnerMap(), kScreenW * kScreenH, std::uint16_t(0));
}

}  // namespace core

using namespace core;

// ---- Classes and creation ----

ATOM RegisterClassW(const WNDCLASSW *wc) {
    if (!wc) return 0;
    return RegisterPlatformClass(*wc, kClassProgram);
}

BOOL UnregisterClassW(LPCWSTR, HINSTANCE) { return FALSE; }

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    const WindowClass *cls = FindClass(className);
    if (!cls) return nullptr;
    Window *parentWindow = FromHandle(parent);
    bool child = (style & WS_CHILD) != 0;
    if (child && !parentWindow) return nullptr;
    Window *w = AllocateWindow();
    if (!w) return nullptr;
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~DWORD(WS_VISIBLE);  // shown after WM_CREATE
    w->exStyle = exStyle;
    w->text = ToString(windowName);
    w->instance = instance;
    if (child) {
        w->parent = parentWindow;
        w->id = int(reinterpret_cast<std::intptr_t>(menu));
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
        // New children go to the bottom of their siblings, so the first created is on top.
        parentWindow->children.push_back(w);
    } else {
        w->owner = parentWindow ? TopLevelOf(parentWindow) : nullptr;
        // A top-level window made with CW_USEDEFAULT gets the screen below the navigation bar.
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 26;
        }
        if (width == CW_USEDEFAULT) {
            width = kScreenW;
            height = kScreenH - 26;
        }
        TopLevelList().insert(TopLevelList().begin(), w);
        if (!g_main && !w->owner && !(cls->platformFlags & kClassNoActivate) && cls->instance == MainModule())
            g_main = w;
    }
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    HWND handle = w->handle;

    CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x, LONG(style), windowName, className, exStyle};
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!FromHandle(handle)) return nullptr;
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || w->destroying) return FALSE;
    w->destroying = true;
    // Owned windows (dialogs, pop-ups) go first.
    for (auto *t : std::vector<Window *>(TopLevelList()))
        if (t->owner == w && FromHandle(t->handle)) DestroyWindow(t->handle);
    w = FromHandle(handle);
    if (!w) return TRUE;
    bool wasVisible = IsVisible(w);
    w->style &= ~DWORD(WS_VISIBLE);
    if (wasVisible) LayoutChanged();
    SendDestroy(w);
    w = FromHandle(handle);
    if (!w) return TRUE;
    AccessChanged(w->parent ? w->parent : w, a11y::Change::Children);
    Unlink(w);
    bool wasActive = g_active == w;
    if (g_main == w) g_main = nullptr;
    Window *owner = w->owner;
    FreeTree(w);
    if (wasActive) {
        g_active = nullptr;
        Window *next = owner && FromHandle(owner->handle) ? owner : nullptr;
        if (!next)
            for (auto *t : TopLevelList())
                if ((t->style & WS_VISIBLE) && !(t->cls->platformFlags & kClassNoActivate)) {
                    next = t;
                    break;
                }
        Activate(next);
        if (!next) NavBarChanged();
    }
    return TRUE;
}

// ---- Finding windows and other copies ----

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    for (auto *t : TopLevelList()) {
        if (t->remote) continue;
        if (className && !IS_INTRESOURCE(className) && !SameName(t->cls->name, className)) continue;
        if (windowName && t->text != windowName) continue;
        return t->handle;
    }
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    std::u16string cls(className), title = ToString(windowName);
    // No such window here: another running copy may hold it. Otherwise this copy now holds the name.
    if (!host::ClaimOrFind(cls, title)) return nullptr;
    Window *proxy = AllocateWindow();
    if (!proxy) return nullptr;
    static WindowClass remoteClass;
    remoteClass.name = cls;
    proxy->cls = &remoteClass;
    proxy->remote = true;
    proxy->text = title;
    proxy->userData = 0;
    return proxy->handle;
}

BOOL SetForegroundWindow(HWND handle) {
    // The lowest bit asks for the window's owned windows to come along; they always do here.
    Window *w = FromHandle(reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(handle) & ~std::uintptr_t(1)));
    if (!w) return FALSE;
    if (w->remote) {
        bool ok = host::AskOtherToForeground(w->cls->name, w->text);
        ReleaseWindow(w);  // the stand-in has served its purpose
        return ok ? TRUE : FALSE;
    }
    Window *top = TopLevelOf(w);
    // An open dialog owned by the window stays in front of it.
    Window *target = top;
    for (auto *t : TopLevelList())
        if (t->owner == top && (t->style & WS_VISIBLE) && !(t->cls->platformFlags & kClassNoActivate)) {
            target = t;
            break;
        }
    Activate(target);
    host::RaiseWindow();
    return TRUE;
}

HWND GetForegroundWindow() { return g_active ? g_active->handle : nullptr; }
HWND GetActiveWindow() { return GetForegroundWindow(); }

HWND GetParent(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w) return nullptr;
    if (w->parent) return w->parent->handle;
    return w->owner ? w->owner->handle : nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window *w = FromHandle(dialog);
    if (!w) return nullptr;
    for (auto *c : w->children)
        if (c->id == id) return c->handle;
    return nullptr;
}

int GetDlgCtrlID(HWND handle) {
    Window *w = FromHandle(handle);
    return w ? w->id : 0;
}

BOOL IsWindow(HWND handle) { return FromHandle(handle) && !FromHandle(handle)->remote ? TRUE : FALSE; }

// ---- Geometry ----

BOOL GetWindowRect(HWND handle, LPRECT rect) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || !rect) return FALSE;
    *rect = ScreenRect(w);
    return TRUE;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || !rect) return FALSE;
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL ClientToScreen(HWND handle, POINT *point) {
    Window *w = FromHandle(handle);
    if (!w || !point) return FALSE;
    RECT r = ScreenRect(w);
    point->x += r.left;
    point->y += r.top;
    return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT *point) {
    Window *w = FromHandle(handle);
    if (!w || !point) return FALSE;
    RECT r = ScreenRect(w);
    point->x -= r.left;
    point->y -= r.top;
    return TRUE;
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    RECT old = w->rect;
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    if (IsVisible(w)) LayoutChanged();
    bool resized = (old.right - old.left) != (w->rect.right - w->rect.left) ||
                   (old.bottom - old.top) != (w->rect.bottom - w->rect.top);
    if (repaint && resized) InvalidateRect(handle, nullptr, TRUE);
    if (resized) SendMessageW(handle, WM_SIZE, 0, MAKELPARAM(width, height));
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (show == wasVisible) return wasVisible ? TRUE : FALSE;
    if (show)
        w->style |= WS_VISIBLE;
    else
        w->style &= ~DWORD(WS_VISIBLE);
    SendMessageW(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    AccessChanged(w->parent ? w->parent : w, a11y::Change::Children);
    if (!FromHandle(handle)) return wasVisible ? TRUE : FALSE;
    if (w->parent == nullptr || IsVisible(w->parent)) LayoutChanged();
    if (!w->parent) {
        if (show && command != SW_SHOWNA && !(w->cls->platformFlags & kClassNoActivate)) Activate(w);
        if (!show && g_active == w) {
            g_active = nullptr;
            Window *next = w->owner;
            Activate(next && (next->style & WS_VISIBLE) ? next : nullptr);
            NavBarChanged();
        }
    }
    if (!show && g_capture == handle) ReleaseCapture();
    // A hidden window cannot keep the focus: it goes to the parent (nowhere for a top-level window).
    if (Window *focus = FromHandle(g_focus); !show && focus && IsWithin(focus, w))
        SetFocus(w->parent ? w->parent->handle : nullptr);
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND handle) {
    Window *w = FromHandle(handle);
    return w && !w->remote && IsVisible(w) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND handle, BOOL enable) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    bool wasDisabled = !w->enabled;
    if (w->enabled != bool(enable)) {
        w->enabled = enable != FALSE;
        if (enable)
            w->style &= ~DWORD(WS_DISABLED);
        else
            w->style |= WS_DISABLED;
        SendMessageW(handle, WM_ENABLE, enable, 0);
        AccessChanged(w, a11y::Change::State);
        if (!enable && g_capture == handle) ReleaseCapture();
        // A disabled window loses the focus.
        if (Window *focus = FromHandle(g_focus); !enable && focus && FromHandle(handle) && IsWithin(focus, w))
            SetFocus(nullptr);
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND handle) {
    Window *w = FromHandle(handle);
    return w && w->enabled ? TRUE : FALSE;
}

// ---- Texts ----

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    return SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND handle, LPWSTR buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    Window *w = FromHandle(handle);
    if (!w || w->remote) {
        buffer[0] = 0;
        return 0;
    }
    return int(SendMessageW(handle, WM_GETTEXT, WPARAM(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return 0;
    return int(SendMessageW(handle, WM_GETTEXTLENGTH, 0, 0));
}

// ---- Window longs ----

LRESULT GetWindowLongPtrW(HWND handle, int index) {
    Window *w = FromHandle(handle);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return LRESULT(w->style);
    case GWL_EXSTYLE: return LRESULT(w->exStyle);
    case GWL_ID: return w->id;
    case GWL_USERDATA: return w->userData;
    case DWL_MSGRESULT: return w->dialogLongs[0];
    case DWL_DLGPROC: return w->dialogLongs[1];
    case DWL_USER: return w->dialogLongs[2];
    default: return 0;
    }
}

LRESULT SetWindowLongPtrW(HWND handle, int index, LRESULT value) {
    Window *w = FromHandle(handle);
    if (!w) return 0;
    LRESULT old = GetWindowLongPtrW(handle, index);
    switch (index) {
    case GWL_STYLE: w->style = DWORD(value); break;
    case GWL_EXSTYLE: w->exStyle = DWORD(value); break;
    case GWL_ID: w->id = int(value); break;
    case GWL_USERDATA: w->userData = value; break;
    case DWL_MSGRESULT: w->dialogLongs[0] = value; break;
    case DWL_DLGPROC: w->dialogLongs[1] = value; break;
    case DWL_USER: w->dialogLongs[2] = value; break;
    default: return 0;
    }
    return old;
}

LONG GetWindowLongW(HWND handle, int index) { return LONG(GetWindowLongPtrW(handle, index)); }
LONG SetWindowLongW(HWND handle, int index, LONG value) { return LONG(SetWindowLongPtrW(handle, index, value)); }

// ---- Capture and focus ----

HWND SetCapture(HWND handle) {
    HWND old = g_capture;
    g_capture = FromHandle(handle) ? handle : nullptr;
    return old;
}

BOOL ReleaseCapture() {
    HWND old = g_capture;
    g_capture = nullptr;
    if (old && FromHandle(old)) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() { return g_capture && FromHandle(g_capture) ? g_capture : nullptr; }

// The window losing the focus hears WM_KILLFOCUS (with the window gaining it), then the window gaining it
// WM_SETFOCUS (with the window that lost it). Each top-level window remembers which of its windows had
// the focus, to give it back when it is activated again.
HWND SetFocus(HWND handle) {
    Window *w = FromHandle(handle);
    if (w && w->remote) return nullptr;
    HWND old = GetFocus();
    HWND next = w ? handle : nullptr;
    if (old == next) return old;
    g_focus = next;
    if (w) TopLevelOf(w)->lastFocus = next;
    AccessChanged(FromHandle(old), a11y::Change::State);
    AccessChanged(w, a11y::Change::Focus);
    if (old) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(next), 0);
    if (next && g_focus == next && FromHandle(next)) SendMessageW(next, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return g_focus && FromHandle(g_focus) ? g_focus : nullptr; }
