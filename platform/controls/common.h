// What the control classes share: their state records hung on the window, notifications to the parent,
// the font a control paints with.
#pragma once

#include <windows.h>

#include "core.h"

namespace controls {

// The record a control keeps on its window (core::Window::controlData); null before WM_CREATE and
// after WM_DESTROY, so every handler must allow for it being absent.
template <class T>
T *StateOf(HWND window) {
    core::Window *w = core::FromHandle(window);
    return w ? static_cast<T *>(w->controlData) : nullptr;
}

template <class T>
T *Attach(HWND window) {
    core::Window *w = core::FromHandle(window);
    if (!w) return nullptr;
    delete static_cast<T *>(w->controlData);
    auto *state = new T;
    w->controlData = state;
    return state;
}

template <class T>
void Detach(HWND window) {
    core::Window *w = core::FromHandle(window);
    if (!w) return;
    delete static_cast<T *>(w->controlData);
    w->controlData = nullptr;
}

// WM_COMMAND to the control's parent with the control's identifier and a notification code.
inline void NotifyParent(HWND control, WORD code) {
    HWND parent = GetParent(control);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

inline RECT ClientRectOf(HWND window) {
    RECT r{0, 0, 0, 0};
    GetClientRect(window, &r);
    return r;
}

inline bool InClient(HWND window, LPARAM point) {
    RECT r = ClientRectOf(window);
    int x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Selects the font the owner gave the control (WM_SETFONT), if any; the context starts with the system font.
inline void SelectControlFont(HDC dc, HFONT font) {
    if (font) SelectObject(dc, font);
}

// The window text as the core keeps it.
inline const std::u16string &TextOf(HWND window) {
    static const std::u16string empty;
    core::Window *w = core::FromHandle(window);
    return w ? w->text : empty;
}

// The window procedures of the control classes, registered by registry.cpp.
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ScrollBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
extern const WCHAR kListClass[];  // the drop-down list of a combo box

}  // namespace controls
