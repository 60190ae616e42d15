// The beat display panel: three coloured text bars and the logo.
//
// While the metronome runs with colour on, every bar takes the colour of the current beat and each
// paint advances the beat, so any repaint moves it on, not only the one a tick asks for.
#include "app/cadenzo.h"

const WCHAR kWebAddress[] = TEXT("www.lyrebay.com");

namespace {

const WCHAR kTempoFormat[] = TEXT("Metronome Speed = %ld Beats/Minute");
const WCHAR kTuningCaption[] = TEXT("Tuning Notes");

constexpr COLORREF kBlue = 0xC00000;         // stopped, colour off, even plain beats
constexpr COLORREF kVeryDarkRed = 0x000040;  // the strong accent
constexpr COLORREF kRed = 0x0000C0;          // the secondary accent
constexpr COLORREF kLightBlue = 0xFF8080;    // odd plain beats
constexpr COLORREF kWhite = 0xFFFFFF;

COLORREF BeatColor() {
    if (!app.colorOn || app.metronomeBeat == 0) return kBlue;
    if (app.metronomeBeat == app.accentBeat) return kVeryDarkRed;
    if (app.metronomeBeat == app.secondaryAccentBeat) return kRed;
    return app.metronomeBeat % 2 == 1 ? kLightBlue : kBlue;
}

void DrawBar(HDC dc, RECT *rect, const WCHAR *text, int length) {
    Rectangle(dc, rect->left, rect->top, rect->right, rect->bottom);
    DrawTextW(dc, text, length, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

void PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);

    COLORREF color = BeatColor();
    SetBkColor(dc, color);
    HBRUSH brush = CreateSolidBrush(color);
    // The colour was chosen from the beat before this advance.
    if (app.colorOn && app.metronomeBeat != 0 && app.beatsPerMeasure != 0) {
        app.metronomeBeat += 1;
        if (app.metronomeBeat > app.beatsPerMeasure) app.metronomeBeat = 1;
    }
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    SetTextColor(dc, kWhite);

    WCHAR tempoText[64];
    int tempoLength = wsprintfW(tempoText, kTempoFormat, LONG(app.tempoPosition + 30));
    DrawBar(dc, &app.tempoTextRect, tempoText, tempoLength);
    DrawBar(dc, &app.tuningCaptionRect, kTuningCaption, 12);
    DrawBar(dc, &app.webAddressRect, kWebAddress, 15);

    HBITMAP logo = LoadBitmapW(app.instance, MAKEINTRESOURCE(IDB_LOGO));
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ oldBitmap = SelectObject(memory, logo);
    BitBlt(dc, 4, 213, 32, 32, memory, 0, 0, SRCCOPY);

    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
    DeleteObject(logo);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    EndPaint(window, &paint);
}
