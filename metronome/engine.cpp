// The metronome: tempo, start and stop, time signatures and accents, the clicks.
//
// The metronome runs while the start/stop button reads "Stop Metronome"; the caption is the only
// running flag. Each tick of TIMER_METRONOME plays the click the current beat calls for and, with colour
// on, asks for a repaint, which shows the beat's colour and advances the beat (see panel.cpp).
#include "app/cadenzo.h"

namespace {

const WCHAR kStartCaption[] = TEXT("Start Metronome");
const WCHAR kStopCaption[] = TEXT("Stop Metronome");
constexpr int kMaxPosition = 210;

// What each time signature sets, tried in this order; any other name ("None") gives 2, 0, 0.
struct TimeSignature {
    const WCHAR *name;
    int beatsPerMeasure;
    int accentBeat;
    int secondaryAccentBeat;
};
const TimeSignature kTimeSignatures[] = {
    {TEXT("4/4"), 4, 1, 3}, {TEXT("3/4"), 3, 1, 0}, {TEXT("2/4"), 2, 1, 2},
    {TEXT("6/8"), 6, 1, 4}, {TEXT("5/4"), 5, 1, 4}, {TEXT("7/8"), 7, 1, 5},
};

UINT BeatInterval() { return UINT(60000 / (app.tempoPosition + 30)); }

bool IsRunning() {
    WCHAR caption[42];
    GetWindowTextW(app.startStopButton, caption, 41);
    return TextEquals(caption, kStopCaption);
}

}  // namespace

void OnTempoScroll(HWND window, int scrollCode, int thumbPosition) {
    switch (scrollCode) {
    case SB_LINELEFT: app.tempoPosition -= 1; break;
    case SB_LINERIGHT: app.tempoPosition += 1; break;
    case SB_PAGELEFT: app.tempoPosition -= 10; break;
    case SB_PAGERIGHT: app.tempoPosition += 10; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: app.tempoPosition = thumbPosition; break;
    case SB_LEFT: app.tempoPosition = 0; break;
    case SB_RIGHT: app.tempoPosition = kMaxPosition; break;
    default: break;
    }
    if (app.tempoPosition < 0) app.tempoPosition = 0;
    if (app.tempoPosition > kMaxPosition) app.tempoPosition = kMaxPosition;

    SetScrollPos(app.tempoScrollBar, SB_CTL, app.tempoPosition, TRUE);
    InvalidateRect(window, &app.tempoTextRect, FALSE);
    // A running metronome takes the new interval at once; the beat count carries on.
    if (IsRunning()) {
        KillTimer(window, TIMER_METRONOME);
        SetTimer(window, TIMER_METRONOME, BeatInterval(), MetronomeTick);
    }
}

void OnStartStop(HWND window) {
    if (!IsRunning()) {
        // The first click, for beat 1, comes one interval after the start.
        app.metronomeBeat = 1;
        SetTimer(window, TIMER_METRONOME, BeatInterval(), MetronomeTick);
        SetWindowTextW(app.startStopButton, kStopCaption);
    } else {
        KillTimer(window, TIMER_METRONOME);
        SetWindowTextW(app.startStopButton, kStartCaption);
        app.metronomeBeat = 0;
        InvalidateRect(window, nullptr, FALSE);  // the bars return to blue
    }
}

// Sound and colour can each be switched off only while the other is on.
void OnSoundToggle() {
    if (app.soundOn && app.colorOn) {
        SendMessageW(app.soundCheckBox, BM_SETCHECK, BST_UNCHECKED, 0);
        app.soundOn = 0;
    } else {
        SendMessageW(app.soundCheckBox, BM_SETCHECK, BST_CHECKED, 0);
        app.soundOn = 1;
    }
}

void OnColorToggle(HWND window) {
    if (app.colorOn && app.soundOn) {
        SendMessageW(app.colorCheckBox, BM_SETCHECK, BST_UNCHECKED, 0);
        app.colorOn = 0;
        if (app.metronomeBeat > 0) InvalidateRect(window, nullptr, FALSE);
    } else {
        SendMessageW(app.colorCheckBox, BM_SETCHECK, BST_CHECKED, 0);
        app.colorOn = 1;
    }
}

void OnTimeSignatureChosen() {
    WCHAR text[41];
    GetWindowTextW(app.timeSignatureCombo, text, 40);
    for (int i = 0; i < app.timeSignatureCount; ++i) {
        if (TextEquals(app.timeSignatureNames[i], text)) {
            app.timeSignatureIndex = i;
            break;
        }
    }
    // The next tick uses the new accents; the beat number carries on until the next advance wraps it.
    const WCHAR *name = app.timeSignatureNames[app.timeSignatureIndex];
    app.beatsPerMeasure = 2;
    app.accentBeat = 0;
    app.secondaryAccentBeat = 0;
    for (const TimeSignature &signature : kTimeSignatures) {
        if (TextEquals(name, signature.name)) {
            app.beatsPerMeasure = signature.beatsPerMeasure;
            app.accentBeat = signature.accentBeat;
            app.secondaryAccentBeat = signature.secondaryAccentBeat;
            break;
        }
    }
}

void CALLBACK MetronomeTick(HWND, UINT, UINT_PTR, DWORD) {
    if (app.soundOn) {
        int sound = IDW_CLICK_SECONDARY;
        if (app.metronomeBeat == app.accentBeat)
            sound = IDW_CLICK_STRONG;
        else if (app.metronomeBeat != app.secondaryAccentBeat && app.accentBeat != 0)
            sound = IDW_CLICK_PLAIN;
        PlaySoundW(MAKEINTRESOURCE(sound), app.instance, SND_RESOURCE | SND_ASYNC);
    }
    if (app.colorOn) {
        InvalidateRect(app.mainWindow, nullptr, FALSE);  // the repaint shows the beat and advances it
    } else if (app.beatsPerMeasure != 0 && app.metronomeBeat != 0) {
        app.metronomeBeat += 1;
        if (app.metronomeBeat > app.beatsPerMeasure) app.metronomeBeat = 1;
    }
}
