// The dialog manager: modal dialogs from templates, the shell's full-screen dialogs, message boxes.
//
// Implements: DialogBoxIndirectParamW (a classic template found inside the module's resources and
// read with every length checked; the dialog window and its controls placed by the base units of
// the template's font; WM_SETFONT, WM_INITDIALOG; the dialog shown even without WS_VISIBLE; the
// owner disabled while a modal loop serves the whole thread, so the owner's timers and paints carry
// on), EndDialog, the dialog window's default handling (white background, WM_CLOSE as IDCANCEL,
// Return and Escape as IDOK and IDCANCEL), SHInitDialog (full-screen sizing below the navigation
// bar, leaving the menu bar's place free unless asked not to; "ok" in the navigation bar), and
// MessageBoxW (a box centred on the screen with its caption, its text and an OK button).
// The dialog's caption is not drawn by the dialog: the navigation bar shows the active window's text.
// A WM_QUIT that reaches a modal loop ends the dialog and is posted again for the loop outside; a
// dialog destroyed from outside (with its owner, say) ends its loop as well.
// Tab and Shift+Tab move through a dialog's controls as through the main window's (keyboard.cpp).
// Leaves out: modeless dialogs (CreateDialog*), extended templates, mnemonics, DS_ABSALIGN and the
// other placement styles, message-box icons and buttons other than OK (every message box has just OK
// and returns IDOK).
#include "dialog.h"

#include <aygshell.h>

#include <algorithm>
#include <string>

#include "core.h"
#include "font.h"

namespace core {

int ScaleRounded(int value, int numerator, int denominator) {
    if (denominator == 0) return 0;
    long long product = static_cast<long long>(value) * numerator;
    long long d = denominator;
    if (d < 0) {
        product = -product;
        d = -d;
    }
    long long half = d / 2;
    long long q = product >= 0 ? (product + half) / d : -((-product + half) / d);
    return static_cast<int>(q);
}

RECT DialogUnitsToPixels(int x, int y, int cx, int cy, int baseX, int baseY) {
    return RECT{ScaleRounded(x, baseX, 4), ScaleRounded(y, baseY, 8), ScaleRounded(cx, baseX, 4),
                ScaleRounded(cy, baseY, 8)};
}

}  // namespace core

using namespace core;

namespace {

constexpr int kNavHeight = 26;      // the navigation bar at the top of the screen
constexpr int kMenuBarHeight = 26;  // the menu bar's place at the bottom
constexpr int kScreenDpi = 96;
constexpr DWORD kNoFailCreate = 0x10;  // DS_NOFAILCREATE: a control that cannot be made is left out

constexpr char16_t kDialogClass[] = u"Dialog";
constexpr char16_t kMessageBoxClass[] = u"MessageBox";

// What a modal loop waits for; kept by the caller of the loop and reached from the window.
struct ModalState {
    bool ended = false;
    INT_PTR result = 0;
    std::u16string text;  // a message box's text
};

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MessageBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The modal state of a dialog or message box window; null for any other window.
ModalState *StateOf(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || (w->proc != DialogWindowProc && w->proc != MessageBoxProc)) return nullptr;
    return static_cast<ModalState *>(w->controlData);
}

void RegisterClasses() {
    // Registering again fails harmlessly; the classes go when the platform shuts down.
    WNDCLASSW wc{};
    wc.lpfnWndProc = DialogWindowProc;
    wc.hbrBackground = GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = kDialogClass;
    RegisterPlatformClass(wc, 0);
    wc.lpfnWndProc = MessageBoxProc;
    wc.lpszClassName = kMessageBoxClass;
    RegisterPlatformClass(wc, 0);
}

