// Renders the sounds of sound_table.h and packs them as RIFF "WAVE" files. Everything is
// deterministic: the noise comes from a generator seeded with the sound's number.
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "sound_table.h"

namespace sounds {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullScale = 32768.0;
constexpr double kHighestHarmonicHz = 4900.0;
// Harmonic levels are set over this stretch of a note, where its timbre is heard.
constexpr double kBodyStart = 0.10;
constexpr double kBodyEnd = 0.95;

using Signal = std::vector<double>;

// Small fixed-seed noise source (xorshift), uniform in [-1, 1).
struct Noise {
    uint32_t state;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    }
};

// The equal-tempered pitch of MIDI note `midi`, A4 (69) at 440 Hz.
double EqualTempered(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

double DbToGain(double db) { return std::pow(10.0, db / 20.0); }

// Smoothing coefficient of a one-pole low-pass filter with the given corner.
double OnePole(double hz) { return 1.0 - std::exp(-2.0 * kPi * hz / kSampleRate); }

double HarmonicLevelDb(const Timbre &timbre, int k) {
    if (k <= kTimbreHarmonics) return timbre.level_db[k - 1];
    return timbre.level_db[kTimbreHarmonics - 1] - timbre.rolloff_db * (k - kTimbreHarmonics);
}

// Adds one plucked string to `out`: its harmonics, each with its own rise and fade, scaled so that
// the strongest harmonic's RMS over the body of the note is `gain`, plus the pick noise.
void AddPluck(Signal &out, double hz, const Timbre &timbre, const Envelope &env, double onset_ms, double gain,
              Noise &noise) {
    const int n = static_cast<int>(out.size());
    const double onset = onset_ms / 1000.0 * kSampleRate;
    const int first = std::min(n, static_cast<int>(std::ceil(onset)));

    // The fade shared by all harmonics: its rate eases from early to late over the knee.
    Signal fade(n, 0.0);
    for (int i = first; i < n; ++i) {
        const double u = (i - onset) / kSampleRate;
        const double db =
            env.late_db_s * u + (env.early_db_s - env.late_db_s) * env.knee_s * (1.0 - std::exp(-u / env.knee_s));
        fade[i] = DbToGain(-db);
    }
    const int body_first = std::max(first, static_cast<int>(kBodyStart * kSampleRate));
    const int body_last = std::min(n, static_cast<int>(kBodyEnd * kSampleRate));

    for (int k = 1; k * hz < kHighestHarmonicHz; ++k) {
        const double level_db = HarmonicLevelDb(timbre, k);
        if (level_db < -90.0) break;
        // Per sample: the rise's remaining gap and the harmonic's own extra fade shrink geometrically.
        const double attack = env.attack_ms / 1000.0 / std::sqrt(static_cast<double>(k));
        const double rise_step = std::exp(-1.0 / (attack * kSampleRate));
        const double extra_step = DbToGain(-env.bright_db_s * (k - 1) / kSampleRate);
        const double start_u = (first - onset) / kSampleRate;
        const double rise0 = std::exp(-start_u / attack);
        const double extra0 = DbToGain(-env.bright_db_s * (k - 1) * start_u);

        // The harmonic's envelope RMS over the body sets its amplitude.
        double sum = 0.0;
        {
            double rise = rise0, extra = extra0;
            for (int i = first; i < body_last; ++i) {
                if (i >= body_first) {
                    const double e = fade[i] * (1.0 - rise) * extra;
                    sum += e * e;
                }
                rise *= rise_step;
                extra *= extra_step;
            }
        }
        if (sum <= 0.0) continue;
        const double amplitude = gain * DbToGain(level_db) / std::sqrt(sum / (body_last - body_first));

        // A phasor turned once per sample gives the sine without a sine call per sample.
        const double w = 2.0 * kPi * k * hz / kSampleRate;
        const double phase = kPi * (noise.Next() + 1.0) + w * (first - onset);
        std::complex<double> z = std::polar(1.0, phase);
        const std::complex<double> turn = std::polar(1.0, w);
        double rise = rise0, extra = extra0;
        for (int i = first; i < n; ++i) {
            out[i] += amplitude * fade[i] * (1.0 - rise) * extra * z.imag();
            z *= turn;
            rise *= rise_step;
            extra *= extra_step;
        }
    }

    // The pick: a few milliseconds of softened noise at the onset.
    const double pick = gain * DbToGain(env.pick_db);
    const double smooth = OnePole(2500.0);
    double lowpassed = 0.0;
    for (int i = first; i < n; ++i) {
        const double u = (i - onset) / kSampleRate;
        if (u > 0.03) break;
        lowpassed += smooth * (noise.Next() - lowpassed);
        out[i] += pick * lowpassed * std::exp(-u / 0.004);
    }
}

// Scales `signal` so that its largest magnitude lies at `peak_dbfs`.
void ScaleToPeak(Signal &signal, double peak_dbfs) {
    double peak = 0.0;
    for (double s : signal) peak = std::max(peak, std::abs(s));
    if (peak <= 0.0) return;
    const double scale = DbToGain(peak_dbfs) * kFullScale / peak;
    for (double &s : signal) s *= scale;
}

Signal RenderNote(const Sound &sound) {
    const Note &note = kNotes[sound.row];
    Signal out(sound.samples, 0.0);
    Noise noise{static_cast<uint32_t>(sound.id) * 2654435761u};
    AddPluck(out, EqualTempered(note.midi), kTimbres[note.timbre], note.envelope, note.envelope.onset_ms, 1.0, noise);
    ScaleToPeak(out, sound.peak_dbfs);
    return out;
}

Signal RenderChord(const Sound &sound) {
    const Chord &chord = kChords[sound.row];
    Signal out(sound.samples, 0.0);
    Noise noise{static_cast<uint32_t>(sound.id) * 2654435761u};
    for (int i = 0; i < chord.count; ++i) {
        const ChordNote &string = chord.notes[i];
        AddPluck(out, EqualTempered(string.midi), kTimbres[string.timbre], chord.envelope, string.onset_ms,
                 DbToGain(string.level_db), noise);
    }
    ScaleToPeak(out, sound.peak_dbfs);
    return out;
}

// The thump: the burst carries the sound's peak; the clipped tone's flat tops lie at the clip
// level, in absolute sample units, and are not scaled afterwards.
Signal RenderThump(const Sound &sound) {
    const Thump &thump = kThumps[sound.row];
    const int n = sound.samples;
    Noise noise{static_cast<uint32_t>(sound.id) * 2654435761u};

    // The burst: low-passed noise under a half-sine arch.
    const int burst_end = static_cast<int>(std::lround(thump.burst_ms / 1000.0 * kSampleRate));
    Signal burst(n, 0.0);
    const double smooth = OnePole(thump.burst_cutoff_hz);
    double lowpassed = 0.0;
    for (int i = 0; i < burst_end; ++i) {
        lowpassed += smooth * (noise.Next() - lowpassed);
        burst[i] = lowpassed * std::sin(kPi * (i + 0.5) / burst_end);
    }
    ScaleToPeak(burst, sound.peak_dbfs);

    // The tone, cycle by cycle: each cycle's period follows the glide from where the cycle starts.
    Signal out = burst;
    const double period_start = thump.period_start_ms / 1000.0;
    const double period_end = thump.period_end_ms / 1000.0;
    const double glide = thump.glide_ms / 1000.0;
    const double hold_end = (thump.burst_ms + thump.hold_ms) / 1000.0;
    double cycle_start = thump.burst_ms / 1000.0;
    double period = period_start;
    for (int i = burst_end; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        while (t >= cycle_start + period) {
            cycle_start += period;
            const double progress = std::min(1.0, (cycle_start - thump.burst_ms / 1000.0) / glide);
            period = period_start + (period_end - period_start) * progress;
        }
        const double ring = t < hold_end ? 1.0 : std::exp(-(t - hold_end) / (thump.ring_ms / 1000.0));
        const double tone = thump.drive * thump.clip * ring * std::sin(2.0 * kPi * (t - cycle_start) / period);
        out[i] += std::clamp(tone, -static_cast<double>(thump.clip), static_cast<double>(thump.clip));
    }
    return out;
}

Signal RenderTick(const Sound &sound) {
    const Tick &tick = kTicks[sound.row];
    const int n = sound.samples;
    Noise noise{static_cast<uint32_t>(sound.id) * 2654435761u};
    Signal out(n, 0.0);
    const double onset = tick.onset_ms / 1000.0;
    const double attack = tick.attack_ms / 1000.0;
    const double hold = tick.hold_ms / 1000.0;

    const double high = OnePole(tick.noise_highpass_hz);
    const double low = OnePole(tick.noise_lowpass_hz);
    double under_high = 0.0, lowpassed = 0.0;
    double phases[kMaxTickModes];
    for (double &p : phases) p = kPi * (noise.Next() + 1.0);

    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double white = noise.Next();
        if (t < onset) continue;
        const double since = t - onset;
        const double rise = 1.0 - std::exp(-since / attack);
        const double u = std::max(0.0, since - hold);  // the dying starts after the hold
        const double fade =
            t < tick.fade_at_ms / 1000.0 ? 1.0 : std::exp(-(t - tick.fade_at_ms / 1000.0) / (tick.fade_ms / 1000.0));

        // Noise band: a high-pass (the input less its low part), then a low-pass.
        under_high += high * (white - under_high);
        lowpassed += low * ((white - under_high) - lowpassed);
        double ring = 0.0;
        for (int m = 0; m < kMaxTickModes; ++m) {
            const Mode &mode = tick.modes[m];
            if (mode.hz <= 0) continue;
            ring += mode.level * std::exp(-u / (mode.decay_ms / 1000.0)) *
                    std::sin(2.0 * kPi * mode.hz * since + phases[m]);
        }
        const double limited =
            std::clamp(lowpassed, -static_cast<double>(tick.noise_clip), static_cast<double>(tick.noise_clip));
        const double strike = tick.noise_level * limited * std::exp(-since / (tick.noise_decay_ms / 1000.0));
        out[i] = (strike + ring * rise) * fade;
    }
    ScaleToPeak(out, sound.peak_dbfs);
    // The attack moves to the first sample; the silence before it goes to the end.
    const auto strike = std::find_if(out.begin(), out.end(), [](double s) { return s != 0.0; });
    std::rotate(out.begin(), strike, out.end());
    return out;
}

