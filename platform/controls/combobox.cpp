// The "combobox" control class: a drop-down list (CBS_DROPDOWNLIST), and its dropped list.
//
// Implements: CB_ADDSTRING (appends), CB_GETCOUNT, CB_SELECTSTRING (case-insensitive prefix search
// starting after the given index and wrapping round to it; -1 searches the whole list), CB_SETCURSEL,
// CB_GETCURSEL, CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_SHOWDROPDOWN, CB_GETDROPPEDSTATE; the window text is
// the selected item's text, read from the list when asked. The closed field is as tall as the font
// needs; the height given at creation is the field and the dropped list together.
// A tap on the field sends CBN_DROPDOWN and drops the list as a pop-up window over every other window,
// below the field (above it when it does not fit), holding the stylus. The highlight follows the
// stylus; lifting it on an item chooses that item: CBN_SELENDOK (the window text is already the new
// item), the list goes, CBN_CLOSEUP, then CBN_SELCHANGE when the selection changed. A tap outside the
// list cancels: CBN_SELENDCANCEL, the list goes, CBN_CLOSEUP. A tap on the field while the list is down
// chooses the highlighted item. Choosing from code (CB_SELECTSTRING, CB_SETCURSEL) notifies nobody.
// The keyboard: a tapped field takes the focus, and the focused field shows its text on the highlight
// colour inside the focus rectangle. Closed, Up/Left and Down/Right choose the previous or next item
// and Home/End the first or last, each as a pick from the list does (CBN_SELENDOK, then CBN_SELCHANGE);
// Alt+Down, Alt+Up and F4 drop the list. Dropped, the arrows, Home and End move the highlight, Return,
// F4, Alt+Up and Alt+Down choose it and Escape cancels; losing the focus cancels too.
// Leaves out: editable and simple combo boxes, sorted lists, item data, deleting items, owner drawing,
// choosing by typing a letter, a scroll bar in the dropped list (a longer list scrolls when the stylus
// is dragged past its top or bottom edge, or as the keys move the highlight past them).
#include <algorithm>

#include "common.h"
#include "font.h"
#include "painters.h"

namespace controls {
namespace {

constexpr int kRowHeight = 14;    // a row of the dropped list: one line of the system font
constexpr int kFieldPadding = 4;  // space above and below the text in the closed field
constexpr int kButtonWidth = 17;  // the arrow button at the right of the field
constexpr int kErrSpace = -2;     // CB_ERRSPACE: the list is full

struct ComboBox {
    std::vector<std::u16string> items;
    int selection = -1;
    int listRoom = 0;      // height available to the dropped list (creation height - field height)
    HWND list = nullptr;   // the dropped list while it is down
    int highlighted = -1;  // the item lit in the dropped list
    int first = 0;         // the item in its top row
    bool closing = false;  // notifications of a close-up are under way
    HFONT font = nullptr;
};

// The dropped list's own record: which combo box it belongs to and where the stylus is.
struct DropList {
    HWND combo = nullptr;
    bool stylusDown = false;
};

int FieldHeight() { return std::max(font::GetMetrics(font::Style{}).height, 8) + kFieldPadding + 2; }

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
    return c;
}

bool StartsWith(const std::u16string &item, const WCHAR *prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= item.size() || Fold(item[i]) != Fold(prefix[i])) return false;
    return true;
}

bool ValidIndex(const ComboBox *c, WPARAM index) {
    auto i = static_cast<std::intptr_t>(index);
    return i >= 0 && i < std::intptr_t(c->items.size());
}

int VisibleRows(const ComboBox *c) {
    int room = std::max(1, (c->listRoom - 2) / kRowHeight);
    return std::clamp(int(c->items.size()), 1, room);
}

// The dropped list's screen rectangle: below the field, or above it when it does not fit below.
RECT ListRect(HWND combo, const ComboBox *c) {
    RECT field{};
    GetWindowRect(combo, &field);
    int width = field.right - field.left;
    int height = std::min(VisibleRows(c) * kRowHeight + 2, core::kScreenH);
    int y = field.bottom;
    if (y + height > core::kScreenH) y = field.top - height;
    if (y < 0) y = core::kScreenH - height;
    int x = std::clamp<int>(field.left, 0, std::max(0, core::kScreenW - width));
    return RECT{x, y, x + width, y + height};
}

void Repaint(HWND window) { InvalidateRect(window, nullptr, FALSE); }

// The selection or the dropped state changed: repaint, and tell a screen reader.
void Changed(HWND combo, a11y::Change change) {
    Repaint(combo);
    core::AccessChanged(core::FromHandle(combo), change);
    if (change == a11y::Change::Value) core::AccessChanged(core::FromHandle(combo), a11y::Change::Name);
}

