// What each of the program's sounds must be: the figures the sound tests measure against.
// Written out here on their own; nothing is taken from the synthesizer's parameters.
#pragma once

#include <vector>

namespace soundcheck {

struct SoundFigures {
    int id;
    int samples;
    double peak_dbfs;
    bool fact;
};

inline const SoundFigures kSoundFigures[] = {
    {1001, 11077, -8.7, false}, {1002, 11025, -6.6, true},   {1003, 11025, -5.2, true},   {1004, 11025, -1.2, true},
    {1005, 11025, -6.5, true},  {1006, 11024, -1.5, true},   {1007, 11025, -3.5, true},   {1008, 11025, -5.4, true},
    {1009, 11025, -4.7, true},  {1010, 11025, -1.6, true},   {1011, 11025, -10.2, false}, {1012, 11025, -3.8, true},
    {1013, 11025, -8.0, true},  {1014, 11025, -11.9, false}, {1015, 11024, -7.6, true},   {1016, 11025, -3.8, true},
    {1017, 11025, -3.1, true},  {1018, 11025, -5.7, true},   {1019, 11025, -6.5, true},   {1020, 11025, -8.6, false},
    {1021, 11024, -7.2, true},  {1022, 11025, -5.2, true},   {1023, 11025, -5.2, true},   {1024, 11081, -8.5, false},
    {1025, 1204, -0.4, true},   {1026, 1143, -1.0, true},    {1027, 1123, -7.6, true},
};

// Harmonic make-up of a tuning note over 0.1 s to 0.95 s: the range of harmonics 1 to 6 in dB
// relative to the strongest, the ceiling for every higher one, and one higher harmonic that may
// stand out (with its own range).
struct Range {
    double low, high;
};

struct HarmonicKind {
    Range first_six[6];
    double higher_ceiling;
    int standout;  // 0: none
    Range standout_range;
};

inline const HarmonicKind kLowStrings = {
    {{0, 0}, {-16, -8}, {-8, -7}, {-19, -16}, {-23, -21}, {-23, -20}}, -27, 0, {0, 0}};
inline const HarmonicKind kOctaveLed = {
    {{-4, -2}, {0, 0}, {-14, -11}, {-15, -13}, {-21, -20}, {-21, -17}}, -23, 10, {-18, -15}};
inline const HarmonicKind kMiddle = {
    {{0, 0}, {-10, -9}, {-23, -19}, {-21, -20}, {-31, -28}, {-33, -27}}, -23, 0, {0, 0}};
inline const HarmonicKind kPure = {
    {{0, 0}, {-25, -15}, {-22, -16}, {-34, -24}, {-29, -21}, {-35, -30}}, -33, 0, {0, 0}};
// The violin's E is given as single figures; each is held to within 1 dB.
inline const HarmonicKind kViolinE = {
    {{0, 0}, {-4, -2}, {-17, -15}, {-12, -10}, {-27, -25}, {-43, -41}}, -49, 0, {0, 0}};

struct NoteFigures {
    int id;
    int midi;  // the note it is tuned to, equal-tempered with A4 (69) at 440 Hz
    const HarmonicKind *kind;
};

inline const NoteFigures kNoteFigures[] = {
    {1001, 33, &kLowStrings}, {1002, 45, &kOctaveLed},  {1003, 57, &kMiddle},     {1004, 69, &kPure},
    {1005, 59, &kMiddle},     {1006, 46, &kOctaveLed},  {1007, 58, &kMiddle},     {1008, 70, &kPure},
    {1009, 36, &kLowStrings}, {1010, 48, &kOctaveLed},  {1011, 38, &kLowStrings}, {1012, 50, &kOctaveLed},
    {1013, 62, &kMiddle},     {1014, 28, &kLowStrings}, {1015, 40, &kLowStrings}, {1016, 64, &kMiddle},
    {1017, 76, &kViolinE},    {1018, 43, &kLowStrings}, {1019, 55, &kOctaveLed},
};

// A chord: its notes, lowest first (MIDI numbers, A4 = 69), the note or notes that sound strongest
// (two of them lie within 1 dB of each other), and the level of other notes relative to the
// strongest, in dB.
struct NoteLevel {
    int midi;
    Range db;
};

struct ChordFigures {
    int id;
    std::vector<int> notes;
    std::vector<int> strongest;
    std::vector<NoteLevel> levels;
};

inline const ChordFigures kChordFigures[] = {
    // B-flat major: Bb2 D3 F3 Bb3 D4 F4 Bb4 D5; D4 strongest, Bb3, F4 and F3 within 3 dB of it
    {1020, {46, 50, 53, 58, 62, 65, 70, 74}, {62}, {{58, {-3, 0}}, {65, {-3, 0}}, {53, {-3, 0}}}},
    // C major: C2 G2 C3 E3 G3 C4 E4 G4 C5; C4 strongest, the others 9 to 15 dB below it
    {1021,
     {36, 43, 48, 52, 55, 60, 64, 67, 72},
     {60},
     {{36, {-15, -9}},
      {43, {-15, -9}},
      {48, {-15, -9}},
      {52, {-15, -9}},
      {55, {-15, -9}},
      {64, {-15, -9}},
      {67, {-15, -9}},
      {72, {-15, -9}}}},
    // D minor: A2 A3 D4 F4 A4 D5; A3 strongest, F4 6 dB and D4 9 dB below it (held to 1 dB)
    {1022, {45, 57, 62, 65, 69, 74}, {57}, {{65, {-6.5, -5.5}}, {62, {-9.5, -8.5}}}},
    // E major: E2 B2 E3 G#3 B3 E4 G#4 B4 E5; E4 strongest, E2 B2 E3 G#3 and E5 within 6 dB of it
    {1023,
     {40, 47, 52, 56, 59, 64, 68, 71, 76},
     {64},
     {{40, {-6, 0}}, {47, {-6, 0}}, {52, {-6, 0}}, {56, {-6, 0}}, {76, {-6, 0}}}},
    // G major: G2 B2 D3 B3 D4 G4 B4; B3 and G4 strongest, the others 11 to 16 dB below
    {1024,
     {43, 47, 50, 59, 62, 67, 71},
     {59, 67},
     {{43, {-16, -11}}, {47, {-16, -11}}, {50, {-16, -11}}, {62, {-16, -11}}, {71, {-16, -11}}}},
};

}  // namespace soundcheck
