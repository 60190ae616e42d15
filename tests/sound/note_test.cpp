// The tuning notes 1001-1019: pitch and its steadiness, the plucked-string envelope, and the
// harmonic make-up of each kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis.h"
#include "sound_figures.h"

namespace soundcheck {

void PrintTo(const NoteFigures &f, std::ostream *os) { *os << f.id; }

namespace {

// The envelope of a note as heard: RMS in windows of whole periods (at least 10 ms) centred on
// each millisecond, relative to the loudest window.
struct NoteEnvelope {
    double silence_ms;     // until the first sample reaches 1 % of the peak
    double within_6db_ms;  // first time the level comes within 6 dB of its loudest
    double loudest_ms;
    double at_250ms_db, at_500ms_db;
    double last_50ms_db;    // RMS of the last 50 ms
    double last_window_db;  // the final window, relative to the last 50 ms: the note stops abruptly
    double worst_rise_db;   // largest rise over 20 ms once the fade has begun (50 ms after the loudest)
};

NoteEnvelope MeasureEnvelope(const Signal &x, double hz) {
    const double period = kRate / hz;
    const int window = static_cast<int>(std::lround(std::ceil(0.010 * kRate / period) * period));
    std::vector<double> level;
    for (int ms = 0; ToSample(ms / 1000.0) < static_cast<int>(x.size()); ++ms)
        level.push_back(WindowRms(x, ms / 1000.0, window));
    const auto loudest = std::max_element(level.begin(), level.end());

    NoteEnvelope e{};
    const double peak = Peak(x);
    int first = 0;
    while (first < static_cast<int>(x.size()) && std::abs(x[first]) < 0.01 * peak) ++first;
    e.silence_ms = first * 1000.0 / kRate;
    e.within_6db_ms = static_cast<double>(
        std::find_if(level.begin(), level.end(), [&](double v) { return v >= *loudest * 0.5; }) - level.begin());
    e.loudest_ms = static_cast<double>(loudest - level.begin());
    e.at_250ms_db = Db(level[250] / *loudest);
    e.at_500ms_db = Db(level[500] / *loudest);
    const int n = static_cast<int>(x.size());
    const double last_50 = Rms(x, n - ToSample(0.050), n);
    e.last_50ms_db = Db(last_50 / *loudest);
    e.last_window_db = Db(Rms(x, n - window, n) / last_50);
    e.worst_rise_db = -100.0;
    const int full_windows_end = static_cast<int>(level.size()) - static_cast<int>(window * 500 / kRate) - 1;
    for (int ms = static_cast<int>(e.loudest_ms) + 50; ms + 20 < full_windows_end; ++ms)
        e.worst_rise_db = std::max(e.worst_rise_db, Db(level[ms + 20] / level[ms]));
    return e;
}

class TuningNote : public ::testing::TestWithParam<NoteFigures> {
protected:
    void SetUp() override {
        x = LoadSound(GetParam().id);
        ASSERT_GE(x.size(), 11000u) << SoundPath(GetParam().id);
        pitch = MeasurePitch(x, ToSample(0.10), ToSample(0.95));
    }
    Signal x;
    double pitch = 0.0;
};

// A tuning aid's notes are in tune: equal-tempered with A4 at 440 Hz, to within 0.3 cents.
TEST_P(TuningNote, IsInTune) {
    const NoteFigures &f = GetParam();
    EXPECT_NEAR(Cents(pitch, EqualTempered(f.midi)), 0.0, 0.3) << pitch << " Hz";
}

TEST_P(TuningNote, HoldsItsPitchFromStartToEnd) {
    const int n = static_cast<int>(x.size());
    const double start = MeasurePitch(x, ToSample(0.03), ToSample(0.38));
    const double end = MeasurePitch(x, n - ToSample(0.35), n);
    EXPECT_NEAR(Cents(start, pitch), 0.0, 4.0) << "start " << start << " Hz, whole note " << pitch << " Hz";
    EXPECT_NEAR(Cents(end, pitch), 0.0, 4.0) << "end " << end << " Hz, whole note " << pitch << " Hz";
}

TEST_P(TuningNote, RisesAndFadesLikeAPluckedString) {
    const NoteFigures &f = GetParam();
    const NoteEnvelope e = MeasureEnvelope(x, pitch);
    EXPECT_GE(e.silence_ms, 3.0);
    EXPECT_LE(e.silence_ms, 25.0);
    EXPECT_GE(e.within_6db_ms, 10.0);
    EXPECT_LE(e.within_6db_ms, 50.0);
    EXPECT_GE(e.loudest_ms, 20.0);
    EXPECT_LE(e.loudest_ms, 170.0);
    if (f.id == 1017) {
        // The violin's E fades fastest: 12 dB down at 0.25 s, 30 dB at its end.
        EXPECT_NEAR(e.at_250ms_db, -12.0, 1.5);
        EXPECT_NEAR(e.last_50ms_db, -30.0, 2.0);
    } else {
        EXPECT_LE(e.at_250ms_db, -1.0);
        EXPECT_GE(e.at_250ms_db, -10.0);
        EXPECT_LE(e.at_500ms_db, -4.0);
        EXPECT_GE(e.at_500ms_db, -17.0);
        EXPECT_LE(e.last_50ms_db, -12.0);
        EXPECT_GE(e.last_50ms_db, -24.0);
    }
    // It fades steadily, and is cut off while still sounding rather than faded out.
    EXPECT_LE(e.worst_rise_db, 1.0);
    EXPECT_GE(e.last_window_db, -3.0);
}

TEST_P(TuningNote, HasItsKindOfHarmonics) {
    const HarmonicKind &kind = *GetParam().kind;
    std::vector<double> power{0.0};
    for (int k = 1; k * pitch < 5300.0; ++k)
        power.push_back(AverageTonePower(x, ToSample(0.10), ToSample(0.95), k * pitch, 2048));
    const double strongest = *std::max_element(power.begin(), power.end());
    auto level = [&](int k) { return 10.0 * std::log10(std::max(power[k], 1e-30) / strongest); };

    // The figures are whole decibels; half a decibel either side covers their rounding.
    for (int k = 1; k <= 6; ++k) {
        EXPECT_GE(level(k), kind.first_six[k - 1].low - 0.5) << "harmonic " << k;
        EXPECT_LE(level(k), kind.first_six[k - 1].high + 0.5) << "harmonic " << k;
    }
    for (int k = 7; k < static_cast<int>(power.size()); ++k) {
        if (k == kind.standout) {
            EXPECT_GE(level(k), kind.standout_range.low - 0.5) << "harmonic " << k;
            EXPECT_LE(level(k), kind.standout_range.high + 0.5) << "harmonic " << k;
        } else {
            EXPECT_LE(level(k), kind.higher_ceiling + 0.5) << "harmonic " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Notes, TuningNote, ::testing::ValuesIn(kNoteFigures),
                         [](const ::testing::TestParamInfo<NoteFigures> &info) {
                             return std::to_string(info.param.id);
                         });

}  // namespace
}  // namespace soundcheck
