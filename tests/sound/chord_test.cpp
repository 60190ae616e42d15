// The chords 1020-1024: which notes sound and how strongly, the upward strum, and the envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis.h"
#include "sound_figures.h"

namespace soundcheck {

void PrintTo(const ChordFigures &f, std::ostream *os) { *os << f.id; }

namespace {

// A note's level in a chord: its tone peak within 10 cents of the equal-tempered pitch, over the
// stretch where every string sounds.
double NoteAmplitude(const Signal &x, int midi) {
    return FindTonePeak(x, ToSample(0.20), ToSample(0.95), EqualTempered(midi), 10.0).amplitude;
}

// Half-level time of each note, in ms: its fundamental is followed through the strum by fitting it
// in 50 ms windows together with the nearby partials of all the notes.
std::vector<double> HalfLevelTimes(const Signal &x, const std::vector<int> &notes) {
    std::vector<double> times;
    for (int note : notes) {
        const double hz = EqualTempered(note);
        std::vector<double> others;
        for (int other : notes)
            for (int k = 1; k <= 8; ++k) {
                const double partial = k * EqualTempered(other);
                if ((other != note || k > 1) && std::abs(partial - hz) < 250.0) others.push_back(partial);
            }
        std::vector<double> track;
        for (int ms = 0; ms <= 300; ms += 2)
            track.push_back(FittedToneAmplitude(x, ms / 1000.0, ToSample(0.050), hz, others));
        const double loudest = *std::max_element(track.begin(), track.end());
        const auto half = std::find_if(track.begin(), track.end(), [&](double a) { return a >= 0.5 * loudest; });
        times.push_back(2.0 * (half - track.begin()));
    }
    return times;
}

std::string NoteName(int midi) {
    static const char *const kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return kNames[midi % 12] + std::to_string(midi / 12 - 1);
}

class ChordSound : public ::testing::TestWithParam<ChordFigures> {
protected:
    void SetUp() override {
        x = LoadSound(GetParam().id);
        ASSERT_GE(x.size(), 11000u) << SoundPath(GetParam().id);
    }
    Signal x;
};

TEST_P(ChordSound, SoundsItsNotesAndNoOthers) {
    const ChordFigures &f = GetParam();
    std::vector<double> amplitude;
    for (int note : f.notes) amplitude.push_back(NoteAmplitude(x, note));
    const double strongest = *std::max_element(amplitude.begin(), amplitude.end());
    for (size_t i = 0; i < f.notes.size(); ++i)
        EXPECT_GE(Db(amplitude[i] / strongest), -20.0) << NoteName(f.notes[i]) << " should sound";

    // Nothing sounds below the lowest note.
    for (int m = f.notes.front() - 12; m < f.notes.front(); ++m)
        EXPECT_LE(Db(NoteAmplitude(x, m) / strongest), -30.0) << NoteName(m) << " lies below the chord";

    // Within the chord's compass every other note is silent, unless a harmonic of a chord note
    // falls on it.
    for (int m = f.notes.front() + 1; m < f.notes.back(); ++m) {
        if (std::find(f.notes.begin(), f.notes.end(), m) != f.notes.end()) continue;
        bool on_a_harmonic = false;
        for (int note : f.notes)
            for (int k = 1; k <= 8; ++k)
                on_a_harmonic = on_a_harmonic || std::abs(Cents(k * EqualTempered(note), EqualTempered(m))) < 40.0;
        if (!on_a_harmonic) {
            EXPECT_LE(Db(NoteAmplitude(x, m) / strongest), -20.0) << NoteName(m) << " is not in the chord";
        }
    }
}

TEST_P(ChordSound, HasItsStrongestNotes) {
    const ChordFigures &f = GetParam();
    double strongest = 0.0;
    for (int note : f.notes) strongest = std::max(strongest, NoteAmplitude(x, note));
    // The strongest notes lead (two strongest lie within 1 dB of each other).
    for (int note : f.strongest)
        EXPECT_GE(Db(NoteAmplitude(x, note) / strongest), -1.0) << NoteName(note) << " should be strongest";
    for (const NoteLevel &level : f.levels) {
        const double db = Db(NoteAmplitude(x, level.midi) / strongest);
        EXPECT_GE(db, level.db.low - 0.5) << NoteName(level.midi);
        EXPECT_LE(db, level.db.high + 0.5) << NoteName(level.midi);
    }
}

// The pitch of one string of a chord, in cents from its equal-tempered note. It is read from the
// string's harmonic (1 to 8) that lies farthest from every partial of the other strings, where
// nothing else pulls the peak, over the stretch where every string sounds; `gap_hz` tells how far
// that harmonic lies from the nearest foreign partial.
double ChordNoteCents(const Signal &x, const std::vector<int> &notes, int note, double *gap_hz) {
    const double hz = EqualTempered(note);
    int best_k = 1;
    double best_gap = -1.0;
    for (int k = 1; k <= 8 && k * hz < 4500.0; ++k) {
        double gap = 1e9;
        for (int other : notes)
            for (int j = 1; j <= 16; ++j)
                if (other != note) gap = std::min(gap, std::abs(j * EqualTempered(other) - k * hz));
        if (gap > best_gap) best_gap = gap, best_k = k;
    }
    *gap_hz = best_gap;
    const TonePeak peak = FindTonePeak(x, ToSample(0.20), ToSample(0.95), best_k * hz, 10.0);
    return Cents(peak.hz / best_k, hz);
}

// Every string of a chord is in tune, as the single notes are: within 0.3 cents. A string whose
// every harmonic lies within 2 Hz of another string's partial (an octave double, or a fifth, which
// beats with the lower string's third harmonic 2 cents away) cannot be read apart in the 0.75 s the
// chord holds all its strings; the lower string it doubles is read instead.
TEST_P(ChordSound, IsInTune) {
    const ChordFigures &f = GetParam();
    int read = 0;
    for (int note : f.notes) {
        double gap_hz = 0.0;
        const double cents = ChordNoteCents(x, f.notes, note, &gap_hz);
        if (gap_hz < 2.0) continue;
        ++read;
        EXPECT_NEAR(cents, 0.0, 0.3) << NoteName(note) << ", " << gap_hz << " Hz from another string";
    }
    EXPECT_GE(read, 3) << "strings that could be read apart";
}

TEST_P(ChordSound, IsStrummedFromTheLowestNoteUp) {
    const ChordFigures &f = GetParam();
    const std::vector<double> half = HalfLevelTimes(x, f.notes);
    EXPECT_GE(half.front(), 30.0);
    EXPECT_LE(half.front(), 40.0);
    EXPECT_GE(half.back(), 120.0);
    EXPECT_LE(half.back(), 180.0);
    for (size_t i = 1; i < half.size(); ++i)
        EXPECT_GT(half[i], half[i - 1]) << NoteName(f.notes[i]) << " should come after " << NoteName(f.notes[i - 1]);
}

TEST_P(ChordSound, PeaksAfterTheStrumAndStopsWhileSounding) {
    const int n = static_cast<int>(x.size());
    // Levels in 50 ms windows, long enough to hold several periods of the lowest string.
    std::vector<double> level;
    for (int ms = 0; ToSample(ms / 1000.0) < n; ++ms) level.push_back(WindowRms(x, ms / 1000.0, ToSample(0.050)));
    const auto loudest = std::max_element(level.begin(), level.end());
    const int loudest_ms = static_cast<int>(loudest - level.begin());
    EXPECT_GE(loudest_ms, 150);
    EXPECT_LE(loudest_ms, 270);

    // Then it fades steadily, to 14-18 dB below its loudest in the last 50 ms, and stops abruptly.
    double worst_rise = -100.0;
    for (int ms = loudest_ms + 50; ms + 50 < static_cast<int>(level.size()) - 25; ++ms)
        worst_rise = std::max(worst_rise, Db(level[ms + 50] / level[ms]));
    EXPECT_LE(worst_rise, 1.0);
    const double last_50 = Rms(x, n - ToSample(0.050), n);
    EXPECT_LE(Db(last_50 / *loudest), -14.0);
    EXPECT_GE(Db(last_50 / *loudest), -18.0);
    EXPECT_GE(Db(Rms(x, n - ToSample(0.010), n) / last_50), -3.0);
}

INSTANTIATE_TEST_SUITE_P(Chords, ChordSound, ::testing::ValuesIn(kChordFigures),
                         [](const ::testing::TestParamInfo<ChordFigures> &info) {
                             return std::to_string(info.param.id);
                         });

}  // namespace
}  // namespace soundcheck