// Closes the dropped list. `ok` chooses the highlighted item; otherwise the choice is cancelled.
void CloseUp(HWND combo, bool ok) {
    ComboBox *c = StateOf<ComboBox>(combo);
    if (!c || !c->list || c->closing) return;
    c->closing = true;
    bool changed = false;
    if (ok && c->highlighted >= 0 && c->highlighted < int(c->items.size())) {
        changed = c->highlighted != c->selection;
        c->selection = c->highlighted;
    }
    Changed(combo, changed ? a11y::Change::Value : a11y::Change::State);
    NotifyParent(combo, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (!(c = StateOf<ComboBox>(combo))) return;
    HWND list = c->list;
    c->list = nullptr;
    if (DropList *d = StateOf<DropList>(list)) d->combo = nullptr;
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
    Changed(combo, a11y::Change::State);
    NotifyParent(combo, CBN_CLOSEUP);
    if (!(c = StateOf<ComboBox>(combo))) return;
    c->closing = false;
    if (changed) NotifyParent(combo, CBN_SELCHANGE);
}

void Drop(HWND combo, bool byStylus) {
    ComboBox *c = StateOf<ComboBox>(combo);
    if (!c || c->list) return;
    NotifyParent(combo, CBN_DROPDOWN);
    if (!(c = StateOf<ComboBox>(combo)) || c->list || !IsWindowVisible(combo)) return;
    c->highlighted = c->selection;
    int rows = VisibleRows(c);
    int last = std::max(0, int(c->items.size()) - rows);
    c->first = std::clamp(c->selection - rows + 1, 0, last);
    if (c->selection >= 0 && c->selection < c->first) c->first = c->selection;
    RECT r = ListRect(combo, c);
    core::Window *w = core::FromHandle(combo);
    HWND list = CreateWindowExW(0, kListClass, u"", WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, combo, nullptr, w ? w->instance : nullptr, nullptr);
    DropList *d = StateOf<DropList>(list);
    if (!d) return;
    d->combo = combo;
    d->stylusDown = byStylus;
    c->list = list;
    SetCapture(list);
    Changed(combo, a11y::Change::State);
}

// The item in the dropped list under a point of the list, or -1.
int ItemAt(HWND list, const ComboBox *c, LPARAM point) {
    if (!InClient(list, point)) return -1;
    int y = GET_Y_LPARAM(point) - 1;
    RECT r = ClientRectOf(list);
    if (y < 0 || y >= r.bottom - 2) return -1;
    int item = c->first + y / kRowHeight;
    return item < int(c->items.size()) ? item : -1;
}

void Highlight(HWND list, ComboBox *c, int item) {
    if (item == c->highlighted) return;
    c->highlighted = item;
    Repaint(list);
}

// ---- The dropped list ----

void ListStylusDown(HWND list, DropList *d, ComboBox *c, LPARAM point) {
    d->stylusDown = true;
    int item = ItemAt(list, c, point);
    if (item >= 0) {
        Highlight(list, c, item);
        return;
    }
    if (InClient(list, point)) return;  // on the frame or the blank below the rows
    // Outside the list: on the field it chooses the highlighted item, anywhere else it cancels.
    POINT p{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    ClientToScreen(list, &p);
    ScreenToClient(d->combo, &p);
    CloseUp(d->combo, InClient(d->combo, MAKELPARAM(p.x, p.y)));
}

void ListStylusMove(HWND list, DropList *d, ComboBox *c, LPARAM point) {
    if (!d->stylusDown) return;
    int item = ItemAt(list, c, point);
    if (item >= 0) {
        Highlight(list, c, item);
        return;
    }
    // Dragged past the top or bottom edge of a list longer than its rows: scroll it by a row.
    RECT r = ClientRectOf(list);
    int x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
    if (x < r.left || x >= r.right) return;
    int rows = VisibleRows(c);
    if (y < 0 && c->first > 0) {
        --c->first;
        Highlight(list, c, c->first);
        Repaint(list);
    } else if (y >= r.bottom && c->first + rows < int(c->items.size())) {
        ++c->first;
        Highlight(list, c, c->first + rows - 1);
        Repaint(list);
    }
}

void ListStylusUp(HWND list, DropList *d, ComboBox *c, LPARAM point) {
    if (!d->stylusDown) return;
    d->stylusDown = false;
    int item = ItemAt(list, c, point);
    if (item < 0) return;  // the list stays down: lifted on the field after dropping it, or elsewhere
    c->highlighted = item;
    CloseUp(d->combo, true);
}

void PaintList(HWND list, const ComboBox *c) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(list, &ps);
    if (c) {
        SelectControlFont(dc, c->font);
        paint::ListRows(dc, ClientRectOf(list), c->items.data(), int(c->items.size()), c->first, c->highlighted,
                        kRowHeight, paint::kColors);
    }
    EndPaint(list, &ps);
}

}  // namespace

