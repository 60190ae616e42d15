// The parameters of the program's 27 sounds, one commented row a sound.
//
// Tuning notes and chords are plucked strings made by additive synthesis: every harmonic rises
// from the pluck and dies away on its own, the higher ones sooner, so a note is bright at the pluck
// and mellows as it fades. The clicks are short drum-like sounds built from noise bursts, damped
// resonances and, for the strong accent, an overdriven falling tone.
#pragma once

namespace sounds {

constexpr int kSampleRate = 11025;
constexpr int kTimbreHarmonics = 12;
constexpr int kMaxChordNotes = 9;
constexpr int kMaxTickModes = 3;

// Harmonic make-up of a plucked note: the level of harmonics 1 to 12 in dB relative to the
// strongest, as heard over the body of the note (0.1 s to 0.95 s); past the 12th each harmonic lies
// `rolloff_db` below the one before. Harmonics above 4.9 kHz are left out.
struct Timbre {
    float level_db[kTimbreHarmonics];
    float rolloff_db;
};

enum TimbreId {
    kLowString,     // heavy low strings: a strong fundamental, an even 3rd, little above the 6th
    kOctaveString,  // wound middle strings: the octave above the fundamental leads, a bright 10th
    kMidString,     // middle strings: fundamental, a softer octave, a quiet top
    kHighString,    // high strings: nearly a pure fundamental
    kTopString,     // the violin's E: strong 2nd and 4th, nothing above the 5th
    kChordFull,     // chord notes: fundamental with a gentle series of overtones
    kChordHollow,   // chord notes under a doubled octave: the 2nd harmonic held back
    kTimbreCount
};

inline constexpr Timbre kTimbres[kTimbreCount] = {
    {{0, -11.8f, -7.2f, -17.1f, -21.5f, -20.9f, -29, -31, -33, -35, -37, -39}, 2.0f},  // kLowString
    {{-3, 0, -12.2f, -13.8f, -19.9f, -18.5f, -25, -26, -26, -15.6f, -27, -29}, 2.0f},  // kOctaveString
    {{0, -9.4f, -20.7f, -20.1f, -29.1f, -29.4f, -26, -28, -31, -34, -36, -38}, 2.5f},  // kMidString
    {{0, -19.8f, -18.7f, -28.6f, -25, -31.8f, -36, -38, -41, -44, -47, -50}, 3.0f},    // kHighString
    {{0, -2.8f, -15.7f, -10.5f, -25.4f, -41.2f, -54, -60, -66, -72, -78, -84}, 6.0f},  // kTopString
    {{0, -14, -18, -24, -28, -30, -34, -36, -38, -40, -42, -44}, 2.0f},                // kChordFull
    {{0, -30, -18, -32, -30, -36, -38, -40, -42, -44, -46, -48}, 2.0f},                // kChordHollow
};

// How a plucked string sounds over time. The pluck comes after `onset_ms` of silence with a
// short burst of pick noise; the fundamental rises with time constant `attack_ms` (the harmonics
// faster); the note then fades at `early_db_s`, easing towards `late_db_s` with time constant
// `knee_s`. Harmonic k fades `bright_db_s` * (k - 1) faster than the fundamental.
struct Envelope {
    float onset_ms;
    float attack_ms;
    float early_db_s;
    float late_db_s;
    float knee_s;
    float bright_db_s;
    float pick_db;  // level of the pick noise relative to the strongest harmonic
};

// A single tuning note at its equal-tempered pitch: `midi` is its MIDI number (A4 = 69 at 440 Hz).
struct Note {
    int midi;
    TimbreId timbre;
    Envelope envelope;
};

// One string of a chord: the note (MIDI number, A4 = 69 at 440 Hz, equal-tempered), when the strum
// reaches it, and its level relative to the chord's other strings.
struct ChordNote {
    int midi;
    float onset_ms;
    float level_db;
    TimbreId timbre;
};

// A chord strummed from its lowest string upward; every string shares the chord's envelope
// (its onset is the string's own).
struct Chord {
    ChordNote notes[kMaxChordNotes];
    int count;
    Envelope envelope;
};

// The strong-accent thump: a low noise burst, then a sine whose period lengthens from
// `period_start_ms` to `period_end_ms` over `glide_ms`, driven `drive` times past the clip level
// into a square-like wave, held for `hold_ms` after the burst and then dying away with time
// constant `ring_ms` into an unclipped low ringing.
struct Thump {
    float burst_ms;
    float burst_cutoff_hz;
    float clip;  // flat tops of the clipped tone, in sample units
    float drive;
    float period_start_ms;
    float period_end_ms;
    float glide_ms;
    float hold_ms;
    float ring_ms;
};

// A damped resonance of a tick.
struct Mode {
    float hz;
    float level;
    float decay_ms;
};

// A tick: the strike, a burst of noise (band-limited, held within `noise_clip`,
// dying with `noise_decay_ms`), and up to three damped resonances that rise over `attack_ms` and
// start to die `hold_ms` after the onset; from `fade_at_ms` on the whole sound fades with the extra
// time constant `fade_ms`. The tick is drawn `onset_ms` into its sound (times are counted from the
// sound's start) and then moved to the front, its leading silence appended at the end: the attack
// begins at the first sample, so the beat is heard where the sound starts, as the strong accent is.
struct Tick {
    float onset_ms;
    float attack_ms;
    float hold_ms;
    float noise_level;
    float noise_clip;
    float noise_highpass_hz;
    float noise_lowpass_hz;
    float noise_decay_ms;
    Mode modes[kMaxTickModes];
    float fade_at_ms;
    float fade_ms;
};

// The tuning notes, in the order of their sound numbers.
inline constexpr Note kNotes[] = {
    // midi timbre         onset attack early late  knee   bright pick
    {33, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1001 A1
    {45, kOctaveString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},   // 1002 A2
    {57, kMidString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1003 A3
    {69, kHighString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},     // 1004 A4
    {59, kMidString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1005 B3
    {46, kOctaveString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},   // 1006 Bb2
    {58, kMidString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1007 Bb3
    {70, kHighString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},     // 1008 Bb4
    {36, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1009 C2
    {48, kOctaveString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},   // 1010 C3
    {38, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1011 D2
    {50, kOctaveString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},   // 1012 D3
    {62, kMidString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1013 D4
    {28, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1014 E1
    {40, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1015 E2
    {64, kMidString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1016 E4
    {76, kTopString, {11, 12, 106, 20.6f, 0.15f, 2.0f, -14}},  // 1017 E5, fades fastest
    {43, kLowString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},      // 1018 G2
    {55, kOctaveString, {11, 12, 40, 14, 0.25f, 2.0f, -14}},   // 1019 G3
};

// The chords; strings listed lowest first as the strum reaches them.
inline constexpr Chord kChords[] = {
    // 1020 B-flat major: Bb2 D3 F3 Bb3 D4 F4 Bb4 D5, D4 strongest with Bb3, F4 and F3 close
    {{{46, 18, -8, kChordHollow},
      {50, 55, -8, kChordHollow},
      {53, 68, -1.2f, kChordHollow},
      {58, 81, -1.2f, kChordHollow},
      {62, 94, 0, kChordHollow},
      {65, 108, -2.2f, kChordFull},
      {70, 121, -8, kChordFull},
      {74, 135, -6, kChordFull}},
     8,
     {0, 25, 20, 20, 0.3f, 2.0f, -20}},
    // 1021 C major: C2 G2 C3 E3 G3 C4 E4 G4 C5, C4 strongest, the others 9-15 dB below
    {{{36, 18, -12, kChordHollow},
      {43, 55, -12, kChordHollow},
      {48, 66, -12, kChordHollow},
      {52, 78, -12, kChordHollow},
      {55, 89, -12, kChordHollow},
      {60, 101, 0, kChordHollow},
      {64, 112, -12, kChordFull},
      {67, 124, -12, kChordFull},
      {72, 135, -13.5f, kChordFull}},
     9,
     {0, 25, 20, 20, 0.3f, 2.0f, -20}},
    // 1022 D minor: A2 A3 D4 F4 A4 D5, A3 strongest, F4 6 dB and D4 9 dB below it; the bass
    // string first, then the rest in one sweep
    {{{45, 18, -8, kChordHollow},
      {57, 90, 0, kChordHollow},
      {62, 101, -9.3f, kChordHollow},
      {65, 113, -6.5f, kChordFull},
      {69, 124, -10, kChordFull},
      {74, 135, -10, kChordFull}},
     6,
     {0, 25, 20, 20, 0.3f, 2.0f, -20}},
    // 1023 E major: E2 B2 E3 G#3 B3 E4 G#4 B4 E5, E4 strongest, E2 B2 E3 G#3 E5 within 6 dB
    {{{40, 18, -3, kChordHollow},
      {47, 55, -3, kChordHollow},
      {52, 66, -3, kChordHollow},
      {56, 78, -3, kChordHollow},
      {59, 89, -9, kChordHollow},
      {64, 101, 0, kChordHollow},
      {68, 112, -9, kChordFull},
      {71, 124, -9, kChordFull},
      {76, 135, -3, kChordFull}},
     9,
     {0, 25, 20, 20, 0.3f, 2.0f, -20}},
    // 1024 G major: G2 B2 D3 B3 D4 G4 B4, B3 and G4 strongest together, the others 11-16 dB below
    {{{43, 18, -13.5f, kChordFull},
      {47, 55, -13.5f, kChordHollow},
      {50, 71, -13.5f, kChordHollow},
      {59, 87, 0, kChordHollow},
      {62, 103, -13.5f, kChordFull},
      {67, 119, 0, kChordFull},
      {71, 135, -13.5f, kChordFull}},
     7,
     {0, 25, 20, 20, 0.3f, 2.0f, -20}},
};

// The strong-accent click, 1025.
inline constexpr Thump kThumps[] = {
    // burst cutoff clip    drive period start/end glide hold ring
    {3.5f, 700, 26170, 2.0f, 9.7f, 15.5f, 45, 48, 16},  // 1025 heavy thump, 100 Hz falling to 65 Hz
};

// The other two clicks, 1026 and 1027.
inline constexpr Tick kTicks[] = {
    // onset attack hold; noise level, clip, high-pass, low-pass, decay; modes (hz, level, decay);
    // fade at, fade time constant
    {9,
     2.0f,
     2.2f,
     3.0f,
     0.36f,
     900,
     5400,
     2.5f,  // 1026 sharp tick
     {{200, 1.0f, 17}, {1250, 0.44f, 12.4f}, {0, 0, 0}},
     35.7f,
     15.2f},  //   with a woody body
    {8,
     0.92f,
     0.94f,
     1.0f,
     0.22f,
     610,
     3920,
     3.6f,  // 1027 soft bright tick
     {{1494, 0.14f, 40.3f}, {2114, 0.04f, 24.8f}, {3305, 0.13f, 26.8f}},
     50.9f,
     13.8f},
};

// Every sound: its number, length in samples, peak level, whether its file carries a "fact"
// chunk, and the row of the table above that makes it.
enum class Kind { kNote, kChord, kThump, kTick };

struct Sound {
    int id;
    int samples;
    float peak_dbfs;
    bool fact;
    Kind kind;
    int row;
};

inline constexpr Sound kSounds[] = {
    {1001, 11077, -8.7f, false, Kind::kNote, 0},    // Bass "A2"
    {1002, 11025, -6.6f, true, Kind::kNote, 1},     // Concert "A1", Guitar "A2"
    {1003, 11025, -5.2f, true, Kind::kNote, 2},     // Concert "A2", Cello "A4"
    {1004, 11025, -1.2f, true, Kind::kNote, 3},     // Concert "A3", Viola "A4", Violin "A3"
    {1005, 11025, -6.5f, true, Kind::kNote, 4},     // Guitar "B5"
    {1006, 11024, -1.5f, true, Kind::kNote, 5},     // Concert "Bb1"
    {1007, 11025, -3.5f, true, Kind::kNote, 6},     // Concert "Bb2"
    {1008, 11025, -5.4f, true, Kind::kNote, 7},     // Concert "Bb3"
    {1009, 11025, -4.7f, true, Kind::kNote, 8},     // Cello "C1"
    {1010, 11025, -1.6f, true, Kind::kNote, 9},     // Viola "C1"
    {1011, 11025, -10.2f, false, Kind::kNote, 10},  // Bass "D3"
    {1012, 11025, -3.8f, true, Kind::kNote, 11},    // Guitar "D3", Cello "D3"
    {1013, 11025, -8.0f, true, Kind::kNote, 12},    // Viola "D3", Violin "D2"
    {1014, 11025, -11.9f, false, Kind::kNote, 13},  // Bass "E1"
    {1015, 11024, -7.6f, true, Kind::kNote, 14},    // Guitar "E1"
    {1016, 11025, -3.8f, true, Kind::kNote, 15},    // Guitar "E6"
    {1017, 11025, -3.1f, true, Kind::kNote, 16},    // Violin "E4"
    {1018, 11025, -5.7f, true, Kind::kNote, 17},    // Bass "G4", Cello "G2"
    {1019, 11025, -6.5f, true, Kind::kNote, 18},    // Guitar "G4", Viola "G2", Violin "G1"
    {1020, 11025, -8.6f, false, Kind::kChord, 0},   // "Bb maj"
    {1021, 11024, -7.2f, true, Kind::kChord, 1},    // "C maj"
    {1022, 11025, -5.2f, true, Kind::kChord, 2},    // "D min"
    {1023, 11025, -5.2f, true, Kind::kChord, 3},    // "E maj"
    {1024, 11081, -8.5f, false, Kind::kChord, 4},   // "G maj"
    {1025, 1204, -0.4f, true, Kind::kThump, 0},     // strong accent
    {1026, 1143, -1.0f, true, Kind::kTick, 0},      // secondary accent, every beat without a signature
    {1027, 1123, -7.6f, true, Kind::kTick, 1},      // the other beats
};

}  // namespace sounds