// The dialog box's behaviour for what its procedure leaves alone.
LRESULT DefaultDialogHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        return 0;
    case WM_INITDIALOG: return TRUE;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWL_DLGPROC));
    if (proc) {
        BOOL handled = proc(window, message, wParam, lParam);
        if (handled) {
            // Most messages answer through DWL_MSGRESULT; these answer with the procedure's value.
            if (message == WM_INITDIALOG || message == WM_CTLCOLORSTATIC || !IsWindow(window)) return handled;
            return GetWindowLongPtrW(window, DWL_MSGRESULT);
        }
        if (!IsWindow(window)) return 0;
    }
    return DefaultDialogHandling(window, message, wParam, lParam);
}

// Return and Escape in a dialog: Return presses the focused push button, else the default push button,
// else OK; Escape presses Cancel. A control that wants every key (a dropped list) keeps them. True when
// the key was taken.
bool TranslateDialogKey(HWND dialog, const MSG &msg) {
    if (msg.message != WM_KEYDOWN || TopLevelOf(FromHandle(msg.hwnd)) != FromHandle(dialog)) return false;
    if (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE) return false;
    UINT code = msg.hwnd != dialog ? UINT(SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, 0)) : 0;
    if (code & DLGC_WANTALLKEYS) return false;
    HWND button = nullptr;
    int id = IDCANCEL;
    if (msg.wParam == VK_RETURN) {
        id = IDOK;
        if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) button = msg.hwnd;
        if (Window *d = FromHandle(dialog); d && !button)
            for (Window *c : d->children)
                if (!button && (SendMessageW(c->handle, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) button = c->handle;
        if (button) id = GetDlgCtrlID(button);
    }
    if (!button) button = GetDlgItem(dialog, id);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

// Shows the dialog, disables its owner and serves the thread's messages until the dialog ends or
// goes; then re-enables the owner, destroys the dialog and gives the owner back the activation.
INT_PTR RunModal(HWND dialog, Window *owner, ModalState *state) {
    HWND ownerHandle = owner ? owner->handle : nullptr;
    // A pop-up menu that holds the stylus closes when a dialog takes over.
    if (GetCapture()) ReleaseCapture();
    if (!state->ended && IsWindow(dialog)) {
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
    }
    bool disabled = false;
    if (ownerHandle && IsWindowEnabled(ownerHandle)) {
        EnableWindow(ownerHandle, FALSE);
        disabled = true;
    }
    while (!state->ended && IsWindow(dialog)) {
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // The loop outside must see the quit message too.
            PostQuitMessage(int(msg.wParam));
            break;
        }
        if (TranslateDialogKey(dialog, msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    INT_PTR result = state->result;
    if (disabled && IsWindow(ownerHandle)) EnableWindow(ownerHandle, TRUE);
    if (IsWindow(dialog)) {
        if (Window *w = FromHandle(dialog)) w->controlData = nullptr;
        DestroyWindow(dialog);
    }
    if (Window *o = FromHandle(ownerHandle); o && !o->remote) Activate(o);
    return result;
}

// Window classes of the template's item ordinals.
const char16_t *ControlClass(const res::Id &id) {
    if (!id.isOrdinal) return id.name.empty() ? nullptr : id.name.c_str();
    switch (id.ordinal) {
    case 0x80: return u"button";
    case 0x81: return u"edit";
    case 0x82: return u"static";
    case 0x83: return u"listbox";
    case 0x84: return u"scrollbar";
    case 0x85: return u"combobox";
    default: return nullptr;
    }
}

// Creates the dialog window and its controls; null when the template asks for what cannot be made.
HWND CreateDialogWindow(HINSTANCE instance, const res::Dialog &t, Window *owner) {
    // Base units from the dialog's font: the system font at the template's point size.
    int pixelHeight = 12;
    if ((t.style & DS_SETFONT) && t.pointSize > 0 && t.pointSize <= 72)
        pixelHeight = ScaleRounded(t.pointSize, kScreenDpi, 72);
    font::Metrics metrics = font::GetMetrics(font::Style{pixelHeight, false});
    int baseX = std::max(1, metrics.averageCharWidth), baseY = std::max(1, metrics.height);
    HFONT dialogFont = SystemFont(false, pixelHeight);

    // A dialog is placed relative to its owner's client area, else to the space below the navigation bar.
    POINT origin{0, kNavHeight};
    if (owner) {
        RECT r = ScreenRect(owner);
        origin = POINT{r.left, r.top};
    }
    RECT frame = DialogUnitsToPixels(t.x, t.y, t.cx, t.cy, baseX, baseY);
    DWORD style = DWORD(t.style) & ~DWORD(WS_VISIBLE | WS_CHILD);
    HWND dialog = CreateWindowExW(t.exStyle, kDialogClass, t.title.c_str(), style | WS_POPUP, origin.x + frame.left,
                                  origin.y + frame.top, frame.right, frame.bottom, owner ? owner->handle : nullptr,
                                  nullptr, instance, nullptr);
    if (!dialog) return nullptr;
    if (t.style & DS_SETFONT) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), FALSE);

    for (const res::DialogItem &item : t.items) {
        const char16_t *cls = ControlClass(item.windowClass);
        LPCWSTR title = item.title.isOrdinal ? MAKEINTRESOURCE(item.title.ordinal) : item.title.name.c_str();
        RECT r = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy, baseX, baseY);
        // The identifier is a word: 0xFFFF is the usual -1 of controls nobody addresses.
        int id = std::int16_t(item.id);
        HWND control =
            cls ? CreateWindowExW(item.exStyle, cls, title, item.style | WS_CHILD, r.left, r.top, r.right, r.bottom,
                                  dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr)
                : nullptr;
        if (!IsWindow(dialog)) return nullptr;
        if (!control) {
            if (t.style & kNoFailCreate) continue;
            DestroyWindow(dialog);
            return nullptr;
        }
        if (t.style & DS_SETFONT) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), FALSE);
    }
    return dialog;
}

