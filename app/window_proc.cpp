// The main window procedure: every user action reaches the program here and is handed on.
#include "app/cadenzo.h"

namespace {

// Routes a command by its identifier; false for identifiers that are not the program's.
bool OnCommand(HWND window, WPARAM wParam) {
    int id = LOWORD(wParam);
    int notification = HIWORD(wParam);
    switch (id) {
    case IDM_EXIT:
        // Leave as the platform closes a window: deactivate, then close, which destroys it.
        SendMessageW(window, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
        SendMessageW(window, WM_CLOSE, 0, 0);
        return true;
    case IDC_TIME_SIGNATURE:
        if (notification == CBN_SELENDOK) OnTimeSignatureChosen();
        return true;
    case IDC_START_STOP: OnStartStop(window); return true;
    case IDC_SOUND: OnSoundToggle(); return true;
    case IDC_COLOR: OnColorToggle(window); return true;
    case IDM_ABOUT_OLD:
    case IDM_ABOUT: ShowAbout(window); return true;
    case IDC_NOTE_1:
    case IDC_NOTE_1 + 1:
    case IDC_NOTE_1 + 2:
    case IDC_NOTE_1 + 3:
    case IDC_NOTE_1 + 4:
    case IDC_NOTE_1 + 5:
    case IDC_NOTE_1 + 6:
    case IDC_NOTE_8: PlayNote(id - IDC_NOTE_1); return true;
    case IDC_STOP: StopNotes(); return true;
    case IDC_ALL: PlayAll(); return true;
    case IDC_DELAY_NONE:
    case IDC_DELAY_1S:
    case IDC_DELAY_3S: SetNoteDelay(id); return true;
    case IDC_REPEAT_1X:
    case IDC_REPEAT_3X:
    case IDC_REPEAT_5X: SetRepeatCount(id); return true;
    case IDC_INSTRUMENT:
        if (notification == CBN_SELENDOK) OnInstrumentChosen();
        return true;
    case IDM_HELP_OLD:
    case IDM_HELP: ShowHelp(window); return true;
    default: return false;
    }
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateMenuBar(window);
        CreateControls(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: PaintMainWindow(window); return 0;
    case WM_HELP: OpenHelpViewer(); return 0;
    case WM_COMMAND:
        if (OnCommand(window, wParam)) return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_HSCROLL: OnTempoScroll(window, LOWORD(wParam), HIWORD(wParam)); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
