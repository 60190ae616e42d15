// The shell's menu bar and its pop-up menus.
//
// Implements: SHCreateMenuBar from a menu-bar record (the record, the menu it names and each
// button's caption string read from the resource module, all checked; any failure creates nothing):
// the bar is a top-level window of its own at the bottom of the screen, owned by the program's
// window so that it goes with it; text buttons at the left and the input-panel button at the right.
// A drop-down button opens its pop-up of the menu above the bar; the pop-up holds the stylus, follows
// it, and a chosen item posts WM_COMMAND (identifier, 0 = from a menu) to the owner; a separator or a
// greyed item is not chosen; a tap elsewhere closes the pop-up without a command. A plain button posts
// its own command. While the owner is disabled (a dialog is open) the bar takes no taps.
// Also LoadMenuW and DestroyMenu over the same menu reader.
// SHCMBF_EMPTYBAR (no buttons, no record read), SHCMBF_HIDDEN and SHCMBF_HIDESIPBUTTON are honoured.
// Leaves out: image buttons and bitmaps (a record that asks for one is refused), SHCMBF_COLORBK and
// SHCMBF_HMENU, menu-bar messages (SHCMBM_*), cascading pop-ups, keyboard navigation of menus, the
// input panel itself (its button does nothing but show that it was pressed).
#include <aygshell.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core.h"
#include "font.h"

using namespace core;

