// The accessibility model: the window tree as a screen reader sees it.
//
// Implements: the model of access.h, built when asked from the windows (class, style, text, state,
// place, visibility): roles by class and style, names from the window text (a scroll bar takes the
// text of the label just above it), states, a scroll bar's value and range, a drop-down list's items
// and selection, radio groups, text the program painted into its own windows as labels, and for a
// dialog with "ok" in the navigation bar that button. Change events, gathered while the program runs
// and handed to the listener once the loop is about to wait (so a listener never sees a half-made
// change and may read the model at once). Actions queued by a bridge and run from the message loop.
// Leaves out: the navigation bar and the menu bar (the Tools menu's commands have their keys), the
// dropped list of a combo box as an object of its own (its items are the combo box's).
#include <algorithm>
#include <deque>
#include <functional>

#include "core.h"

namespace core {
namespace {

using a11y::Change;
using a11y::Id;
using a11y::Node;
using a11y::Role;

constexpr int kLabelReach = 24;           // a label names a slider at most this far above it
constexpr unsigned kOkButtonIndex = 255;  // the sub-object of a dialog that stands for its "ok"
constexpr int kMaxPainted = 64;           // texts kept per window

a11y::Listener g_listener = nullptr;
void *g_context = nullptr;
std::vector<std::pair<Id, Change>> g_pending;
std::deque<std::function<void()>> g_actions;

Id IdOf(const Window *w) { return Id(reinterpret_cast<std::uintptr_t>(w->handle)); }
Id SubId(const Window *w, unsigned index) { return IdOf(w) | (Id(index + 1) << 40); }
Window *WindowOf(Id id) { return FromHandle(reinterpret_cast<HWND>(std::uintptr_t(id & ((Id(1) << 40) - 1)))); }
unsigned SubIndex(Id id) { return unsigned(id >> 40); }  // 0 for a window itself, else index + 1

bool SameClass(const Window *w, const char16_t *name) {
    const std::u16string &n = w->cls->name;
    std::size_t i = 0;
    for (; name[i]; ++i) {
        if (i >= n.size()) return false;
        char16_t a = n[i] >= u'A' && n[i] <= u'Z' ? char16_t(n[i] + 32) : n[i];
        char16_t b = name[i] >= u'A' && name[i] <= u'Z' ? char16_t(name[i] + 32) : name[i];
        if (a != b) return false;
    }
    return i == n.size();
}

bool IsDialogWindow(const Window *w) { return SameClass(w, u"Dialog") || SameClass(w, u"MessageBox"); }

// The role of a window, false for one the model leaves out.
bool RoleOf(const Window *w, Role *role) {
    if (!w->parent) {
        if (w->remote || (w->cls->platformFlags & kClassNoActivate)) return false;
        if (IsDialogWindow(w))
            *role = Role::Dialog;
        else if (w->cls->platformFlags & kClassProgram)
            *role = Role::Frame;
        else
            return false;
        return true;
    }
    if (SameClass(w, u"button")) {
        switch (w->style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX: *role = Role::CheckBox; break;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: *role = Role::RadioButton; break;
        case BS_GROUPBOX: *role = Role::Grouping; break;
        default: *role = Role::PushButton; break;
        }
        return true;
    }
    if (SameClass(w, u"scrollbar"))
        *role = Role::Slider;
    else if (SameClass(w, u"combobox"))
        *role = Role::ComboBox;
    else if (SameClass(w, u"static"))
        *role = (w->style & SS_TYPEMASK) == SS_ICON ? Role::Image : Role::Label;
    else
        return false;
    return true;
}

bool EnabledChain(const Window *w) {
    for (; w; w = w->parent)
        if (!w->enabled) return false;
    return true;
}

std::string Text(const Window *w) { return ToUtf8(w->text); }

Node Base(const Window *w, Role role) {
    Node n;
    n.id = IdOf(w);
    n.parent = w->parent ? IdOf(w->parent) : 0;
    n.role = role;
    RECT r = ScreenRect(w);
    n.x = r.left;
    n.y = r.top;
    n.width = r.right - r.left;
    n.height = r.bottom - r.top;
    n.states = (IsVisible(w) ? a11y::Visible : 0u) | (EnabledChain(w) ? a11y::Enabled : 0u);
    if (GetFocus() == w->handle) n.states |= a11y::Focused;
    return n;
}

void AddPainted(const Window *w, std::vector<Node> *out) {
    RECT screen = ScreenRect(w);
    for (std::size_t i = 0; i < w->painted.size(); ++i) {
        const PaintedText &p = w->painted[i];
        if (p.text.empty()) continue;
        Node n;
        n.id = SubId(w, unsigned(i));
        n.parent = IdOf(w);
        n.role = Role::Label;
        n.name = ToUtf8(p.text);
        n.x = screen.left + p.rect.left;
        n.y = screen.top + p.rect.top;
        n.width = p.rect.right - p.rect.left;
        n.height = p.rect.bottom - p.rect.top;
        n.states = a11y::Visible | a11y::Enabled;
        out->push_back(n);
    }
}

// The label whose bottom edge lies closest above a control, overlapping it across.
const Node *LabelAbove(const std::vector<Node> &nodes, const Node &control) {
    const Node *best = nullptr;
    for (const Node &n : nodes) {
        if (n.role != Role::Label || n.parent != control.parent) continue;
        int gap = control.y - (n.y + n.height);
        bool across = n.x < control.x + control.width && control.x < n.x + n.width;
        if (gap < 0 || gap > kLabelReach || !across) continue;
        if (!best || gap < control.y - (best->y + best->height)) best = &n;
    }
    return best;
}

// The one whole number a text holds; false when it holds none or several.
bool OneNumber(const std::string &text, int *out) {
    int found = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        long long v = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            v = std::min(v * 10 + (text[i] - '0'), 1LL << 30);
        *out = int(v);
        ++found;
    }
    return found == 1;
}

Node ControlNode(Window *w, Role role) {
    Node n = Base(w, role);
    n.name = Text(w);
    HWND h = w->handle;
    UINT code = UINT(SendMessageW(h, WM_GETDLGCODE, 0, 0));
    if (code && !(code & DLGC_STATIC)) n.states |= a11y::Focusable;
    switch (role) {
    case Role::CheckBox:
    case Role::RadioButton:
    case Role::PushButton: {
        LRESULT state = SendMessageW(h, BM_GETSTATE, 0, 0);
        if (state & BST_CHECKED) n.states |= a11y::Checked;
        if (state & BST_PUSHED) n.states |= a11y::Pressed;
        if (role == Role::RadioButton) n.group = IdOf(GroupLeader(w));
        break;
    }
    case Role::Slider:
        n.value = int(SendMessageW(h, SBM_GETPOS, 0, 0));
        SendMessageW(h, SBM_GETRANGE, reinterpret_cast<WPARAM>(&n.minimum), reinterpret_cast<LPARAM>(&n.maximum));
        break;
    case Role::ComboBox: {
        int count = int(SendMessageW(h, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            WCHAR buffer[kMaxListItemLength + 1] = {0};
            if (SendMessageW(h, CB_GETLBTEXTLEN, WPARAM(i), 0) > kMaxListItemLength) continue;
            SendMessageW(h, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(buffer));
            n.items.push_back(ToUtf8(buffer));
        }
        LRESULT selected = SendMessageW(h, CB_GETCURSEL, 0, 0);
        n.selected = selected == CB_ERR ? -1 : int(selected);
        // Named by its selection, as its window text is.
        n.name = n.selected >= 0 && n.selected < int(n.items.size()) ? n.items[std::size_t(n.selected)] : "";
        if (SendMessageW(h, CB_GETDROPPEDSTATE, 0, 0)) n.states |= a11y::Expanded;
        break;
    }
    default: break;
    }
    return n;
}

void AddTree(Window *w, std::vector<Node> *out) {
    for (Window *c : w->children) {
        Role role;
        if (!IsVisible(c) || !RoleOf(c, &role)) continue;
        out->push_back(ControlNode(c, role));
        AddPainted(c, out);
        AddTree(c, out);
    }
}

}  // namespace

void AccessChangedId(Id id, Change change) {
    if (!g_listener || !id) return;
    for (const auto &p : g_pending)
        if (p.first == id && p.second == change) return;
    if (g_pending.size() < 1024) g_pending.push_back({id, change});
}

void AccessChanged(const Window *w, Change change) {
    if (w) AccessChangedId(IdOf(w), change);
}

void DeliverAccessEvents() {
    while (g_listener && !g_pending.empty()) {
        std::vector<std::pair<Id, Change>> batch;
        batch.swap(g_pending);
        for (const auto &p : batch)
            if (g_listener) g_listener(p.first, p.second, g_context);
    }
}

bool RunAccessActions() {
    bool ran = false;
    while (!g_actions.empty()) {
        std::function<void()> action = std::move(g_actions.front());
        g_actions.pop_front();
        action();
        ran = true;
    }
    return ran;
}

void RecordPaintedText(Window *w, const RECT &rect, const std::u16string &text) {
    if (!w || !(w->cls->platformFlags & kClassProgram)) return;
    for (std::size_t i = 0; i < w->painted.size(); ++i) {
        PaintedText &p = w->painted[i];
        if (p.rect.left != rect.left || p.rect.top != rect.top || p.rect.right != rect.right ||
            p.rect.bottom != rect.bottom)
            continue;
        if (p.text != text) {
            p.text = text;
            AccessChangedId(SubId(w, unsigned(i)), Change::Name);
        }
        return;
    }
    if (int(w->painted.size()) >= kMaxPainted) return;
    w->painted.push_back(PaintedText{rect, text});
    AccessChanged(w, Change::Children);
}

}  // namespace core

