// The core's internal records, shared by its modules and by the platform's controls.
//
// Windows live in a handle table (a stale handle is detected, never dereferenced). Every window has
// only a client area (the handheld draws no frames or captions: a dialog's caption is shown in the
// navigation bar), so a window's rectangle is its client rectangle. The screen is one 240 x 320
// framebuffer; a map from each pixel to the window that owns it gives clipping (every window clips
// its children and the windows above it) and tells which windows an uncovered area belongs to.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "access.h"
#include "capacities.h"
#include "host.h"
#include "resfile.h"

namespace core {

constexpr int kScreenW = host::kScreenWidth;
constexpr int kScreenH = host::kScreenHeight;

// Class flags the platform uses for its own windows.
constexpr unsigned kClassNoActivate = 1;  // never becomes the active window (bars, pop-up lists, menus)
constexpr unsigned kClassProgram = 2;     // registered by the program (RegisterClassW)

struct WindowClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HBRUSH background = nullptr;
    unsigned platformFlags = 0;
};

// Text a program drew into one of its own windows with DrawTextW, kept for the accessibility model.
struct PaintedText {
    RECT rect;  // client coordinates, as drawn
    std::u16string text;
};

struct Window {
    HWND handle = nullptr;
    const WindowClass *cls = nullptr;
    WNDPROC proc = nullptr;
    Window *parent = nullptr;        // children only
    Window *owner = nullptr;         // owned top-level windows (dialogs, pop-ups)
    std::vector<Window *> children;  // front = top of the z-order
    DWORD style = 0, exStyle = 0;
    int id = 0;
    RECT rect{};  // in the parent's client coordinates; screen for top-level
    std::u16string text;
    HINSTANCE instance = nullptr;
    std::vector<RECT> update;  // client coordinates
    bool erase = false;
    bool enabled = true;
    bool destroying = false;
    LRESULT userData = 0;
    std::array<LRESULT, 3> dialogLongs{};  // DWL_MSGRESULT, DWL_DLGPROC, DWL_USER
    void *controlData = nullptr;           // a control's own state, owned by its window procedure
    bool remote = false;                   // stands for the main window of another running copy
    bool okButton = false;                 // the navigation bar shows "ok" for it (sends IDOK)
    HWND lastFocus = nullptr;              // top-level: the window inside it that last had the focus
    std::vector<PaintedText> painted;      // windows of the program's classes: text it drew, by place
};

// ---- The window table (window_table.cpp): below everything else ----
Window *AllocateWindow();  // a new record with a fresh handle; null when the table is full
void ReleaseWindow(Window *w);
Window *FromHandle(HWND handle);  // null for a stale or foreign handle
int SlotOf(const Window *w);      // the handle's slot, as the owner map stores it
Window *WindowInSlot(int slot);   // null for an empty slot
RECT ScreenRect(const Window *w);
bool IsVisible(const Window *w);  // visible itself and all its ancestors
Window *TopLevelOf(Window *w);
const std::vector<Window *> &TopLevels();  // front = top
std::vector<Window *> &TopLevelList();     // the same, for window.cpp to change

// ---- Screen (screen.cpp) ----
std::uint32_t *Framebuffer();       // 240 x 320, 0x00RRGGBB
const std::uint16_t *OwnerMap();    // per pixel: handle slot of the owning window, 0 = none
std::uint16_t *WritableOwnerMap();  // the same, for window.cpp to work out
void MarkScreenDirty();
bool TakeScreenDirty();

// ---- Windows (window.cpp) ----
Window *MainWindow();  // the program's first unowned top-level window
Window *ActiveWindow();
void Activate(Window *w);
// Registers a class for the platform's own windows (controls, bars, dialogs).
ATOM RegisterPlatformClass(const WNDCLASSW &wc, unsigned platformFlags);
// Hit testing: the deepest enabled window under a screen point that does not answer HTTRANSPARENT.
Window *WindowFromScreenPoint(int x, int y);
void DestroyAllWindows();  // platform shutdown
void LayoutChanged();      // recompute the owner map; invalidate what became uncovered