namespace {

constexpr int kBarHeight = 26;
constexpr int kBarTop = kScreenH - kBarHeight;
constexpr int kSipWidth = 36;
constexpr int kButtonPadding = 6;  // either side of a button's caption
constexpr int kRowHeight = 18;     // a pop-up item: the 14-pixel line and room around it
constexpr int kSeparatorHeight = 7;
constexpr int kPopupTextLeft = 8;
constexpr int kPopupMinWidth = 80;
constexpr std::uint16_t kMenuPopup = 0x10, kMenuGrayed = 0x01, kMenuDisabled = 0x02, kMenuSeparator = 0x800;
constexpr std::uint16_t kNoMenu = 0xFFFF;
constexpr UINT kPopupClosed = WM_USER + 1;  // pop-up to bar: it has gone

constexpr COLORREF kBarGrey = RGB(214, 211, 206);
constexpr COLORREF kBarLine = RGB(128, 128, 128);
constexpr COLORREF kHighlight = RGB(0, 0, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGrey = RGB(128, 128, 128);

constexpr char16_t kBarClass[] = u"menu_worker";
constexpr char16_t kPopupClass[] = u"menu_popup";

struct BarButton {
    std::u16string caption;
    UINT command = 0;
    std::vector<res::MenuItem> items;  // the pop-up it drops down; empty for a plain button
    bool dropDown = false;
    RECT rect{};  // bar client coordinates
};

struct Bar {
    HWND owner = nullptr;
    std::vector<BarButton> buttons;
    bool sipButton = true;
    int pressed = -1;  // the button shown pressed (its pop-up is open, or the stylus is on it)
    bool sipPressed = false;
    HWND popup = nullptr;
};

struct Row {
    std::u16string text;
    UINT command = 0;
    bool separator = false;
    bool enabled = true;
    RECT rect{};  // pop-up client coordinates
};

struct Popup {
    HWND bar = nullptr;
    HWND owner = nullptr;  // receives the command
    RECT opener{};         // the bar button that opened it, in screen coordinates
    std::vector<Row> rows;
    int hot = -1;            // the row under the stylus
    bool stylusDown = true;  // opened by a stylus still down on the bar button
    bool firstUp = true;
    bool closing = false;
};

Bar *BarOf(HWND window) {
    Window *w = FromHandle(window);
    return w ? static_cast<Bar *>(w->controlData) : nullptr;
}

Popup *PopupOf(HWND window) {
    Window *w = FromHandle(window);
    return w ? static_cast<Popup *>(w->controlData) : nullptr;
}

bool Inside(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

int TextWidth(const std::u16string &text, bool bold) {
    return font::Measure(font::Style{12, bold}, text.data(), int(text.size()));
}

// ---- The pop-up menu ----

int RowAt(const Popup &p, int x, int y) {
    for (std::size_t i = 0; i < p.rows.size(); ++i)
        if (Inside(p.rows[i].rect, x, y) && !p.rows[i].separator && p.rows[i].enabled) return int(i);
    return -1;
}

void ClosePopup(HWND window) {
    Popup *p = PopupOf(window);
    if (!p || p->closing) return;
    p->closing = true;
    if (GetCapture() == window) ReleaseCapture();
    DestroyWindow(window);
}

// Closes the pop-up and hands the chosen command to the owner, from the loop, after the pop-up has gone.
void Choose(HWND window, int row) {
    Popup *p = PopupOf(window);
    if (!p || row < 0 || row >= int(p->rows.size())) return;
    HWND owner = p->owner;
    UINT command = p->rows[std::size_t(row)].command;
    ClosePopup(window);
    PostMessageW(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void SetHot(HWND window, Popup *p, int row) {
    if (p->hot == row) return;
    p->hot = row;
    InvalidateRect(window, nullptr, FALSE);
}

void PaintPopup(HWND window, const Popup &p) {
    PAINTSTRUCT ps;
    RECT client;
    HDC dc = BeginFramedBox(window, &ps, &client);
    // The row under the stylus in the highlight colour.
    SelectObject(dc, SystemFont(false));
    for (std::size_t i = 0; i < p.rows.size(); ++i) {
        const Row &row = p.rows[i];
        if (row.separator) {
            int y = (row.rect.top + row.rect.bottom) / 2;
            FillSolid(dc, RECT{row.rect.left + 2, y, row.rect.right - 2, y + 1}, kGrey);
            continue;
        }
        bool hot = int(i) == p.hot;
        if (hot) FillSolid(dc, row.rect, kHighlight);
        SetTextColor(dc, !row.enabled ? kGrey : hot ? kWhite : kBlack);
        RECT text{row.rect.left + kPopupTextLeft - 1, row.rect.top, row.rect.right, row.rect.bottom};
        DrawTextW(dc, row.text.c_str(), int(row.text.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK PopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Popup *p = PopupOf(window);
    if (!p) return DefWindowProcW(window, message, wParam, lParam);
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_PAINT: PaintPopup(window, *p); return 0;
    case WM_LBUTTONDOWN: {
        RECT client;
        GetClientRect(window, &client);
        if (!Inside(client, x, y)) {
            // A tap outside closes the menu and does nothing else (a tap on its own button included).
            ClosePopup(window);
            return 0;
        }
        p->stylusDown = true;
        SetHot(window, p, RowAt(*p, x, y));
        return 0;
    }
    case WM_MOUSEMOVE:
        if (p->stylusDown) SetHot(window, p, RowAt(*p, x, y));
        return 0;
    case WM_LBUTTONUP: {
        bool first = p->firstUp;
        p->firstUp = false;
        p->stylusDown = false;
        int row = RowAt(*p, x, y);
        if (row >= 0) {
            Choose(window, row);
            return 0;
        }
        SetHot(window, p, -1);
        // The tap that opened the menu ends on its button: the menu stays for the next tap.
        RECT client;
        GetClientRect(window, &client);
        POINT screen{x, y};
        ClientToScreen(window, &screen);
        if (first && !Inside(client, x, y) && !Inside(p->opener, screen.x, screen.y)) ClosePopup(window);
        return 0;
    }
    case WM_CAPTURECHANGED:
        // Something else took the stylus (a dialog opened): the menu goes.
        if (!p->closing) ClosePopup(window);
        return 0;
    case WM_DESTROY: {
        HWND bar = p->bar;
        Window *w = FromHandle(window);
        w->controlData = nullptr;
        delete p;
        SendMessageW(bar, kPopupClosed, 0, reinterpret_cast<LPARAM>(window));
        return 0;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Opens button `index`'s pop-up above the bar, left-aligned with the button.
void OpenPopup(HWND barWindow, Bar *bar, int index) {
    const BarButton &button = bar->buttons[std::size_t(index)];
    auto popup = std::make_unique<Popup>();
    popup->bar = barWindow;
    popup->owner = bar->owner;
    RECT barRect;
    GetWindowRect(barWindow, &barRect);
    popup->opener = RECT{barRect.left + button.rect.left, barRect.top + button.rect.top,
                         barRect.left + button.rect.right, barRect.top + button.rect.bottom};
    int width = kPopupMinWidth, y = 1;
    for (const res::MenuItem &item : button.items) {
        Row row;
        row.separator =
            (item.flags & kMenuSeparator) || (item.command == 0 && item.text.empty() && !(item.flags & kMenuPopup));
        row.enabled = !(item.flags & (kMenuGrayed | kMenuDisabled | kMenuPopup));
        row.text = item.text;
        row.command = item.command;
        int h = row.separator ? kSeparatorHeight : kRowHeight;
        row.rect = RECT{1, y, 0, y + h};
        y += h;
        width = std::max(width, kPopupTextLeft + TextWidth(row.text, false) + 20);
        popup->rows.push_back(std::move(row));
    }
    for (Row &row : popup->rows) row.rect.right = width - 1;
    int height = y + 1;
    int left = std::min<int>(popup->opener.left, kScreenW - width);
    Popup *raw = popup.release();
    HWND window = CreateWindowExW(0, kPopupClass, u"", WS_POPUP, left, barRect.top - height, width, height, barWindow,
                                  nullptr, nullptr, nullptr);
    if (!window) {
        delete raw;
        return;
    }
    FromHandle(window)->controlData = raw;
    bar->popup = window;
    bar->pressed = index;
    InvalidateRect(barWindow, nullptr, FALSE);
    ShowWindow(window, SW_SHOWNA);
    SetCapture(window);
}

// ---- The bar ----

// A small keyboard with a tiny arrow pointing up: the input panel's button.
void PaintSipButton(HDC dc, const RECT &r, bool pressed) {
    if (pressed) FillSolid(dc, r, kHighlight);
    COLORREF ink = pressed ? kWhite : kBlack;
    int kx = r.left + 6, ky = r.top + 7;  // keyboard 19 x 11
    FillSolid(dc, RECT{kx, ky, kx + 19, ky + 1}, ink);
    FillSolid(dc, RECT{kx, ky + 10, kx + 19, ky + 11}, ink);
    FillSolid(dc, RECT{kx, ky, kx + 1, ky + 11}, ink);
    FillSolid(dc, RECT{kx + 18, ky, kx + 19, ky + 11}, ink);
    for (int row = 0; row < 3; ++row)  // three rows of keys, one pixel each
        for (int key = 0; key < 8; ++key)
            FillSolid(dc, RECT{kx + 2 + 2 * key, ky + 2 + 2 * row, kx + 3 + 2 * key, ky + 3 + 2 * row}, ink);
    FillSolid(dc, RECT{kx + 5, ky + 8, kx + 14, ky + 9}, ink);  // the space bar
    // The arrow: a 5-pixel triangle pointing up.
    int ax = kx + 22, ay = ky + 3;
    for (int i = 0; i < 3; ++i) FillSolid(dc, RECT{ax + 2 - i, ay + i, ax + 3 + i, ay + i + 1}, ink);
}

void PaintBar(HWND window, const Bar &bar) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    FillSolid(dc, client, kBarGrey);
    FillSolid(dc, RECT{0, 0, client.right, 1}, kBarLine);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, SystemFont(true));
    for (std::size_t i = 0; i < bar.buttons.size(); ++i) {
        const BarButton &b = bar.buttons[i];
        bool pressed = int(i) == bar.pressed;
        if (pressed) FillSolid(dc, b.rect, kHighlight);
        SetTextColor(dc, pressed ? kWhite : kBlack);
        RECT text = b.rect;
        DrawTextW(dc, b.caption.c_str(), int(b.caption.size()), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (bar.sipButton)
        PaintSipButton(dc, RECT{client.right - kSipWidth, 1, client.right, client.bottom}, bar.sipPressed);
    EndPaint(window, &ps);
}

int ButtonAt(const Bar &bar, int x, int y) {
    for (std::size_t i = 0; i < bar.buttons.size(); ++i)
        if (Inside(bar.buttons[i].rect, x, y)) return int(i);
    return -1;
}

bool InSip(HWND window, const Bar &bar, int x, int y) {
    RECT client;
    GetClientRect(window, &client);
    return bar.sipButton && Inside(RECT{client.right - kSipWidth, 1, client.right, client.bottom}, x, y);
}

LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Bar *bar = BarOf(window);
    if (!bar) return DefWindowProcW(window, message, wParam, lParam);
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_PAINT: PaintBar(window, *bar); return 0;
    case WM_LBUTTONDOWN: {
        // The bar belongs to its owner: while a dialog has disabled the owner, it takes no taps.
        if (!IsWindowEnabled(bar->owner)) return 0;
        if (InSip(window, *bar, x, y)) {
            bar->sipPressed = true;
            SetCapture(window);
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        }
        int index = ButtonAt(*bar, x, y);
        if (index < 0) return 0;
        if (bar->buttons[std::size_t(index)].dropDown) {
            OpenPopup(window, bar, index);
        } else {
            bar->pressed = index;
            SetCapture(window);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    }
    case WM_LBUTTONUP:
        if (GetCapture() == window) ReleaseCapture();
        if (bar->sipPressed) {
            // The input panel is not part of this platform: its button only shows the tap.
            bar->sipPressed = false;
            InvalidateRect(window, nullptr, FALSE);
        } else if (bar->pressed >= 0 && !bar->popup) {
            int index = bar->pressed;
            bar->pressed = -1;
            InvalidateRect(window, nullptr, FALSE);
            if (ButtonAt(*bar, x, y) == index)
                PostMessageW(bar->owner, WM_COMMAND, MAKEWPARAM(bar->buttons[std::size_t(index)].command, 0), 0);
        }
        return 0;
    case kPopupClosed:
        if (bar->popup == reinterpret_cast<HWND>(lParam)) {
            bar->popup = nullptr;
            bar->pressed = -1;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_DESTROY:
        if (bar->popup) DestroyWindow(bar->popup);
        FromHandle(window)->controlData = nullptr;
        delete bar;
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterClasses() {
    // Registering again fails harmlessly; the classes go when the platform shuts down.
    WNDCLASSW wc{};
    wc.lpfnWndProc = BarProc;
    wc.lpszClassName = kBarClass;
    RegisterPlatformClass(wc, kClassNoActivate);
    wc.lpfnWndProc = PopupProc;
    wc.lpszClassName = kPopupClass;
    RegisterPlatformClass(wc, kClassNoActivate);
}

// Reads the menu-bar record and what it names into `bar`; false for anything missing or malformed.
bool ReadMenuBar(HINSTANCE instance, UINT recordId, Bar *bar) {
    res::Bytes image = ModuleResources(instance);
    res::Bytes data;
    res::MenuBar record;
    if (recordId > 0xFFFF ||
        !res::Find(image, res::Ordinal(res::kTypeRcData), res::Ordinal(std::uint16_t(recordId)), &data))
        return false;
    if (!res::ParseMenuBar(data, &record)) return false;
    std::vector<res::MenuItem> menu;
    bool menuRead = false;
    int x = 0;
    for (const res::MenuBarButton &b : record.buttons) {
        BarButton button;
        button.command = b.command;
        if (b.image != I_IMAGENONE) return false;
        if (!res::LoadString(image, b.stringId, &button.caption) || button.caption.empty()) return false;
        button.dropDown = (b.style & TBSTYLE_DROPDOWN) || b.submenu != kNoMenu;
        if (button.dropDown) {
            if (!menuRead) {
                res::Bytes menuData;
                if (!res::Find(image, res::Ordinal(res::kTypeMenu), res::Ordinal(record.menuId), &menuData) ||
                    !res::ParseMenu(menuData, &menu))
                    return false;
                menuRead = true;
            }
            if (b.submenu >= menu.size() || !(menu[b.submenu].flags & kMenuPopup) || menu[b.submenu].children.empty())
                return false;
            button.items = menu[b.submenu].children;
        }
        int width = TextWidth(button.caption, true) + 2 * kButtonPadding;
        button.rect = RECT{x, 1, x + width, kBarHeight};
        x += width;
        bar->buttons.push_back(std::move(button));
    }
    return true;
}

// LoadMenuW's handles: parsed menus kept until DestroyMenu.
struct LoadedMenu {
    std::uint32_t magic;
    std::vector<res::MenuItem> items;
};
constexpr std::uint32_t kMenuMagic = 0x4D454E55;
std::vector<std::unique_ptr<LoadedMenu>> g_menus;

}  // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO *info) {
    if (!info || info->cbSize < sizeof(SHMENUBARINFO)) return FALSE;
    info->hwndMB = nullptr;
    Window *owner = TopLevelOf(FromHandle(info->hwndParent));
    if (!owner || owner->remote) return FALSE;

    auto bar = std::make_unique<Bar>();
    bar->owner = owner->handle;
    bar->sipButton = !(info->dwFlags & SHCMBF_HIDESIPBUTTON);
    if (!(info->dwFlags & SHCMBF_EMPTYBAR) && !ReadMenuBar(info->hInstRes, info->nToolBarId, bar.get())) return FALSE;

    RegisterClasses();
    HWND window = CreateWindowExW(0, kBarClass, u"", WS_POPUP, 0, kBarTop, kScreenW, kBarHeight, owner->handle, nullptr,
                                  nullptr, nullptr);
    if (!window) return FALSE;
    FromHandle(window)->controlData = bar.release();
    if (!(info->dwFlags & SHCMBF_HIDDEN)) ShowWindow(window, SW_SHOWNA);
    info->hwndMB = window;
    return TRUE;
}

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name) {
    res::Id id;
    if (!core::ResourceId(name, &id)) return nullptr;
    res::Bytes data;
    auto menu = std::make_unique<LoadedMenu>();
    menu->magic = kMenuMagic;
    if (!res::Find(ModuleResources(instance), res::Ordinal(res::kTypeMenu), id, &data) ||
        !res::ParseMenu(data, &menu->items))
        return nullptr;
    g_menus.push_back(std::move(menu));
    return reinterpret_cast<HMENU>(g_menus.back().get());
}

BOOL DestroyMenu(HMENU handle) {
    auto it = std::find_if(g_menus.begin(), g_menus.end(), [&](const std::unique_ptr<LoadedMenu> &m) {
        return reinterpret_cast<HMENU>(m.get()) == handle;
    });
    if (it == g_menus.end()) return FALSE;
    g_menus.erase(it);
    return TRUE;
}