using namespace core;

namespace a11y {

std::vector<Node> Snapshot() {
    std::vector<Node> out;
    const std::vector<Window *> &tops = TopLevels();
    // Bottom to top: the main window first, then what it owns.
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        Window *t = *it;
        Role role;
        if (!IsVisible(t) || !RoleOf(t, &role)) continue;
        Node n = Base(t, role);
        n.name = Text(t);
        if (t == ActiveWindow()) n.states |= Active;
        std::size_t first = out.size();
        out.push_back(n);
        AddPainted(t, &out);
        AddTree(t, &out);
        if (t->okButton) {
            // The navigation bar's "ok" belongs to the dialog it closes.
            Node ok;
            ok.id = SubId(t, kOkButtonIndex);
            ok.parent = IdOf(t);
            ok.role = Role::PushButton;
            ok.name = "ok";
            ok.x = kScreenW - 26;
            ok.width = 26;
            ok.height = 26;
            ok.states = Visible | (EnabledChain(t) ? a11y::Enabled : 0u);
            out.push_back(ok);
        }
        // A control without a name of its own (the slider) takes the text of the label just above it.
        for (std::size_t i = first; i < out.size(); ++i) {
            if (out[i].role != Role::Slider || !out[i].name.empty()) continue;
            if (const Node *label = LabelAbove(out, out[i])) {
                out[i].name = label->name;
                out[i].labelledBy = label->id;
                int shown;
                if (OneNumber(label->name, &shown)) out[i].shownOffset = shown - out[i].value;
            }
        }
    }
    return out;
}