const WCHAR kListClass[] = u"ComboLBox";

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return Attach<DropList>(list) ? 0 : -1;
    DropList *d = StateOf<DropList>(list);
    if (!d) return DefWindowProcW(list, message, wParam, lParam);
    ComboBox *c = StateOf<ComboBox>(d->combo);
    switch (message) {
    case WM_DESTROY:
        // Taken down with its owner: the combo box forgets it without notifying anyone.
        if (c && c->list == list) c->list = nullptr;
        Detach<DropList>(list);
        return 0;
    case WM_PAINT: PaintList(list, c); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
        if (c) ListStylusDown(list, d, c, lParam);
        return 0;
    case WM_MOUSEMOVE:
        if (c) ListStylusMove(list, d, c, lParam);
        return 0;
    case WM_LBUTTONUP:
        if (c) ListStylusUp(list, d, c, lParam);
        return 0;
    case WM_CAPTURECHANGED:
        // The stylus was taken away while the list was down: cancel.
        if (c && c->list == list) CloseUp(d->combo, false);
        return 0;
    default: return DefWindowProcW(list, message, wParam, lParam);
    }
}

namespace {

// ---- The combo box ----

void PaintField(HWND combo, const ComboBox *c) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(combo, &ps);
    SelectControlFont(dc, c->font);
    const std::u16string empty;
    const std::u16string &text = c->selection >= 0 ? c->items[std::size_t(c->selection)] : empty;
    unsigned state = (c->list ? paint::kPushed : 0) | (IsWindowEnabled(combo) ? 0 : paint::kDisabled) |
                     (GetFocus() == combo ? paint::kFocused : 0);
    paint::ComboField(dc, ClientRectOf(combo), text.data(), int(text.size()), kButtonWidth, state, paint::kColors);
    EndPaint(combo, &ps);
}

LRESULT AddString(ComboBox *c, LPARAM lParam) {
    auto text = reinterpret_cast<const WCHAR *>(lParam);
    if (!text || IS_INTRESOURCE(text)) return CB_ERR;
    if (int(c->items.size()) >= core::kMaxListItems) return kErrSpace;
    std::u16string item;
    for (std::size_t i = 0; text[i] && i < std::size_t(core::kMaxListItemLength); ++i) item.push_back(text[i]);
    c->items.push_back(std::move(item));
    return LRESULT(c->items.size() - 1);
}

LRESULT SelectString(HWND combo, ComboBox *c, WPARAM start, LPARAM lParam) {
    auto prefix = reinterpret_cast<const WCHAR *>(lParam);
    int count = int(c->items.size());
    if (!prefix || IS_INTRESOURCE(prefix) || count == 0) return CB_ERR;
    // The search begins after `start` and wraps round to it; -1 (or any index off the list) searches
    // from the top.
    int from = ValidIndex(c, start) ? int(start) : count - 1;
    for (int k = 1; k <= count; ++k) {
        int i = (from + k) % count;
        if (StartsWith(c->items[std::size_t(i)], prefix)) {
            bool changed = i != c->selection;
            c->selection = i;
            if (changed) Changed(combo, a11y::Change::Value);
            return i;
        }
    }
    return CB_ERR;
}

LRESULT SetCurSel(HWND combo, ComboBox *c, WPARAM index) {
    int selection = ValidIndex(c, index) ? int(index) : -1;
    bool changed = selection != c->selection;
    c->selection = selection;
    if (changed) Changed(combo, a11y::Change::Value);
    return selection >= 0 ? selection : CB_ERR;
}

LRESULT GetText(const ComboBox *c, WPARAM size, LPARAM lParam) {
    auto buffer = reinterpret_cast<WCHAR *>(lParam);
    if (!buffer || size == 0) return 0;
    const std::u16string empty;
    const std::u16string &text = c->selection >= 0 ? c->items[std::size_t(c->selection)] : empty;
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return LRESULT(n);
}

// The item a navigation key leads to from `from` in a list of `count`, or -1 for another key.
int ItemForKey(WPARAM key, int from, int count) {
    if (count == 0) return -1;
    switch (key) {
    case VK_UP:
    case VK_LEFT: return std::max(0, from - 1);
    case VK_DOWN:
    case VK_RIGHT: return from < 0 ? 0 : std::min(count - 1, from + 1);
    case VK_HOME: return 0;
    case VK_END: return count - 1;
    default: return -1;
    }
}

