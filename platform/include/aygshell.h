// The handheld shell's API: the menu bar at the bottom of the screen and full-screen dialogs.
//
// Implements: SHCreateMenuBar from a menu-bar record, SHInitDialog with SHIDIM_FLAGS.
// Leaves out: the input panel itself, SHFullScreen, SHHandleWMSettingChange and the rest.
#pragma once

#include <windows.h>

struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
};
typedef SHMENUBARINFO *PSHMENUBARINFO;
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
BOOL SHCreateMenuBar(SHMENUBARINFO *info);

struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
BOOL SHInitDialog(SHINITDLGINFO *info);

#define I_IMAGENONE (-2)
#define TBSTATE_ENABLED 0x04
#define TBSTYLE_DROPDOWN 0x0008
#define TBSTYLE_AUTOSIZE 0x0010
