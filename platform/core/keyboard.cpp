// Keyboard focus and the keys that move it.
//
// Implements: where a key goes (the focused window when it lies in the active window and may take
// input, else the active window); GetNextDlgTabItem and GetNextDlgGroupItem over a window's child
// controls in creation order; Tab and Shift+Tab moving the focus through the active window's tab stops
// (the host's keyboard access, for the main window and dialogs alike).
// A control answers WM_GETDLGCODE; one that answers 0 or DLGC_STATIC never takes the focus from the
// keyboard (static text, group boxes, the program's own windows). A tab stop is a visible, enabled
// control with WS_TABSTOP, or, with keyboard access on (the default), every visible, enabled control
// that takes the focus: the handheld's programs rarely set WS_TABSTOP, having no keyboard. Radio
// buttons form groups: a group starts at a control with WS_GROUP or where a run of radio buttons begins
// or ends; Tab stops once in a group, on its checked button (its first when none is checked).
// Leaves out: mnemonics (Alt+letter), nested dialogs (WS_EX_CONTROLPARENT).
#include <vector>

#include "core.h"

namespace core {
namespace {

bool g_keyboardAccess = true;

bool MayTakeInput(const Window *w) {
    for (const Window *p = w; p; p = p->parent)
        if (!p->enabled) return false;
    return true;
}

UINT DialogCode(Window *w) { return UINT(SendMessageW(w->handle, WM_GETDLGCODE, 0, 0)); }

bool TakesFocus(Window *w) {
    UINT code = DialogCode(w);
    return code != 0 && !(code & DLGC_STATIC) && IsVisible(w) && MayTakeInput(w);
}

bool IsRadio(Window *w) { return (DialogCode(w) & DLGC_RADIOBUTTON) != 0; }

// The child controls of `parent` in creation order.
const std::vector<Window *> &Controls(Window *parent) { return parent->children; }

// The index of the first control of the group that holds controls[i].
std::size_t GroupStart(const std::vector<Window *> &controls, std::size_t i) {
    bool radio = IsRadio(controls[i]);
    while (i > 0 && !(controls[i]->style & WS_GROUP) && IsRadio(controls[i - 1]) == radio) --i;
    return i;
}

std::size_t GroupEnd(const std::vector<Window *> &controls, std::size_t i) {  // one past the last
    bool radio = IsRadio(controls[i]);
    ++i;
    while (i < controls.size() && !(controls[i]->style & WS_GROUP) && IsRadio(controls[i]) == radio) ++i;
    return i;
}

bool IsStop(Window *w) { return TakesFocus(w) && (g_keyboardAccess || (w->style & WS_TABSTOP)); }

// The window that stands for the group of controls[i] in the tab order: itself, or for a radio button
// the checked button of its group (the first that may take the focus when none is checked).
Window *StopOf(const std::vector<Window *> &controls, std::size_t i) {
    if (!IsRadio(controls[i])) return IsStop(controls[i]) ? controls[i] : nullptr;
    std::size_t start = GroupStart(controls, i), end = GroupEnd(controls, i);
    Window *first = nullptr;
    for (std::size_t k = start; k < end; ++k) {
        if (!IsStop(controls[k])) continue;
        if (!first) first = controls[k];
        if (SendMessageW(controls[k]->handle, BM_GETCHECK, 0, 0) == BST_CHECKED) return controls[k];
    }
    return first;
}

// The tab stops of a window in order, one for each radio group.
std::vector<Window *> TabStops(Window *parent) {
    std::vector<Window *> stops;
    const std::vector<Window *> &controls = Controls(parent);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (IsRadio(controls[i])) {
            if (i != GroupStart(controls, i)) continue;
            if (Window *s = StopOf(controls, i)) stops.push_back(s);
            i = GroupEnd(controls, i) - 1;
            continue;
        }
        if (IsStop(controls[i])) stops.push_back(controls[i]);
    }
    return stops;
}

// The position in `stops` that stands for `control`, or -1.
int StopIndex(const std::vector<Window *> &stops, Window *parent, Window *control) {
    if (!control || control->parent != parent) return -1;
    const std::vector<Window *> &controls = Controls(parent);
    std::size_t start = 0, end = 0;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i] == control) {
            start = IsRadio(control) ? GroupStart(controls, i) : i;
            end = IsRadio(control) ? GroupEnd(controls, i) : i + 1;
        }
    for (std::size_t s = 0; s < stops.size(); ++s)
        for (std::size_t k = start; k < end; ++k)
            if (stops[s] == controls[k]) return int(s);
    return -1;
}

Window *NextStop(Window *parent, Window *from, bool previous) {
    std::vector<Window *> stops = TabStops(parent);
    if (stops.empty()) return nullptr;
    int n = int(stops.size());
    int i = StopIndex(stops, parent, from);
    if (i < 0) return previous ? stops.back() : stops.front();
    return stops[std::size_t((i + (previous ? n - 1 : 1)) % n)];
}

}  // namespace

void SetKeyboardAccess(bool on) { g_keyboardAccess = on; }
bool KeyboardAccess() { return g_keyboardAccess; }

bool IsWithin(const Window *w, const Window *ancestor) {
    for (; w; w = w->parent)
        if (w == ancestor) return true;
    return false;
}

Window *GroupLeader(Window *control) {
    if (!control || !control->parent || !IsRadio(control)) return control;
    const std::vector<Window *> &controls = Controls(control->parent);
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i] == control) return controls[GroupStart(controls, i)];
    return control;
}

Window *KeyTarget() {
    Window *active = ActiveWindow();
    Window *focus = FromHandle(GetFocus());
    if (focus && active && IsWithin(focus, active) && IsVisible(focus) && MayTakeInput(focus)) return focus;
    return active;
}

bool NavigationKey(const host::Event &e) {
    if (e.key != VK_TAB || e.ctrl || e.alt) return false;
    if (e.kind != host::Event::KeyDown) return e.kind == host::Event::KeyUp;
    Window *active = ActiveWindow();
    if (!active || !MayTakeInput(active)) return true;
    Window *target = KeyTarget();
    // A control that wants Tab for itself gets it.
    if (target != active && (DialogCode(target) & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) return false;
    Window *from = target != active ? target : nullptr;
    while (from && from->parent != active) from = from->parent;
    if (Window *next = NextStop(active, from, e.shift)) SetFocus(next->handle);
    return true;
}

}  // namespace core

using namespace core;

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    Window *d = FromHandle(dialog);
    if (!d || d->remote) return nullptr;
    Window *next = NextStop(d, FromHandle(control), previous != FALSE);
    return next ? next->handle : nullptr;
}

// The next (or previous) control of the same group that may take the focus, wrapping round inside the
// group; the control itself when it is alone.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    Window *d = FromHandle(dialog);
    Window *c = FromHandle(control);
    if (!d || !c || c->parent != d) return nullptr;
    const std::vector<Window *> &controls = Controls(d);
    std::size_t i = 0;
    while (i < controls.size() && controls[i] != c) ++i;
    if (i == controls.size()) return nullptr;
    std::size_t start = GroupStart(controls, i), end = GroupEnd(controls, i), n = end - start;
    for (std::size_t step = 1; step < n; ++step) {
        std::size_t k = start + (i - start + (previous ? n - step % n : step)) % n;
        if (TakesFocus(controls[k])) return controls[k]->handle;
    }
    return control;
}