// ---- Message boxes ----

constexpr int kBoxWidth = 216;
constexpr int kBoxTitleHeight = 20;
constexpr int kBoxMargin = 10;
constexpr int kBoxButtonWidth = 56;
constexpr int kBoxButtonHeight = 22;
constexpr COLORREF kTitleBlue = RGB(0, 0, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

RECT MessageTextRect(int width, int textHeight) {
    int top = 1 + kBoxTitleHeight + kBoxMargin;
    return RECT{kBoxMargin, top, width - kBoxMargin, top + textHeight};
}

// Height of the text wrapped to the box's width.
int MeasureMessage(const std::u16string &text) {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, SystemFont(false));
    RECT r{0, 0, kBoxWidth - 2 * kBoxMargin, 0};
    DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    DeleteDC(dc);
    return std::max<int>(r.bottom - r.top, font::GetMetrics(font::Style{}).height);
}

void PaintMessageBox(HWND window, const ModalState &state) {
    PAINTSTRUCT ps;
    RECT client;
    HDC dc = BeginFramedBox(window, &ps, &client);
    // The caption on a dark title line, the text below it.
    FillSolid(dc, RECT{1, 1, client.right - 1, 1 + kBoxTitleHeight}, kTitleBlue);
    SetTextColor(dc, kWhite);
    SelectObject(dc, SystemFont(true));
    RECT title{6, 1, client.right - 6, 1 + kBoxTitleHeight};
    Window *w = FromHandle(window);
    std::u16string caption = w ? w->text : std::u16string();
    DrawTextW(dc, caption.c_str(), int(caption.size()), &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, kBlack);
    SelectObject(dc, SystemFont(false));
    RECT text = MessageTextRect(client.right, client.bottom);
    DrawTextW(dc, state.text.c_str(), int(state.text.size()), &text, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    EndPaint(window, &ps);
}

LRESULT CALLBACK MessageBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalState *state = StateOf(window);
    switch (message) {
    case WM_PAINT:
        if (!state) break;
        PaintMessageBox(window, *state);
        return 0;
    case WM_COMMAND:
        if (state && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            state->ended = true;
            state->result = IDOK;
        }
        return 0;
    case WM_CLOSE:
        if (state) {
            state->ended = true;
            state->result = IDOK;
        }
        return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC dialogProc,
                                LPARAM initParam) {
    // The template must lie inside one of the module's resources, whose end bounds the reading.
    res::Bytes bytes;
    res::Dialog t;
    if (!ResourceBytesFrom(instance, dialogTemplate, &bytes) || !res::ParseDialog(bytes, &t)) return -1;
    RegisterClasses();
    Window *ownerWindow = TopLevelOf(FromHandle(owner));
    if (ownerWindow && ownerWindow->remote) ownerWindow = nullptr;

    HWND dialog = CreateDialogWindow(instance, t, ownerWindow);
    if (!dialog) return -1;
    ModalState state;
    FromHandle(dialog)->controlData = &state;
    SetWindowLongPtrW(dialog, DWL_DLGPROC, reinterpret_cast<LRESULT>(dialogProc));

    // The focus goes to the first tab stop, or to the dialog itself when it has none (an information
    // dialog of static text, whose keys are then Return and Escape).
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam) && IsWindow(dialog))
        SetFocus(first ? first : dialog);
    return RunModal(dialog, ownerWindow, &state);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    ModalState *state = StateOf(dialog);
    if (!state) return FALSE;
    state->ended = true;
    state->result = result;
    return TRUE;
}