// ---- Keyboard (keyboard.cpp) ----
// Where a key goes: the focused window when it lies in the active window and may take input, else the
// active window itself.
Window *KeyTarget();
// Tab and Shift+Tab move the focus through the active window's controls; true when the key was taken.
bool NavigationKey(const host::Event &e);
// Whether every visible, enabled control that can take the focus is a tab stop (the keyboard-access
// option, on by default), or only those with WS_TABSTOP.
void SetKeyboardAccess(bool on);
bool KeyboardAccess();
bool IsWithin(const Window *w, const Window *ancestor);  // w is ancestor or one of its descendants
Window *GroupLeader(Window *control);  // the first control of a radio button's group (itself otherwise)

// ---- Accessibility (access.cpp) ----
// Something a screen reader may want to hear about changed; kept until the loop next waits.
void AccessChanged(const Window *w, a11y::Change change);
void AccessChangedId(a11y::Id id, a11y::Change change);
void DeliverAccessEvents();
// Runs the actions a bridge queued, as sent messages are run: from the message loop, before anything else.
bool RunAccessActions();
// A program drew text into its own window: kept for the labels of the model, one per place.
void RecordPaintedText(Window *w, const RECT &rect, const std::u16string &text);

// ---- Timers (timers.cpp) ----
struct Timer {
    HWND window;
    UINT_PTR id;
    UINT interval;
    std::uint32_t due;
    TIMERPROC proc;
};
std::vector<Timer> &Timers();  // the running timers, for the message loop
void KillWindowTimers(HWND handle);

// ---- Messages (message.cpp) ----
std::uint32_t CurrentMessageTime();        // the time of the message being handled
void PostInput(const host::Event &event);  // for tests and hosts that push events directly
bool IsKeyDown(int virtualKey);

// ---- The update region (paint.cpp) ----
void AddUpdateRect(Window *w, const RECT &clientRect, bool erase);
// The navigation bar's title, "ok" or speaker changed: repaint it (once the shell has made it).
void NavBarChanged();
void SetNavigationBar(HWND bar);  // the shell's navigation bar, once it is made
HWND NavigationBar();

// ---- GDI objects and contexts (gdi.cpp), drawing (draw.cpp), text (text.cpp) ----
inline COLORREF ToColorRef(std::uint32_t rgb) { return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16); }
inline std::uint32_t ToRgb(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
int LiveGdiObjects();  // created and not yet deleted; stock objects not counted
// A bitmap object from decoded pixels (for icons drawn by controls).
HBITMAP CreateBitmapFromImage(const res::Image &image);
// The system font (12 px) or its bold face at a pixel height, as stock font objects for SelectObject.
HFONT SystemFont(bool bold = false, int pixelHeight = 12);
// Fills a rectangle (DC coordinates, right and bottom excluded) with a colour, through the DC's clip.
void FillSolid(HDC dc, const RECT &rect, COLORREF color);
// Begins painting a pop-up box (a message box, a menu): white inside a one-pixel black border, with
// text to be drawn on it without a background. *client gets its client rectangle; end with EndPaint.
HDC BeginFramedBox(HWND window, PAINTSTRUCT *ps, RECT *client);

// ---- Module and resources (module.cpp) ----
struct Module {
    std::uint32_t magic;
    res::Bytes image;
};
Module *ModuleFromHandle(HMODULE module);
HINSTANCE MainModule();
res::Bytes ModuleResources(HMODULE module);
// A resource name or type as the API takes it (MAKEINTRESOURCE(n), "#n" or a name); false for null.
bool ResourceId(LPCWSTR text, res::Id *out);
// The bytes from `pointer` to the end of the resource entry of `module` that holds it: a reader
// given only a pointer (a dialog template from LoadResource) then stays inside that entry. False
// when the pointer lies in no entry of the module.
bool ResourceBytesFrom(HMODULE module, const void *pointer, res::Bytes *out);
// Icons are kept decoded; an HICON points at one of these.
struct Icon {
    std::uint32_t magic;
    res::Image image;
};
Icon *IconFromHandle(HICON icon);
// Icon `name` at `size` pixels (LoadIconW asks for 32), kept for the module's life.
HICON LoadIconSized(HINSTANCE instance, LPCWSTR name, int size);

// ---- Text conversion (files.cpp) ----
std::string ToUtf8(const std::u16string &s);
std::u16string FromUtf8(const std::string &s);
bool HostPath(const std::u16string &name, std::string *out);          // false: a name no host file has
bool PlatformPath(const std::string &hostPath, std::u16string *out);  // its reverse; false: MAX_PATH or more

// ---- Shell (shell.cpp) ----
void CreateScreenFurniture();  // navigation bar and bottom bar

}  // namespace core