bool Find(Id id, Node *out) {
    for (const Node &n : Snapshot())
        if (n.id == id) {
            if (out) *out = n;
            return true;
        }
    return false;
}

void SetListener(Listener listener, void *context) {
    g_listener = listener;
    g_context = context;
    if (!listener) g_pending.clear();
}

bool ActionsPending() { return !g_actions.empty(); }

bool Press(Id id) {
    Node n;
    if (!Find(id, &n) || !(n.states & Enabled)) return false;
    HWND window = WindowOf(id)->handle;
    if (SubIndex(id) == kOkButtonIndex + 1) {
        g_actions.push_back([window] { SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
        return true;
    }
    if (SubIndex(id) || (n.role != Role::PushButton && n.role != Role::CheckBox && n.role != Role::RadioButton))
        return false;
    g_actions.push_back([window] { SendMessageW(window, BM_CLICK, 0, 0); });
    return true;
}

bool SetValue(Id id, int value) {
    Node n;
    if (!Find(id, &n) || n.role != Role::Slider || !(n.states & Enabled) || n.maximum <= n.minimum) return false;
    HWND bar = WindowOf(id)->handle;
    int position = std::clamp(value, n.minimum, n.maximum);
    // As a drag of the thumb ends: the final position, then the end of the gesture.
    g_actions.push_back([bar, position] {
        HWND parent = GetParent(bar);
        if (!parent) return;
        SendMessageW(parent, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
        if (IsWindow(bar)) SendMessageW(parent, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
    });
    return true;
}

bool Select(Id id, int index) {
    Node n;
    if (!Find(id, &n) || n.role != Role::ComboBox || !(n.states & Enabled) || index < 0 || index >= int(n.items.size()))
        return false;
    HWND combo = WindowOf(id)->handle;
    // As a pick from the list: the selection first, then CBN_SELENDOK and CBN_SELCHANGE.
    g_actions.push_back([combo, index] {
        int previous = int(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
        HWND parent = GetParent(combo);
        WPARAM id = WPARAM(GetDlgCtrlID(combo));
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
        if (IsWindow(combo) && previous != index)
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    });
    return true;
}

bool Focus(Id id) {
    Node n;
    if (SubIndex(id) || !Find(id, &n) || !(n.states & Focusable) || !(n.states & Enabled)) return false;
    HWND window = WindowOf(id)->handle;
    g_actions.push_back([window] { SetFocus(window); });
    return true;
}

}  // namespace a11y