BOOL SHInitDialog(SHINITDLGINFO *info) {
    if (!info) return FALSE;
    Window *w = FromHandle(info->hDlg);
    if (!w || w->remote || w->parent) return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS)) return TRUE;
    DWORD flags = info->dwFlags;
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN)) {
        // The screen below the navigation bar; the menu bar keeps its place unless the dialog takes it.
        int bottom = kScreenH - ((flags & SHIDIF_FULLSCREENNOMENUBAR) ? 0 : kMenuBarHeight);
        MoveWindow(info->hDlg, 0, kNavHeight, kScreenW, bottom - kNavHeight, TRUE);
    }
    if (flags & SHIDIF_DONEBUTTON) {
        w->okButton = true;
        NavBarChanged();
    }
    // SHIDIF_SIPDOWN: the input panel is never up here.
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT) {
    std::u16string body = text && !IS_INTRESOURCE(text) ? std::u16string(text) : std::u16string();
    std::u16string title = caption && !IS_INTRESOURCE(caption) ? std::u16string(caption) : std::u16string(u"Error");
    host::Log("messagebox " + ToUtf8(title) + " | " + ToUtf8(body));
    RegisterClasses();
    Window *ownerWindow = TopLevelOf(FromHandle(owner));
    if (ownerWindow && ownerWindow->remote) ownerWindow = nullptr;

    // Title line, the text, the OK button, centred on the screen.
    int textHeight = MeasureMessage(body);
    int height = 1 + kBoxTitleHeight + kBoxMargin + textHeight + kBoxMargin + kBoxButtonHeight + 8 + 1;
    height = std::min(height, kScreenH - kNavHeight);
    int x = (kScreenW - kBoxWidth) / 2;
    int y = std::max(kNavHeight, (kScreenH - height) / 2);
    HWND box = CreateWindowExW(0, kMessageBoxClass, title.c_str(), WS_POPUP, x, y, kBoxWidth, height,
                               ownerWindow ? ownerWindow->handle : nullptr, nullptr, nullptr, nullptr);
    if (!box) return 0;
    ModalState state;
    state.text = body;
    state.result = IDOK;
    FromHandle(box)->controlData = &state;
    HWND ok =
        CreateWindowExW(0, u"button", u"OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, (kBoxWidth - kBoxButtonWidth) / 2,
                        height - 1 - 8 - kBoxButtonHeight, kBoxButtonWidth, kBoxButtonHeight, box,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
    SetFocus(ok ? ok : box);
    RunModal(box, ownerWindow, &state);
    return IDOK;
}
