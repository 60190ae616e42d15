// Resource numbers and control identifiers, shared by the program, the resource script,
// the build tools and the tests.
#pragma once

// Strings
#define IDS_TITLE 1  // the main window's title (empty)
#define IDS_CLASS 3  // the main window's class name
#define IDS_EXIT 40007
#define IDS_HELP 40009
#define IDS_ABOUT 40011
#define IDS_TOOLS 40025  // caption of the menu bar's button

// Icon, bitmap, menu, menu-bar record, accelerators, dialogs
#define IDI_CADENZO 101
#define IDB_LOGO 105
#define IDR_MAINMENU 108  // the menu and the menu-bar record share this number
#define IDR_ACCELERATORS 3
#define IDD_ABOUT 103
#define IDD_HELP 104

// Sounds (WAVE): 1001-1019 single notes, 1020-1024 chords, 1025-1027 clicks
#define IDW_FIRST 1001
#define IDW_CHORD_BB_MAJOR 1020
#define IDW_CHORD_C_MAJOR 1021
#define IDW_CHORD_D_MINOR 1022
#define IDW_CHORD_E_MAJOR 1023
#define IDW_CHORD_G_MAJOR 1024
#define IDW_CLICK_STRONG 1025
#define IDW_CLICK_SECONDARY 1026
#define IDW_CLICK_PLAIN 1027
#define IDW_LAST 1027

// Controls of the main window
#define IDC_TEMPO 101
#define IDC_TIME_SIGNATURE 103
#define IDC_START_STOP 104
#define IDC_SOUND 106
#define IDC_COLOR 107
#define IDC_NOTE_1 111
#define IDC_NOTE_8 118
#define IDC_STOP 121
#define IDC_ALL 122
#define IDC_DELAY_GROUP 131
#define IDC_DELAY_NONE 132
#define IDC_DELAY_1S 133
#define IDC_DELAY_3S 134
#define IDC_REPEAT_GROUP 135
#define IDC_REPEAT_1X 136
#define IDC_REPEAT_3X 137
#define IDC_REPEAT_5X 138
#define IDC_INSTRUMENT 140

// Commands of the menu and the accelerators
#define IDM_EXIT 1         // the same number as IDOK
#define IDM_ABOUT_OLD 109  // accepted as well as IDM_ABOUT
#define IDM_ABOUT 40003
#define IDM_HELP 40005
#define IDM_TOOLS 40023
#define IDM_HELP_OLD 32651  // accepted as well as IDM_HELP
