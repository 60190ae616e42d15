// The metronome clicks 1025-1027: timing, clipping, periods, spectra and levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis.h"

namespace soundcheck {
namespace {

constexpr int kFft = 4096;

// Level in 5 ms windows centred on each sample of the click as it sounds after silence, relative to
// the loudest window; times from the click's first sample.
struct ClickEnvelope {
    std::vector<double> db;
    double loudest_ms;
    double At(double ms) const { return db[std::min(db.size() - 1, static_cast<size_t>(ToSample(ms / 1000.0)))]; }
};

ClickEnvelope MeasureClick(const Signal &click) {
    const int lead = ToSample(0.010);
    Signal x(lead, 0.0);
    x.insert(x.end(), click.begin(), click.end());
    std::vector<double> rms;
    for (size_t i = lead; i < x.size(); ++i) rms.push_back(WindowRms(x, i / kRate, ToSample(0.005)));
    const auto loudest = std::max_element(rms.begin(), rms.end());
    ClickEnvelope e{{}, (loudest - rms.begin()) * 1000.0 / kRate};
    for (double r : rms) e.db.push_back(Db(r / *loudest));
    return e;
}

// Milliseconds of silence (no sample above -60 dBFS) before the click, and after it.
double SilenceMs(const Signal &x) {
    size_t i = 0;
    while (i < x.size() && std::abs(x[i]) <= kFullScale / 1000.0) ++i;
    return i * 1000.0 / kRate;
}

double TrailingSilenceMs(const Signal &x) {
    size_t i = 0;
    while (i < x.size() && x[x.size() - 1 - i] == 0.0) ++i;
    return i * 1000.0 / kRate;
}

// The power spectrum averaged over +-50 Hz, and the frequency of its largest value in a band.
std::vector<double> Smoothed(const std::vector<double> &power) {
    const int half = static_cast<int>(50.0 * kFft / kRate);
    std::vector<double> out(power.size(), 0.0);
    for (int b = 0; b < static_cast<int>(power.size()); ++b) {
        int count = 0;
        for (int d = -half; d <= half; ++d)
            if (b + d >= 0 && b + d < static_cast<int>(power.size())) out[b] += power[b + d], ++count;
        out[b] /= count;
    }
    return out;
}

double StrongestHz(const std::vector<double> &power, double low_hz, double high_hz) {
    const int low = static_cast<int>(low_hz * kFft / kRate), high = static_cast<int>(high_hz * kFft / kRate);
    const auto best = std::max_element(power.begin() + low, power.begin() + high);
    return (best - power.begin()) * kRate / kFft;
}

double WholeRmsDbFs(const Signal &x) { return DbFs(Rms(x, 0, static_cast<int>(x.size()))); }

// A tick's envelope, checked first for its silence at the end and the moment it is loudest (ms).
ClickEnvelope TickEnvelope(const Signal &x, double trailingSilenceMs, double loudestMs) {
    EXPECT_NEAR(TrailingSilenceMs(x), trailingSilenceMs, 0.5);
    const ClickEnvelope e = MeasureClick(x);
    EXPECT_NEAR(e.loudest_ms, loudestMs, 1.5);
    return e;
}

class Click : public ::testing::Test {
protected:
    Signal strong = LoadSound(1025), secondary = LoadSound(1026), plain = LoadSound(1027);
};

// 1025: a noisy low burst of 3.5 ms from the first sample, then a square-like tone clipped flat at
// +-26170 whose period lengthens from 9.7 to 15.5 ms, then a damped low ringing.
TEST_F(Click, StrongAccentIsAClippedFallingThump) {
    const Signal &x = strong;
    ASSERT_GT(x.size(), 1000u);
    const int burst = ToSample(0.0035);
    EXPECT_NE(x[0], 0.0);
    EXPECT_GE(DbFs(Rms(x, 0, ToSample(0.001))), -30.0);
    const auto peak =
        std::max_element(x.begin(), x.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_LT(peak - x.begin(), burst) << "the peak belongs to the burst";

    // Flat tops at exactly +-26170, which nothing after the burst exceeds.
    EXPECT_EQ(*std::max_element(x.begin() + burst, x.end()), 26170.0);
    EXPECT_EQ(*std::min_element(x.begin() + burst, x.end()), -26170.0);
    int high_tops = 0, low_tops = 0;
    for (int i = burst, run = 0, sign = 0; i < static_cast<int>(x.size()); ++i) {
        const int s = x[i] == 26170.0 ? 1 : x[i] == -26170.0 ? -1 : 0;
        run = s != 0 && s == sign ? run + 1 : 1;
        sign = s;
        if (s != 0 && run == 8) (s > 0 ? high_tops : low_tops)++;
    }
    EXPECT_GE(high_tops, 3) << "flat tops of 8 samples or more at +26170";
    EXPECT_GE(low_tops, 3) << "flat tops of 8 samples or more at -26170";

    // Periods from the spacing of zero crossings (interpolated), twice each half period.
    std::vector<double> crossings;
    for (int i = burst + 1; i < static_cast<int>(x.size()); ++i)
        if ((x[i - 1] < 0.0) != (x[i] < 0.0))
            crossings.push_back((i - 1 + x[i - 1] / (x[i - 1] - x[i])) * 1000.0 / kRate);
    ASSERT_GE(crossings.size(), 8u);
    std::vector<double> periods;
    for (size_t i = 1; i < crossings.size(); ++i) periods.push_back(2.0 * (crossings[i] - crossings[i - 1]));
    EXPECT_NEAR(periods.front(), 9.7, 0.5);
    for (size_t i = 1; i < periods.size(); ++i) EXPECT_GE(periods[i], periods[i - 1] - 0.2) << "period " << i;
    EXPECT_NEAR(periods.back(), 15.5, 0.6);
    size_t settled = 0;
    while (settled < periods.size() && periods[settled] < periods.back() - 0.3) ++settled;
    EXPECT_NEAR(crossings[settled] - 3.5, 45.0, 8.0) << "the period stops lengthening after about 45 ms";

    // The ringing: unclipped, dying away, still sounding at the end.
    const int n = static_cast<int>(x.size());
    for (int i = n - ToSample(0.035); i < n; ++i) ASSERT_LT(std::abs(x[i]), 26170.0) << "clipped at sample " << i;
    EXPECT_LT(Rms(x, n - ToSample(0.015), n), Rms(x, n - ToSample(0.035), n - ToSample(0.020)));
    EXPECT_GE(DbFs(Rms(x, n - ToSample(0.010), n)), -40.0);

    const std::vector<double> power = PowerSpectrum(x, kFft);
    EXPECT_GE(EnergyFraction(power, kFft, 0.0, 500.0), 0.97) << "all its energy lies below 500 Hz";
    EXPECT_NEAR(WholeRmsDbFs(x), -5.4, 0.15);
}

// Every click's attack begins at its first sample, so the beat is heard where the sound starts:
// a metronome's clicks are placed by their first sample, and a click that began with silence would
// sound late by that silence.
TEST_F(Click, EveryClickAttacksAtItsFirstSample) {
    for (const Signal *x : {&strong, &secondary, &plain}) {
        ASSERT_GT(x->size(), 1000u);
        EXPECT_LT(SilenceMs(*x), 1.0);
        EXPECT_GE(DbFs(Rms(*x, 0, ToSample(0.001))), -30.0) << "the first millisecond already sounds";
    }
}

// 1026: a sharp broadband tick loudest 3 ms after its start and 25 dB down by 51 ms, its 9 ms of
// silence at the end, with its energy around 150-250 Hz and 1.1-1.4 kHz and its centre of gravity
// about 2.2 kHz.
TEST_F(Click, SecondaryAccentIsASharpTick) {
    const Signal &x = secondary;
    ASSERT_GT(x.size(), 1000u);
    const ClickEnvelope e = TickEnvelope(x, 9.0, 3.0);
    EXPECT_LE(e.At(51.0), -25.0);

    const std::vector<double> power = PowerSpectrum(x, kFft);
    const std::vector<double> smooth = Smoothed(power);
    const double low_peak = StrongestHz(smooth, 50.0, 700.0), mid_peak = StrongestHz(smooth, 700.0, 5000.0);
    EXPECT_GE(low_peak, 150.0);
    EXPECT_LE(low_peak, 250.0);
    EXPECT_GE(mid_peak, 1100.0);
    EXPECT_LE(mid_peak, 1400.0);
    EXPECT_GE(EnergyFraction(power, kFft, 100.0, 300.0) + EnergyFraction(power, kFft, 1000.0, 1500.0), 0.6);
    EXPECT_NEAR(SpectralCentroid(power, kFft), 2200.0, 250.0);
    EXPECT_NEAR(WholeRmsDbFs(x), -15.1, 0.15);
}

// 1027: a softer, brighter tick loudest 2 ms after its start, within about 10 dB of that until
// about 42 ms, then fading, its 8 ms of silence at the end; its energy spread over 0.4-5 kHz,
// centre of gravity about 2.6 kHz.
TEST_F(Click, PlainBeatIsASoftBrightTick) {
    const Signal &x = plain;
    ASSERT_GT(x.size(), 1000u);
    const ClickEnvelope e = TickEnvelope(x, 8.0, 2.0);
    for (double ms = e.loudest_ms; ms <= 37.0; ms += 1.0) EXPECT_GE(e.At(ms), -11.0) << "at " << ms << " ms";
    EXPECT_GE(e.At(42.0), -14.0);
    EXPECT_LE(e.At(42.0), -7.0);
    EXPECT_LE(e.At(57.0), e.At(42.0) - 5.0);
    EXPECT_LE(e.At(82.0), e.At(57.0) - 10.0);

    const std::vector<double> power = PowerSpectrum(x, kFft);
    EXPECT_GE(EnergyFraction(power, kFft, 400.0, 5000.0), 0.9);
    const double bands[][2] = {{400.0, 1500.0}, {1500.0, 3000.0}, {3000.0, 5000.0}};
    for (const auto &band : bands)
        EXPECT_GE(EnergyFraction(power, kFft, band[0], band[1]), 0.1)
            << "spread into " << band[0] << "-" << band[1] << " Hz";
    EXPECT_NEAR(SpectralCentroid(power, kFft), 2600.0, 250.0);
    EXPECT_NEAR(WholeRmsDbFs(x), -23.2, 0.15);
}

// The strong accent is the loudest and lowest, the plain beat the quietest and brightest.
TEST_F(Click, GrowBrighterAndQuieterFromStrongToPlain) {
    EXPECT_GT(WholeRmsDbFs(strong), WholeRmsDbFs(secondary));
    EXPECT_GT(WholeRmsDbFs(secondary), WholeRmsDbFs(plain));
    EXPECT_LT(SpectralCentroid(PowerSpectrum(strong, kFft), kFft),
              SpectralCentroid(PowerSpectrum(secondary, kFft), kFft));
    EXPECT_LT(SpectralCentroid(PowerSpectrum(secondary, kFft), kFft),
              SpectralCentroid(PowerSpectrum(plain, kFft), kFft));
}

}  // namespace
}  // namespace soundcheck
