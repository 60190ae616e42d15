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

// Checks the chosen radio button of a group of three and unchecks the other two.
void CheckOne(HWND chosen, HWND a, HWND b, HWND c) {
    const HWND group[] = {a, b, c};
    for (HWND radio : group) SendMessageW(radio, BM_SETCHECK, radio == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

void PlayNote(int index) { Start(index, 0); }

void PlayAll() { Start(0, 1); }

void StopNotes() { Finish(); }

void SetNoteDelay(int command) {
    HWND chosen = command == IDC_DELAY_1S   ? app.delay1sRadio
                  : command == IDC_DELAY_3S ? app.delay3sRadio
                                            : app.delayNoneRadio;
    CheckOne(chosen, app.delayNoneRadio, app.delay1sRadio, app.delay3sRadio);
    app.noteDelayMs = command == IDC_DELAY_1S ? 2050 : command == IDC_DELAY_3S ? 5050 : 1050;
    // A running sequence goes on at the new pace from now.
    if (IsWindowVisible(app.stopButton)) SetTimer(app.mainWindow, TIMER_NOTES, UINT(app.noteDelayMs), NoteTick);
}

void SetRepeatCount(int command) {
    HWND chosen = command == IDC_REPEAT_3X   ? app.repeat3xRadio
                  : command == IDC_REPEAT_5X ? app.repeat5xRadio
                                             : app.repeat1xRadio;
    CheckOne(chosen, app.repeat1xRadio, app.repeat3xRadio, app.repeat5xRadio);
    app.repeatCount = command == IDC_REPEAT_3X ? 3 : command == IDC_REPEAT_5X ? 5 : 1;
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