void KeyDown(HWND combo, ComboBox *c, WPARAM key, bool alt) {
    bool toggle = key == VK_F4 || (alt && (key == VK_UP || key == VK_DOWN));
    int count = int(c->items.size());
    if (c->list) {
        if (toggle || key == VK_RETURN) {
            CloseUp(combo, true);
        } else if (key == VK_ESCAPE) {
            CloseUp(combo, false);
        } else if (int item = ItemForKey(key, c->highlighted, count); item >= 0) {
            // Keep the highlighted row in view.
            int rows = VisibleRows(c);
            c->first = std::clamp(c->first, item - rows + 1, item);
            c->highlighted = item;
            Repaint(c->list);
        }
        return;
    }
    if (toggle) {
        Drop(combo, false);
        return;
    }
    int item = alt ? -1 : ItemForKey(key, c->selection, count);
    if (item < 0 || item == c->selection) return;
    // The same notifications as a pick from the dropped list, the selection (so the window text)
    // already the new item.
    c->selection = item;
    Changed(combo, a11y::Change::Value);
    NotifyParent(combo, CBN_SELENDOK);
    if (StateOf<ComboBox>(combo)) NotifyParent(combo, CBN_SELCHANGE);
}

}  // namespace

LRESULT CALLBACK ComboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        ComboBox *c = Attach<ComboBox>(combo);
        auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        if (!c || !cs) return -1;
        // The field takes the height the font needs; the rest of the given height is the list's.
        int field = FieldHeight();
        c->listRoom = std::max(0, cs->cy - field);
        MoveWindow(combo, cs->x, cs->y, cs->cx, field, FALSE);
        return 0;
    }
    ComboBox *c = StateOf<ComboBox>(combo);
    if (!c) return DefWindowProcW(combo, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        if (HWND list = c->list) {
            c->list = nullptr;
            if (DropList *d = StateOf<DropList>(list)) d->combo = nullptr;
            DestroyWindow(list);
        }
        Detach<ComboBox>(combo);
        return 0;
    case WM_PAINT: PaintField(combo, c); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
        // The list holds the stylus while it is down, so a tap reaches the field only when it is up
        // (or when someone took the stylus from the list): drop it, or choose.
        SetFocus(combo);
        if (!(c = StateOf<ComboBox>(combo))) return 0;
        if (c->list)
            CloseUp(combo, true);
        else
            Drop(combo, true);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: KeyDown(combo, c, wParam, message == WM_SYSKEYDOWN); return 0;
    case WM_SETFOCUS: Repaint(combo); return 0;
    case WM_KILLFOCUS:
        CloseUp(combo, false);
        Repaint(combo);
        return 0;
    case WM_GETDLGCODE:
        // Dropped, it keeps Return and Escape from the dialog manager: they choose and cancel.
        return DLGC_WANTARROWS | (c->list && (wParam == VK_RETURN || wParam == VK_ESCAPE) ? DLGC_WANTALLKEYS : 0);
    case WM_SHOWWINDOW:
    case WM_ENABLE:
        if (!wParam) CloseUp(combo, false);
        Repaint(combo);
        return 0;
    case WM_GETTEXT: return GetText(c, wParam, lParam);
    case WM_GETTEXTLENGTH: return c->selection >= 0 ? LRESULT(c->items[std::size_t(c->selection)].size()) : 0;
    case WM_SETTEXT: return CB_ERR;  // a drop-down list's text is its selection
    case WM_SETFONT:
        c->font = reinterpret_cast<HFONT>(wParam);
        if (lParam) Repaint(combo);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(c->font);
    case CB_ADDSTRING: return AddString(c, lParam);
    case CB_GETCOUNT: return LRESULT(c->items.size());
    case CB_SELECTSTRING: return SelectString(combo, c, wParam, lParam);
    case CB_SETCURSEL: return SetCurSel(combo, c, wParam);
    case CB_GETCURSEL: return c->selection >= 0 ? c->selection : CB_ERR;
    case CB_GETLBTEXT: {
        auto buffer = reinterpret_cast<WCHAR *>(lParam);
        if (!ValidIndex(c, wParam) || !buffer) return CB_ERR;
        const std::u16string &item = c->items[wParam];
        std::copy(item.begin(), item.end(), buffer);
        buffer[item.size()] = 0;
        return LRESULT(item.size());
    }
    case CB_GETLBTEXTLEN: return ValidIndex(c, wParam) ? LRESULT(c->items[wParam].size()) : CB_ERR;
    case CB_SHOWDROPDOWN:
        if (wParam)
            Drop(combo, false);
        else
            CloseUp(combo, false);
        return TRUE;
    case CB_GETDROPPEDSTATE: return c->list ? TRUE : FALSE;
    default: return DefWindowProcW(combo, message, wParam, lParam);
    }
}

}  // namespace controls
