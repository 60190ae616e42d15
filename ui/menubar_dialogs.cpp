// The menu bar with its Tools menu, the About and Help dialogs, and the help viewer.
#include <aygshell.h>

#include "app/cadenzo.h"

void CreateMenuBar(HWND window) {
    SHMENUBARINFO info;
    BYTE *bytes = reinterpret_cast<BYTE *>(&info);
    for (unsigned i = 0; i < sizeof info; ++i) bytes[i] = 0;
    info.cbSize = sizeof info;
    info.hwndParent = window;
    info.dwFlags = 0;
    info.nToolBarId = IDR_MAINMENU;
    info.hInstRes = app.instance;
    info.nBmpId = 0;
    info.cBmpImages = 0;
    if (!SHCreateMenuBar(&info)) MessageBoxW(window, TEXT("SHCreateMenuBar Failed"), TEXT("Error"), MB_OK);
    app.menuBar = info.hwndMB;
}

namespace {

void ShowInfoDialog(HWND window, int dialog) {
    HRSRC found = FindResourceW(app.instance, MAKEINTRESOURCE(dialog), RT_DIALOG);
    HGLOBAL loaded = LoadResource(app.instance, found);
    DialogBoxIndirectParamW(app.instance, static_cast<LPCDLGTEMPLATEW>(loaded), window, InfoDialogProc, 0);
}

}  // namespace

void ShowAbout(HWND window) { ShowInfoDialog(window, IDD_ABOUT); }

void ShowHelp(HWND window) { ShowInfoDialog(window, IDD_HELP); }

void OpenHelpViewer() {
    WCHAR commandLine[] = TEXT("file:Cadenzo.htm#Main_Contents");
    CreateProcessW(TEXT("peghelp.exe"), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr);
}

BOOL CALLBACK InfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        // Full screen, with "ok" in the navigation bar and the input panel lowered.
        SHINITDLGINFO info;
        info.dwMask = SHIDIM_FLAGS;
        info.hDlg = dialog;
        info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
        SHInitDialog(&info);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}
