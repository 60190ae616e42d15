// Measurements on the sounds; see analysis.h.
#include "analysis.h"

#include <algorithm>
#include <cmath>

#include "wave_reader.h"

namespace soundcheck {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Hann(int i, int n) { return 0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / n); }

// Solves the symmetric system a x = b in place by Gaussian elimination with partial pivoting.
std::vector<double> Solve(std::vector<double> a, std::vector<double> b) {
    const int n = static_cast<int>(b.size());
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::abs(a[r * n + c]) > std::abs(a[pivot * n + c])) pivot = r;
        for (int k = 0; k < n; ++k) std::swap(a[c * n + k], a[pivot * n + k]);
        std::swap(b[c], b[pivot]);
        if (a[c * n + c] == 0.0) continue;
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    std::vector<double> x(n, 0.0);
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k) s -= a[r * n + k] * x[k];
        x[r] = a[r * n + r] != 0.0 ? s / a[r * n + r] : 0.0;
    }
    return x;
}

void Fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

}  // namespace

std::string SoundPath(int id) { return std::string(CADENZO_ASSET_DIR) + "/" + std::to_string(id) + ".wav"; }

Signal LoadSound(int id) {
    const WaveFile wave = ReadWave(SoundPath(id));
    return Signal(wave.samples.begin(), wave.samples.end());
}

double Db(double ratio) { return 20.0 * std::log10(std::max(ratio, 1e-12)); }
double DbFs(double amplitude) { return Db(amplitude / kFullScale); }
double Cents(double hz, double ref_hz) { return 1200.0 * std::log2(hz / ref_hz); }
double EqualTempered(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }
int ToSample(double seconds) { return static_cast<int>(std::lround(seconds * kRate)); }

double Peak(const Signal &x) {
    double peak = 0.0;
    for (double s : x) peak = std::max(peak, std::abs(s));
    return peak;
}

double Rms(const Signal &x, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(x.size()));
    if (last <= first) return 0.0;
    double sum = 0.0;
    for (int i = first; i < last; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / (last - first));
}

double WindowRms(const Signal &x, double t, int length) {
    const int first = ToSample(t) - length / 2;
    return Rms(x, first, first + length);
}

double ToneAmplitude(const Signal &x, int first, int last, double hz) {
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(x.size()));
    const int n = last - first;
    if (n <= 0) return 0.0;
    // The tone's phasor and the window's cosine both turn once per sample.
    const std::complex<double> turn = std::polar(1.0, -2.0 * kPi * hz / kRate);
    const std::complex<double> window_turn = std::polar(1.0, 2.0 * kPi / n);
    std::complex<double> z = 1.0, sum = 0.0, window_phase = std::polar(1.0, kPi / n);
    double weight = 0.0;
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * window_phase.real();
        sum += w * x[first + i] * z;
        weight += w;
        z *= turn;
        window_phase *= window_turn;
    }
    return 2.0 * std::abs(sum) / weight;
}

TonePeak FindTonePeak(const Signal &x, int first, int last, double hz, double cents) {
    // A grid across the range, then a golden-section search around its best point.
    constexpr int kSteps = 10;
    const double step = cents / kSteps;
    double best_cents = 0.0, best = -1.0;
    for (int s = -kSteps; s <= kSteps; ++s) {
        const double a = ToneAmplitude(x, first, last, hz * std::pow(2.0, s * step / 1200.0));
        if (a > best) best = a, best_cents = s * step;
    }
    double lo = best_cents - step, hi = best_cents + step;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    auto at = [&](double c) { return ToneAmplitude(x, first, last, hz * std::pow(2.0, c / 1200.0)); };
    double c1 = hi - g * (hi - lo), c2 = lo + g * (hi - lo);
    double a1 = at(c1), a2 = at(c2);
    for (int i = 0; i < 32; ++i) {
        if (a1 > a2) {
            hi = c2, c2 = c1, a2 = a1;
            c1 = hi - g * (hi - lo), a1 = at(c1);
        } else {
            lo = c1, c1 = c2, a1 = a2;
            c2 = lo + g * (hi - lo), a2 = at(c2);
        }
    }
    const double c = (lo + hi) / 2.0;
    return {hz * std::pow(2.0, c / 1200.0), at(c)};
}

double AverageTonePower(const Signal &x, int first, int last, double hz, int frame) {
    double sum = 0.0;
    int frames = 0;
    for (int start = first; start + frame <= last; start += frame / 4, ++frames) {
        const double a = ToneAmplitude(x, start, start + frame, hz);
        sum += a * a;
    }
    return frames ? sum / frames : 0.0;
}

