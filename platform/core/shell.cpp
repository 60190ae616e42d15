// The shell's screen furniture: the navigation bar at the top and the bar place at the bottom.
//
// Implements: the navigation bar (rows 0-25): a start symbol, the active window's title, the clock,
// the speaker struck through while no sound is heard, and an "ok" button for a window that asks for
// one (a tap sends it IDOK); the desktop beneath every
// window, which shows an empty bar in rows 294-319 when no program has put its menu bar there.
// Leaves out: the Start menu, notification icons, the input panel itself.
#include "core.h"
#include "font.h"

namespace core {
namespace {

constexpr COLORREF kNavBlue = RGB(0, 0, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBarGrey = RGB(214, 211, 206);
constexpr COLORREF kBarLine = RGB(128, 128, 128);
constexpr COLORREF kStrikeRed = RGB(255, 0, 0);
constexpr int kNavHeight = 26;
constexpr RECT kOkButton{210, 4, 236, 22};
constexpr UINT_PTR kClockTimer = 1;

bool g_okPressed = false;

bool ShowsOk(Window *w) { return w && (w->okButton || (w->exStyle & WS_EX_CAPTIONOKBTN)); }

// A small flag on a pole: the symbol of the start button.
void PaintStartSymbol(HDC dc) {
    FillSolid(dc, RECT{6, 5, 7, 22}, kWhite);
    for (int y = 0; y < 8; ++y) {
        int wave = (y < 4) ? 0 : 1;
        FillSolid(dc, RECT{7, 5 + y, 19 - wave, 6 + y}, y % 3 == 2 ? RGB(160, 200, 255) : kWhite);
    }
}

// The speaker beside the clock, struck through: shown while the host has no working sound output.
// `right` is the speaker's right edge.
void PaintMutedSpeaker(HDC dc, int right) {
    int left = right - 12;
    FillSolid(dc, RECT{left + 1, 10, left + 4, 16}, kWhite);  // the magnet
    for (int i = 0; i < 5; ++i)                               // the cone, widening to the right
        FillSolid(dc, RECT{left + 4 + i, 9 - i, left + 5 + i, 17 + i}, kWhite);
    for (int i = 0; i < 14; ++i)  // the stroke, top left to bottom right
        FillSolid(dc, RECT{left - 1 + i, 6 + i, left + 1 + i, 7 + i}, kStrikeRed);
}

void PaintNavBar(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    FillSolid(dc, RECT{0, 0, kScreenW, kNavHeight}, kNavBlue);
    PaintStartSymbol(dc);
    Window *active = ActiveWindow();
    int right = kScreenW - 4;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWhite);
    if (ShowsOk(active)) {
        RECT ok = kOkButton;
        FillSolid(dc, ok, g_okPressed ? kNavBlue : kWhite);
        HPEN pen = CreatePen(PS_SOLID, 1, kWhite);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, ok.left, ok.top, ok.right, ok.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
        SelectObject(dc, SystemFont(true));
        SetTextColor(dc, g_okPressed ? kWhite : kNavBlue);
        DrawTextW(dc, u"ok", 2, &ok, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, kWhite);
        right = ok.left - 6;
    }
    int minutes = host::LocalMinutesOfDay();
    WCHAR clock[16];
    wsprintfW(clock, u"%d:%02d", (minutes / 60) % 24, minutes % 60);
    SelectObject(dc, SystemFont(false));
    RECT clockRect{right - 40, 0, right, kNavHeight};
    DrawTextW(dc, clock, -1, &clockRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    int titleRight = right - 44;
    if (!host::SoundWorks()) {
        PaintMutedSpeaker(dc, right - 32);  // just left of the widest clock, "12:59"
        titleRight = right - 48;
    }
    if (active && !active->text.empty()) {
        SelectObject(dc, SystemFont(true));
        RECT title{26, 0, titleRight, kNavHeight};
        DrawTextW(dc, active->text.c_str(), int(active->text.size()), &title,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    EndPaint(window, &ps);
}

bool InOk(LPARAM lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    return x >= kOkButton.left && x < kOkButton.right && y >= kOkButton.top - 4 && y < kOkButton.bottom + 4;
}

LRESULT CALLBACK NavBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: PaintNavBar(window); return 0;
    case WM_TIMER: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_LBUTTONDOWN:
        if (ShowsOk(ActiveWindow()) && InOk(lParam)) {
            g_okPressed = true;
            SetCapture(window);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (g_okPressed) {
            g_okPressed = false;
            ReleaseCapture();
            InvalidateRect(window, nullptr, FALSE);
            Window *active = ActiveWindow();
            if (InOk(lParam) && ShowsOk(active)) PostMessageW(active->handle, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        }
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK DesktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        FillSolid(dc, RECT{0, 0, kScreenW, kScreenH}, kWhite);
        FillSolid(dc, RECT{0, kScreenH - 26, kScreenW, kScreenH}, kBarGrey);
        FillSolid(dc, RECT{0, kScreenH - 26, kScreenW, kScreenH - 25}, kBarLine);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void CreateScreenFurniture() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DesktopProc;
    wc.lpszClassName = u"DesktopWindow";
    RegisterPlatformClass(wc, kClassNoActivate);
    wc.lpfnWndProc = NavBarProc;
    wc.lpszClassName = u"HHTaskBar";
    RegisterPlatformClass(wc, kClassNoActivate);
    CreateWindowExW(0, u"DesktopWindow", u"", WS_POPUP | WS_VISIBLE, 0, 0, kScreenW, kScreenH, nullptr, nullptr,
                    nullptr, nullptr);
    HWND navBar = CreateWindowExW(0, u"HHTaskBar", u"", WS_POPUP | WS_VISIBLE, 0, 0, kScreenW, kNavHeight, nullptr,
                                  nullptr, nullptr, nullptr);
    SetNavigationBar(navBar);
    SetTimer(navBar, kClockTimer, 60000, nullptr);
}

}  // namespace core
