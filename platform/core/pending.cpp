// The shell's menu bar and the dialog manager, not yet built: these calls report failure.
#include <aygshell.h>

#include "core.h"

BOOL SHCreateMenuBar(SHMENUBARINFO *info) {
    if (info) info->hwndMB = nullptr;
    return FALSE;
}

BOOL SHInitDialog(SHINITDLGINFO *) { return FALSE; }

INT_PTR DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM) { return -1; }

BOOL EndDialog(HWND, INT_PTR) { return FALSE; }

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
    host::Log("messagebox " + core::ToUtf8(caption ? caption : u"") + " | " + core::ToUtf8(text ? text : u""));
    return IDOK;
}

HMENU LoadMenuW(HINSTANCE, LPCWSTR) { return nullptr; }
BOOL DestroyMenu(HMENU) { return FALSE; }
