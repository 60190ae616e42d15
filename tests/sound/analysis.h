// Measurements on the sounds: levels, short-time envelopes, tone amplitudes at chosen
// frequencies, pitch, and spectra. Signals are samples as doubles (full scale 32768) at 11025 Hz;
// times are in seconds and sample ranges are [first, last).
#pragma once

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

namespace soundcheck {

constexpr double kRate = 11025.0;
constexpr double kFullScale = 32768.0;

using Signal = std::vector<double>;

// The samples of sound `id` as written by the build (1001.wav ...), empty when unreadable.
Signal LoadSound(int id);
std::string SoundPath(int id);

double Db(double ratio);                 // 20 log10
double DbFs(double amplitude);           // relative to full scale
double Cents(double hz, double ref_hz);  // 1200 log2(hz / ref)
double EqualTempered(int midi);          // A4 = 69 = 440 Hz

int ToSample(double seconds);
double Peak(const Signal &x);
double Rms(const Signal &x, int first, int last);

// RMS of a window of `length` samples centred on time `t` (cut at the sound's ends).
double WindowRms(const Signal &x, double t, int length);

// Amplitude of a sinusoid at `hz` in x[first, last), through a Hann window: a steady sinusoid of
// amplitude A measures A.
double ToneAmplitude(const Signal &x, int first, int last, double hz);

// The largest ToneAmplitude within `cents` of `hz` and the frequency where it lies.
struct TonePeak {
    double hz;
    double amplitude;
};
TonePeak FindTonePeak(const Signal &x, int first, int last, double hz, double cents);

// Power of a sinusoid at `hz`, averaged over Hann frames of `frame` samples that step through
// x[first, last) a quarter frame at a time (the level of a partial over a stretch of sound).
double AverageTonePower(const Signal &x, int first, int last, double hz, int frame);

// Fundamental frequency over x[first, last), found without any expected value: the period from
// the normalised difference function, then refined from the peaks of the first harmonics.
double MeasurePitch(const Signal &x, int first, int last);

// Amplitude of the partial at `hz` in a window of `window` samples centred on `t`, fitted by
// weighted least squares together with `others` (nearby partials of other notes), so that a note
// can be followed while its neighbours sound.
double FittedToneAmplitude(const Signal &x, double t, int window, double hz, const std::vector<double> &others);

// Power spectrum of the whole signal, zero-padded to `size` (a power of two) points; bin b lies at
// b * kRate / size Hz.
std::vector<double> PowerSpectrum(const Signal &x, int size);
// Centre of gravity of the magnitude spectrum, in Hz.
double SpectralCentroid(const std::vector<double> &power, int size);
double EnergyFraction(const std::vector<double> &power, int size, double low_hz, double high_hz);

}  // namespace soundcheck
