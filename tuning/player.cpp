// The note player: one note repeated, or every open string in turn ("All"), one delay apart.
//
// The Stop button's visibility is the playing state: shown from the first note until the sequence ends
// or is stopped. The last sound is never cut off by the player; it rings to its end.
#include "app/cadenzo.h"

namespace {

void Play(WORD sound) { PlaySoundW(MAKEINTRESOURCE(sound), app.instance, SND_RESOURCE | SND_ASYNC); }

void Start(int index, int allPosition) {
    app.noteIndex = index;
    app.notePlays = 1;
    app.allPosition = allPosition;
    Play(app.noteTable[index]);
    ShowWindow(app.stopButton, SW_SHOW);
    // Setting the running timer again restarts the player with this note.
    SetTimer(app.mainWindow, TIMER_NOTES, UINT(app.noteDelayMs), NoteTick);
}

void Finish() {
    KillTimer(app.mainWindow, TIMER_NOTES);
    ShowWindow(app.stopButton, SW_HIDE);
}

// The delay and repeat groups: each radio button's command and the value it chooses. The first row
// is also what any other command chooses.
struct RadioRow {
    int command;
    int value;
};
const RadioRow kDelayRows[3] = {
    {IDC_DELAY_NONE, 1050},  // "none"
    {IDC_DELAY_1S, 2050},    // "1 sec"
    {IDC_DELAY_3S, 5050},    // "3 sec"
};
const RadioRow kRepeatRows[3] = {
    {IDC_REPEAT_1X, 1},  // "1x"
    {IDC_REPEAT_3X, 3},  // "3x"
    {IDC_REPEAT_5X, 5},  // "5x"
};

// Checks the radio button of `command` in a group of three, unchecks the other two, and returns the
// value of its row.
int ChooseRadio(const RadioRow (&rows)[3], HWND first, HWND second, HWND third, int command) {
    const HWND group[3] = {first, second, third};
    int chosen = 0;
    for (int i = 0; i < 3; ++i)
        if (rows[i].command == command) chosen = i;
    for (int i = 0; i < 3; ++i) SendMessageW(group[i], BM_SETCHECK, i == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
    return rows[chosen].value;
}

}  // namespace

void PlayNote(int index) { Start(index, 0); }

void PlayAll() { Start(0, 1); }

void StopNotes() { Finish(); }

void SetNoteDelay(int command) {
    app.noteDelayMs = ChooseRadio(kDelayRows, app.delayNoneRadio, app.delay1sRadio, app.delay3sRadio, command);
    // A running sequence goes on at the new pace from now.
    if (IsWindowVisible(app.stopButton)) SetTimer(app.mainWindow, TIMER_NOTES, UINT(app.noteDelayMs), NoteTick);
}

void SetRepeatCount(int command) {
    app.repeatCount = ChooseRadio(kRepeatRows, app.repeat1xRadio, app.repeat3xRadio, app.repeat5xRadio, command);
}

void CALLBACK NoteTick(HWND, UINT, UINT_PTR, DWORD) {
    if (app.allPosition != 0) {
        if (app.notePlays >= app.repeatCount) {
            if (app.allPosition >= app.allCount) {
                Finish();
                return;
            }
            app.allPosition += 1;
            app.notePlays = 0;
            app.noteIndex += 1;
        }
    } else if (app.notePlays >= app.repeatCount) {
        Finish();
        return;
    }
    Play(app.noteTable[app.noteIndex]);
    app.notePlays += 1;
}
