// Cadenzo: a metronome and a player of tuning notes for the handheld.
//
// All of the program's state lives in one record, `app`, owned for the program's whole life; every
// part of the program reads and writes its fields directly. The functions below are the program's
// entry points, grouped by the file that holds them.
#pragma once

#include <windows.h>

#include "resource.h"

#define TIMER_METRONOME 105
#define TIMER_NOTES 110

#define NAME_SLOTS 10   // room in a name list
#define NAME_LENGTH 10  // wide characters in a slot, the terminator included (20 bytes)
#define MODULE_DIR_LENGTH 254

typedef WORD NoteTable[8];  // the sounds of the eight note buttons

struct AppState {
    HINSTANCE instance;
    HWND mainWindow;
    HWND menuBar;
    WCHAR moduleDir[MODULE_DIR_LENGTH];

    // Metronome
    int tempoPosition;  // 0 to 210; beats per minute = position + 30
    int metronomeBeat;  // 0 while stopped, else the current beat from 1
    int beatsPerMeasure;
    int accentBeat;           // the strong accent; 0 for none
    int secondaryAccentBeat;  // 0 for none
    int soundOn;
    int colorOn;
    WCHAR timeSignatureNames[NAME_SLOTS][NAME_LENGTH];
    int timeSignatureCount;
    int timeSignatureIndex;

    // Tuning notes
    WCHAR instrumentNames[NAME_SLOTS][NAME_LENGTH];
    int instrumentCount;
    int instrumentIndex;
    NoteTable noteTable;
    int allCount;
    int noteIndex;
    int notePlays;
    int allPosition;  // 0 for a single note, else the position in the "All" sequence
    int repeatCount;  // 1, 3 or 5
    int noteDelayMs;  // 1050, 2050 or 5050

    // Controls of the main window
    HWND tempoScrollBar;
    HWND startStopButton;
    HWND soundCheckBox;
    HWND colorCheckBox;
    HWND timeSignatureCombo;
    HWND noteButtons[8];
    HWND stopButton;
    HWND allButton;
    HWND delayNoneRadio;
    HWND delay1sRadio;
    HWND delay3sRadio;
    HWND repeat1xRadio;
    HWND repeat3xRadio;
    HWND repeat5xRadio;
    HWND instrumentCombo;

    // The three bars of the beat display panel, in client pixels
    RECT tempoTextRect;
    RECT tuningCaptionRect;
    RECT webAddressRect;
};

extern AppState app;

// The web-address line of the beat display panel.
extern const WCHAR kWebAddress[];

// app/winmain.cpp
BOOL InitInstance(HINSTANCE instance, int showCommand);
ATOM RegisterMainClass(HINSTANCE instance, LPCWSTR className);

// app/window_proc.cpp
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// app/text.cpp: wide-string helpers
bool TextEquals(const WCHAR *a, const WCHAR *b);
void TextCopy(WCHAR *destination, int capacity, const WCHAR *source);
int TextLength(const WCHAR *text);

// settings/settings.cpp
void LoadSettings(HINSTANCE instance);
void SaveSettings();

// metronome/engine.cpp
void OnTempoScroll(HWND window, int scrollCode, int thumbPosition);
void OnStartStop(HWND window);
void OnSoundToggle();
void OnColorToggle(HWND window);
void OnTimeSignatureChosen();
void CALLBACK MetronomeTick(HWND window, UINT message, UINT_PTR id, DWORD time);

// metronome/panel.cpp
void PaintMainWindow(HWND window);

// tuning/catalogue.cpp
void OnInstrumentChosen();

// tuning/player.cpp
void PlayNote(int index);
void PlayAll();
void StopNotes();
void SetNoteDelay(int command);
void SetRepeatCount(int command);
void CALLBACK NoteTick(HWND window, UINT message, UINT_PTR id, DWORD time);

// ui/layout.cpp
void CreateControls(HWND window);

// ui/menubar_dialogs.cpp
void CreateMenuBar(HWND window);
void ShowAbout(HWND window);
void ShowHelp(HWND window);
void OpenHelpViewer();
BOOL CALLBACK InfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
