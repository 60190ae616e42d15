// The main window's controls: created once, in this order, at fixed places; never moved afterwards.
#include "app/cadenzo.h"

namespace {

const WCHAR kButton[] = TEXT("button");
const WCHAR kScrollBar[] = TEXT("scrollbar");
const WCHAR kComboBox[] = TEXT("combobox");

struct ControlRow {
    const WCHAR *windowClass;
    const WCHAR *caption;
    DWORD style;
    int x, y, width, height;
    int id;
    HWND *handle;  // where the handle is kept; null when it is not kept
};

// Styles: 0x50000000 = WS_CHILD | WS_VISIBLE; 0x40000000 = WS_CHILD alone (created hidden).
// The combo boxes' heights include their dropped-down lists. The note buttons start with the guitar's
// captions; the instrument chosen at the end of creation relabels them at once.
const ControlRow kControls[] = {
    {kScrollBar, nullptr, 0x50000000, 4, 21, 232, 20, IDC_TEMPO, &app.tempoScrollBar},                     // 1
    {kButton, TEXT("Start Metronome"), 0x50000000, 4, 48, 114, 28, IDC_START_STOP, &app.startStopButton},  // 2
    {kButton, TEXT("Sound"), 0x50000002, 122, 48, 55, 15, IDC_SOUND, &app.soundCheckBox},  // 3 BS_CHECKBOX
    {kButton, TEXT("Color"), 0x50000002, 122, 61, 55, 15, IDC_COLOR, &app.colorCheckBox},  // 4 BS_CHECKBOX
    {kComboBox, TEXT(""), 0x50000003, 181, 48, 55, 120, IDC_TIME_SIGNATURE,
     &app.timeSignatureCombo},                                                                    // 5 CBS_DROPDOWNLIST
    {kButton, TEXT("E1"), 0x50000000, 4, 99, 55, 28, IDC_NOTE_1, &app.noteButtons[0]},            // 6
    {kButton, TEXT("A2"), 0x50000000, 63, 99, 55, 28, IDC_NOTE_1 + 1, &app.noteButtons[1]},       // 7
    {kButton, TEXT("D3"), 0x50000000, 122, 99, 55, 28, IDC_NOTE_1 + 2, &app.noteButtons[2]},      // 8
    {kButton, TEXT("G4"), 0x50000000, 181, 99, 55, 28, IDC_NOTE_1 + 3, &app.noteButtons[3]},      // 9
    {kButton, TEXT("B5"), 0x50000000, 4, 131, 55, 28, IDC_NOTE_1 + 4, &app.noteButtons[4]},       // 10
    {kButton, TEXT("E6"), 0x50000000, 63, 131, 55, 28, IDC_NOTE_1 + 5, &app.noteButtons[5]},      // 11
    {kButton, TEXT("G maj"), 0x50000000, 122, 131, 55, 28, IDC_NOTE_1 + 6, &app.noteButtons[6]},  // 12
    {kButton, TEXT("E maj"), 0x50000000, 181, 131, 55, 28, IDC_NOTE_8, &app.noteButtons[7]},      // 13
    {kButton, TEXT("Stop"), 0x40000000, 4, 213, 55, 32, IDC_STOP, &app.stopButton},               // 14 hidden
    {kButton, TEXT("All"), 0x40000000, 63, 213, 55, 32, IDC_ALL, &app.allButton},                 // 15 hidden
    {kButton, TEXT("none"), 0x50000004, 125, 183, 50, 15, IDC_DELAY_NONE, &app.delayNoneRadio},   // 16 BS_RADIOBUTTON
    {kButton, TEXT("1 sec"), 0x50000004, 125, 203, 50, 15, IDC_DELAY_1S, &app.delay1sRadio},      // 17
    {kButton, TEXT("3 sec"), 0x50000004, 125, 223, 50, 15, IDC_DELAY_3S, &app.delay3sRadio},      // 18
    {kButton, TEXT("Delay"), 0x50000007, 122, 161, 55, 84, IDC_DELAY_GROUP, nullptr},             // 19 BS_GROUPBOX
    {kButton, TEXT("1x"), 0x50000004, 189, 183, 40, 15, IDC_REPEAT_1X, &app.repeat1xRadio},       // 20
    {kButton, TEXT("3x"), 0x50000004, 189, 203, 40, 15, IDC_REPEAT_3X, &app.repeat3xRadio},       // 21
    {kButton, TEXT("5x"), 0x50000004, 189, 223, 40, 15, IDC_REPEAT_5X, &app.repeat5xRadio},       // 22
    {kButton, TEXT("Repeat"), 0x50000007, 181, 161, 55, 84, IDC_REPEAT_GROUP, nullptr},           // 23 BS_GROUPBOX
    {kComboBox, TEXT(""), 0x50000003, 4, 163, 114, 120, IDC_INSTRUMENT, &app.instrumentCombo},    // 24
};

void Create(HWND window, int row) {
    const ControlRow &c = kControls[row];
    HWND handle = CreateWindowExW(0, c.windowClass, c.caption, c.style, c.x, c.y, c.width, c.height, window,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(c.id)), app.instance, nullptr);
    if (c.handle) *c.handle = handle;
}

// Fills a combo box with a name list, selects the entry at `index` and tells the window, as a user's
// choice would.
void FillAndChoose(HWND window, HWND combo, WCHAR names[][NAME_LENGTH], int count, int index, int id) {
    for (int i = 0; i < count; ++i) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i]));
    SendMessageW(combo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(names[index]));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
}

}  // namespace

void CreateControls(HWND window) {
    app.tempoTextRect = RECT{4, 1, 236, 18};
    app.tuningCaptionRect = RECT{4, 79, 236, 96};
    app.webAddressRect = RECT{4, 248, 236, 265};

    Create(window, 0);
    SetScrollRange(app.tempoScrollBar, SB_CTL, 0, 210, FALSE);
    SetScrollPos(app.tempoScrollBar, SB_CTL, app.tempoPosition, FALSE);

    Create(window, 1);
    Create(window, 2);
    if (app.soundOn) SendMessageW(app.soundCheckBox, BM_SETCHECK, BST_CHECKED, 0);
    Create(window, 3);
    if (app.colorOn) SendMessageW(app.colorCheckBox, BM_SETCHECK, BST_CHECKED, 0);

    Create(window, 4);
    FillAndChoose(window, app.timeSignatureCombo, app.timeSignatureNames, app.timeSignatureCount,
                  app.timeSignatureIndex, IDC_TIME_SIGNATURE);

    for (int row = 5; row <= 22; ++row) Create(window, row);
    HWND delay = app.noteDelayMs == 2050   ? app.delay1sRadio
                 : app.noteDelayMs == 5050 ? app.delay3sRadio
                                           : app.delayNoneRadio;
    SendMessageW(delay, BM_SETCHECK, BST_CHECKED, 0);
    HWND repeat = app.repeatCount == 3   ? app.repeat3xRadio
                  : app.repeatCount == 5 ? app.repeat5xRadio
                                         : app.repeat1xRadio;
    SendMessageW(repeat, BM_SETCHECK, BST_CHECKED, 0);

    Create(window, 23);
    FillAndChoose(window, app.instrumentCombo, app.instrumentNames, app.instrumentCount, app.instrumentIndex,
                  IDC_INSTRUMENT);
}
