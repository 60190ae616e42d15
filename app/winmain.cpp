// Start-up, the single-instance rule, the message loop and shutdown.
#include <aygshell.h>

#include "app/cadenzo.h"

AppState app;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    LoadSettings(instance);
    if (!InitInstance(instance, showCommand)) return 0;

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCE(IDR_ACCELERATORS));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    SaveSettings();
    return int(msg.wParam);
}

BOOL InitInstance(HINSTANCE instance, int showCommand) {
    app.instance = instance;
    app.mainWindow = nullptr;

    WCHAR className[100];
    WCHAR title[100];
    LoadStringW(instance, IDS_CLASS, className, 100);
    LoadStringW(instance, IDS_TITLE, title, 100);

    // Only one copy runs: bring the running one (and its open dialog) to the front and leave.
    HWND running = FindWindowW(className, title);
    if (running) {
        SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(running) | 1));
        return FALSE;
    }

    RegisterMainClass(instance, className);
    app.mainWindow = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!app.mainWindow) return FALSE;

    // The default size does not leave room for the menu bar at the bottom of the screen.
    RECT rect;
    GetWindowRect(app.mainWindow, &rect);
    if (app.menuBar) {
        MoveWindow(app.mainWindow, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top - 26, FALSE);
    }

    ShowWindow(app.mainWindow, showCommand);
    UpdateWindow(app.mainWindow);
    return TRUE;
}

ATOM RegisterMainClass(HINSTANCE instance, LPCWSTR className) {
    WNDCLASSW wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCE(IDI_CADENZO));
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = className;
    return RegisterClassW(&wc);
}