double MeasurePitch(const Signal &x, int first, int last) {
    // The period: the first clear dip of the cumulative-mean-normalised difference function.
    const int min_lag = static_cast<int>(kRate / 1200.0), max_lag = static_cast<int>(kRate / 35.0);
    const int span = std::min(last - first - max_lag - 1, 4096);
    if (span <= 0) return 0.0;
    std::vector<double> d(max_lag + 2, 1.0);
    double running = 0.0;
    for (int lag = 1; lag <= max_lag + 1; ++lag) {
        double sum = 0.0;
        for (int i = first; i < first + span; ++i) {
            const double diff = x[i] - x[i + lag];
            sum += diff * diff;
        }
        running += sum;
        d[lag] = running > 0.0 ? sum * lag / running : 1.0;
    }
    int lag = static_cast<int>(std::min_element(d.begin() + min_lag, d.begin() + max_lag) - d.begin());
    for (int l = min_lag; l < max_lag; ++l) {
        if (d[l] < 0.2) {
            while (l + 1 < max_lag && d[l + 1] < d[l]) ++l;
            lag = l;
            break;
        }
    }
    const double curve = d[lag - 1] - 2.0 * d[lag] + d[lag + 1];
    const double offset = curve > 0.0 ? 0.5 * (d[lag - 1] - d[lag + 1]) / curve : 0.0;
    const double coarse = kRate / (lag + offset);

    // Refinement: the peak of each clear harmonic among the first ten, each found near the multiple
    // of the estimate so far; the fundamental is their weighted least-squares fit.
    std::vector<double> level(11, 0.0);
    double strongest = 0.0;
    for (int k = 1; k <= 10 && k * coarse < 4500.0; ++k) {
        level[k] = ToneAmplitude(x, first, last, k * coarse);
        strongest = std::max(strongest, level[k]);
    }
    double estimate = coarse, num = 0.0, den = 0.0;
    bool first_found = true;
    for (int k = 1; k <= 10 && k * coarse < 4500.0; ++k) {
        if (level[k] < strongest * 0.03) continue;
        const TonePeak peak = FindTonePeak(x, first, last, k * estimate, first_found ? 30.0 : 4.0);
        const double w = peak.amplitude * peak.amplitude;
        num += w * k * peak.hz;
        den += w * k * k;
        estimate = num / den;
        first_found = false;
    }
    return estimate;
}

double FittedToneAmplitude(const Signal &x, double t, int window, double hz, const std::vector<double> &others) {
    const int centre = ToSample(t);
    const int first = std::max(0, centre - window / 2);
    const int last = std::min(static_cast<int>(x.size()), centre - window / 2 + window);
    if (last - first < 8) return 0.0;
    // Partials closer than this cannot be told apart in the window: only the first of them is kept.
    const double resolution = 0.6 * kRate / window;
    std::vector<double> freqs{hz};
    for (double f : others) {
        bool distinct = true;
        for (double g : freqs) distinct = distinct && std::abs(f - g) >= resolution;
        if (distinct) freqs.push_back(f);
    }
    const int m = static_cast<int>(freqs.size()) * 2;
    std::vector<double> gram(m * m, 0.0), rhs(m, 0.0), basis(m);
    // Each partial's cosine and sine come from a phasor turned once per sample.
    std::vector<std::complex<double>> phasor(freqs.size()), turn(freqs.size());
    for (size_t j = 0; j < freqs.size(); ++j) {
        phasor[j] = std::polar(1.0, 2.0 * kPi * freqs[j] * first / kRate);
        turn[j] = std::polar(1.0, 2.0 * kPi * freqs[j] / kRate);
    }
    for (int i = first; i < last; ++i) {
        const double w = Hann(i - (centre - window / 2), window);
        for (size_t j = 0; j < freqs.size(); ++j) {
            basis[2 * j] = phasor[j].real();
            basis[2 * j + 1] = phasor[j].imag();
            phasor[j] *= turn[j];
        }
        for (int r = 0; r < m; ++r) {
            rhs[r] += w * basis[r] * x[i];
            for (int c = r; c < m; ++c) gram[r * m + c] += w * basis[r] * basis[c];
        }
    }
    double trace = 0.0;
    for (int r = 0; r < m; ++r) {
        for (int c = 0; c < r; ++c) gram[r * m + c] = gram[c * m + r];
        trace += gram[r * m + r];
    }
    for (int r = 0; r < m; ++r) gram[r * m + r] += 1e-9 * trace / m;
    const std::vector<double> coef = Solve(gram, rhs);
    return std::hypot(coef[0], coef[1]);
}

std::vector<double> PowerSpectrum(const Signal &x, int size) {
    std::vector<std::complex<double>> a(size, 0.0);
    for (size_t i = 0; i < x.size() && i < a.size(); ++i) a[i] = x[i];
    Fft(a);
    std::vector<double> power(size / 2 + 1);
    for (int b = 0; b <= size / 2; ++b) power[b] = std::norm(a[b]);
    return power;
}

double SpectralCentroid(const std::vector<double> &power, int size) {
    double num = 0.0, den = 0.0;
    for (size_t b = 1; b < power.size(); ++b) {
        const double magnitude = std::sqrt(power[b]);
        num += b * kRate / size * magnitude;
        den += magnitude;
    }
    return den > 0.0 ? num / den : 0.0;
}

double EnergyFraction(const std::vector<double> &power, int size, double low_hz, double high_hz) {
    double part = 0.0, all = 0.0;
    for (size_t b = 1; b < power.size(); ++b) {
        const double f = b * kRate / size;
        if (f >= low_hz && f < high_hz) part += power[b];
        all += power[b];
    }
    return all > 0.0 ? part / all : 0.0;
}

}  // namespace soundcheck
