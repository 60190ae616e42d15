// The instrument catalogue: the captions and sounds of the eight note buttons for each instrument.
#include "app/cadenzo.h"

namespace {

struct Instrument {
    const WCHAR *name;
    const WCHAR *captions[8];
    WORD sounds[8];
    int allCount;  // the open strings that "All" plays, from the lowest
    bool showAll;
};

// For the strings, the number in a caption counts the strings from the lowest; for "Concert" it counts
// octaves of the band tuning notes A and B-flat.
const Instrument kInstruments[] = {
    {TEXT("Concert"),
     {TEXT("A1"), TEXT("A2"), TEXT("A3"), TEXT("D min"), TEXT("Bb1"), TEXT("Bb2"), TEXT("Bb3"), TEXT("Bb maj")},
     {1002, 1003, 1004, 1022, 1006, 1007, 1008, 1020},
     6,
     false},
    {TEXT("Guitar"),
     {TEXT("E1"), TEXT("A2"), TEXT("D3"), TEXT("G4"), TEXT("B5"), TEXT("E6"), TEXT("G maj"), TEXT("E maj")},
     {1015, 1002, 1012, 1019, 1005, 1016, 1024, 1023},
     6,
     true},
    {TEXT("Bass"),
     {TEXT("E1"), TEXT("A2"), TEXT("D3"), TEXT("G4"), TEXT("D min"), TEXT("C maj"), TEXT("G maj"), TEXT("E maj")},
     {1014, 1001, 1011, 1018, 1022, 1021, 1024, 1023},
     4,
     true},
    {TEXT("Cello"),
     {TEXT("C1"), TEXT("G2"), TEXT("D3"), TEXT("A4"), TEXT("D min"), TEXT("C maj"), TEXT("G maj"), TEXT("E maj")},
     {1009, 1018, 1012, 1003, 1022, 1021, 1024, 1023},
     4,
     true},
    {TEXT("Viola"),
     {TEXT("C1"), TEXT("G2"), TEXT("D3"), TEXT("A4"), TEXT("D min"), TEXT("C maj"), TEXT("G maj"), TEXT("E maj")},
     {1010, 1019, 1013, 1004, 1022, 1021, 1024, 1023},
     4,
     true},
    {TEXT("Violin"),
     {TEXT("G1"), TEXT("D2"), TEXT("A3"), TEXT("E4"), TEXT("D min"), TEXT("C maj"), TEXT("G maj"), TEXT("E maj")},
     {1019, 1013, 1004, 1017, 1022, 1021, 1024, 1023},
     4,
     true},
};

}  // namespace

void OnInstrumentChosen() {
    WCHAR text[41];
    GetWindowTextW(app.instrumentCombo, text, 40);
    for (int i = 0; i < int(sizeof kInstruments / sizeof kInstruments[0]); ++i) {
        const Instrument &instrument = kInstruments[i];
        if (!TextEquals(text, instrument.name)) continue;
        // Notes still repeating take the sound now at their button's place.
        app.instrumentIndex = i;
        for (int k = 0; k < 8; ++k) {
            SetWindowTextW(app.noteButtons[k], instrument.captions[k]);
            app.noteTable[k] = instrument.sounds[k];
        }
        app.allCount = instrument.allCount;
        ShowWindow(app.allButton, instrument.showAll ? SW_SHOW : SW_HIDE);
        return;
    }
}
