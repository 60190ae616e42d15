// Scroll-bar calls for scroll-bar controls (SB_CTL): each becomes the control's own message.
// Leaves out: the standard scroll bars of a window (SB_HORZ, SB_VERT), which no window here has.
#include <windows.h>

int SetScrollPos(HWND window, int bar, int position, BOOL redraw) {
    if (bar != SB_CTL) return 0;
    return int(SendMessageW(window, SBM_SETPOS, WPARAM(position), redraw));
}

int GetScrollPos(HWND window, int bar) {
    if (bar != SB_CTL) return 0;
    return int(SendMessageW(window, SBM_GETPOS, 0, 0));
}

BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL redraw) {
    if (bar != SB_CTL || !IsWindow(window)) return FALSE;
    SendMessageW(window, SBM_SETRANGE, WPARAM(minimum), LPARAM(maximum));
    if (redraw) InvalidateRect(window, nullptr, TRUE);
    return TRUE;
}

BOOL GetScrollRange(HWND window, int bar, int *minimum, int *maximum) {
    if (bar != SB_CTL || !minimum || !maximum || !IsWindow(window)) return FALSE;
    SendMessageW(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(minimum), reinterpret_cast<LPARAM>(maximum));
    return TRUE;
}