const Sound *FindSound(int id) {
    for (const Sound &sound : kSounds)
        if (sound.id == id) return &sound;
    return nullptr;
}

void PutTag(std::vector<uint8_t> &bytes, const char *tag) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(tag[i]));
}

void PutU16(std::vector<uint8_t> &bytes, uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void PutU32(std::vector<uint8_t> &bytes, uint32_t v) {
    PutU16(bytes, v & 0xFFFF);
    PutU16(bytes, v >> 16);
}

}  // namespace

std::vector<int16_t> RenderSound(int id) {
    const Sound *sound = FindSound(id);
    if (!sound) return {};
    Signal signal;
    switch (sound->kind) {
    case Kind::kNote: signal = RenderNote(*sound); break;
    case Kind::kChord: signal = RenderChord(*sound); break;
    case Kind::kThump: signal = RenderThump(*sound); break;
    case Kind::kTick: signal = RenderTick(*sound); break;
    }
    std::vector<int16_t> samples(signal.size());
    for (size_t i = 0; i < signal.size(); ++i)
        samples[i] = static_cast<int16_t>(std::clamp(std::lround(signal[i]), -32768L, 32767L));
    return samples;
}

std::vector<uint8_t> PackWave(const std::vector<int16_t> &samples, bool with_fact) {
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    const uint32_t riff_size = 4 + (8 + 16) + (with_fact ? 8 + 4 : 0) + (8 + data_bytes);
    std::vector<uint8_t> bytes;
    bytes.reserve(riff_size + 8);
    PutTag(bytes, "RIFF");
    PutU32(bytes, riff_size);
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    PutU32(bytes, 16);
    PutU16(bytes, 1);  // PCM
    PutU16(bytes, 1);  // mono
    PutU32(bytes, kSampleRate);
    PutU32(bytes, kSampleRate * 2);  // bytes per second
    PutU16(bytes, 2);                // block alignment
    PutU16(bytes, 16);               // bits per sample
    if (with_fact) {
        PutTag(bytes, "fact");
        PutU32(bytes, 4);
        PutU32(bytes, static_cast<uint32_t>(samples.size()));
    }
    PutTag(bytes, "data");
    PutU32(bytes, data_bytes);
    for (int16_t s : samples) PutU16(bytes, static_cast<uint16_t>(s));
    return bytes;
}

std::vector<uint8_t> WaveFile(int id) {
    const Sound *sound = FindSound(id);
    if (!sound) return {};
    return PackWave(RenderSound(id), sound->fact);
}

}  // namespace sounds
