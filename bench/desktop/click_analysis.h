// Finding clicks in a recorded output stream and measuring their timing, for the desktop benchmarks.
//
// Each click is located by cross-correlating the stream with the known click waveforms (the
// program's sounds at the device rate) around the point where the stream first rises, then refined
// to a fraction of a frame with a parabola through the correlation peak.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct Click {
    double frame;  // start of the click in the stream
    int kind;      // index of the waveform that matched
    double match;  // normalized correlation, 1 = identical
};

inline std::vector<Click> FindClicks(const std::vector<float> &stream, const std::vector<std::vector<float>> &waveforms,
                                     double rate) {
    std::vector<Click> clicks;
    if (waveforms.empty()) return clicks;
    float peak = 0;
    for (const auto &w : waveforms)
        for (float v : w) peak = std::max(peak, std::fabs(v));
    const float threshold = peak * 0.2f;
    // Where each waveform first crosses the threshold, and its energy.
    std::vector<std::size_t> rise(waveforms.size(), 0);
    std::vector<double> energy(waveforms.size(), 0);
    for (std::size_t k = 0; k < waveforms.size(); ++k) {
        while (rise[k] < waveforms[k].size() && std::fabs(waveforms[k][rise[k]]) < threshold) ++rise[k];
        for (float v : waveforms[k]) energy[k] += double(v) * v;
    }
    const std::size_t quiet = std::size_t(0.03 * rate);  // a click needs 30 ms below threshold before it
    std::size_t lastLoud = 0;
    bool anyLoud = false;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (std::fabs(stream[i]) < threshold) continue;
        bool starts = !anyLoud || i - lastLoud > quiet;
        lastLoud = i;
        anyLoud = true;
        if (!starts) continue;
        Click best{0, -1, -2};
        for (std::size_t k = 0; k < waveforms.size(); ++k) {
            const auto &w = waveforms[k];
            auto correlate = [&](long start) {
                if (start < 0 || std::size_t(start) + w.size() > stream.size()) return -2.0;
                double dot = 0, power = 0;
                for (std::size_t j = 0; j < w.size(); ++j) {
                    dot += double(w[j]) * stream[std::size_t(start) + j];
                    power += double(stream[std::size_t(start) + j]) * stream[std::size_t(start) + j];
                }
                return power > 0 ? dot / std::sqrt(power * energy[k]) : -2.0;
            };
            long centre = long(i) - long(rise[k]);
            long bestLag = 0;
            double bestScore = -2;
            std::vector<double> scores;
            for (long lag = -40; lag <= 40; ++lag) {
                double score = correlate(centre + lag);
                scores.push_back(score);
                if (score > bestScore) {
                    bestScore = score;
                    bestLag = lag;
                }
            }
            if (bestScore <= best.match) continue;
            double offset = 0;
            std::size_t at = std::size_t(bestLag + 40);
            if (at > 0 && at + 1 < scores.size()) {
                double a = scores[at - 1], b = scores[at], c = scores[at + 1];
                double denominator = a - 2 * b + c;
                if (denominator < 0) offset = 0.5 * (a - c) / denominator;
            }
            best = Click{double(centre + bestLag) + offset, int(k), bestScore};
        }
        if (best.kind >= 0 && best.match > 0.5) clicks.push_back(best);
    }
    return clicks;
}

struct Timing {
    int count = 0;
    double meanInterval = 0;  // frames
    double stdDev = 0;        // frames, of the intervals about the nominal one
    double stdDevMean = 0;    // frames, of the intervals about their mean (the device's own rate)
    double worstMean = 0;     // frames, largest deviation of an interval from the mean
    double worst = 0;         // frames, largest deviation of an interval from the nominal one
    double first = 0;         // frames, the first interval
    double drift = 0;         // frames, last click against first + (count - 1) nominal intervals
    double worstMatch = 1;
};

inline Timing Measure(const std::vector<Click> &clicks, double nominalInterval) {
    Timing t;
    t.count = int(clicks.size());
    if (clicks.size() < 2) return t;
    double sum = 0, squares = 0;
    for (std::size_t i = 1; i < clicks.size(); ++i) {
        double interval = clicks[i].frame - clicks[i - 1].frame;
        double deviation = interval - nominalInterval;
        sum += interval;
        squares += deviation * deviation;
        t.worst = std::max(t.worst, std::fabs(deviation));
    }
    for (const Click &c : clicks) t.worstMatch = std::min(t.worstMatch, c.match);
    double n = double(clicks.size() - 1);
    t.meanInterval = sum / n;
    double squaresMean = 0;
    for (std::size_t i = 1; i < clicks.size(); ++i) {
        double deviation = clicks[i].frame - clicks[i - 1].frame - t.meanInterval;
        squaresMean += deviation * deviation;
        t.worstMean = std::max(t.worstMean, std::fabs(deviation));
    }
    t.stdDevMean = std::sqrt(squaresMean / n);
    t.stdDev = std::sqrt(squares / n);
    t.first = clicks[1].frame - clicks[0].frame;
    t.drift = clicks.back().frame - clicks.front().frame - n * nominalInterval;
    return t;
}

inline void PrintTiming(const char *label, const Timing &t, double nominalInterval, double rate) {
    auto ms = [rate](double frames) { return frames / rate * 1000.0; };
    std::printf("%s: %d clicks, nominal interval %.1f frames (%.3f ms) at %.0f Hz\n", label, t.count, nominalInterval,
                ms(nominalInterval), rate);
    std::printf("  interval jitter (std dev about nominal): %.3f frames = %.4f ms\n", t.stdDev, ms(t.stdDev));
    std::printf("  largest interval deviation:              %.3f frames = %.4f ms\n", t.worst, ms(t.worst));
    std::printf("  jitter about the mean interval:          %.3f frames = %.4f ms (largest %.3f frames = %.4f ms)\n",
                t.stdDevMean, ms(t.stdDevMean), t.worstMean, ms(t.worstMean));
    std::printf("  first interval:                          %.3f frames (nominal %+.3f)\n", t.first,
                t.first - nominalInterval);
    std::printf("  mean interval:                           %.4f frames (nominal %+.4f)\n", t.meanInterval,
                t.meanInterval - nominalInterval);
    std::printf("  cumulative drift at the last click:      %.3f frames = %.4f ms\n", t.drift, ms(t.drift));
    std::printf("  worst waveform match:                    %.6f\n", t.worstMatch);
}

// Timing as a musician hears it: one straight line through all clicks (the device's own rate) with an
// offset of its own for each kind of click (each starts its attack at its own point of its samples);
// and each click against the same beat of the bar before.
struct BeatTiming {
    int count = 0;
    double residualSd = 0, residualWorst = 0;  // frames, about the line plus the kind's offset
    double barSd = 0, barWorst = 0;            // frames, bar-to-bar intervals about their mean
};

inline BeatTiming MeasureBeats(const std::vector<Click> &clicks, double nominalInterval, int beatsPerBar) {
    BeatTiming t;
    t.count = int(clicks.size());
    if (clicks.size() < std::size_t(2 * beatsPerBar)) return t;
    // Least squares for frame = a + b * k + c[kind] (c of the first kind 0), by alternating the line
    // fit and the per-kind mean offsets until they settle.
    std::vector<double> k(clicks.size()), offset(8, 0.0);
    for (std::size_t i = 0; i < clicks.size(); ++i)
        k[i] = std::round((clicks[i].frame - clicks[0].frame) / nominalInterval);
    double a = 0, b = nominalInterval;
    for (int round = 0; round < 50; ++round) {
        double sk = 0, sy = 0, skk = 0, sky = 0, n = double(clicks.size());
        for (std::size_t i = 0; i < clicks.size(); ++i) {
            double y = clicks[i].frame - offset[std::size_t(clicks[i].kind) % 8];
            sk += k[i], sy += y, skk += k[i] * k[i], sky += k[i] * y;
        }
        b = (n * sky - sk * sy) / (n * skk - sk * sk);
        a = (sy - b * sk) / n;
        std::vector<double> sum(8, 0.0), count(8, 0.0);
        for (std::size_t i = 0; i < clicks.size(); ++i) {
            std::size_t kind = std::size_t(clicks[i].kind) % 8;
            sum[kind] += clicks[i].frame - a - b * k[i];
            count[kind] += 1;
        }
        for (std::size_t j = 0; j < 8; ++j) offset[j] = count[j] > 0 ? sum[j] / count[j] : 0.0;
    }
    double squares = 0;
    for (std::size_t i = 0; i < clicks.size(); ++i) {
        double r = clicks[i].frame - a - b * k[i] - offset[std::size_t(clicks[i].kind) % 8];
        squares += r * r;
        t.residualWorst = std::max(t.residualWorst, std::fabs(r));
    }
    t.residualSd = std::sqrt(squares / double(clicks.size()));
    std::vector<double> bars;
    for (std::size_t i = std::size_t(beatsPerBar); i < clicks.size(); ++i)
        bars.push_back(clicks[i].frame - clicks[i - std::size_t(beatsPerBar)].frame);
    double mean = 0;
    for (double d : bars) mean += d / double(bars.size());
    double barSquares = 0;
    for (double d : bars) {
        barSquares += (d - mean) * (d - mean);
        t.barWorst = std::max(t.barWorst, std::fabs(d - mean));
    }
    t.barSd = std::sqrt(barSquares / double(bars.size()));
    return t;
}

inline std::vector<float> ReadFloats(const std::string &path) {
    std::vector<float> data;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return data;
    float buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, sizeof(float), 4096, file)) > 0) data.insert(data.end(), buffer, buffer + got);
    std::fclose(file);
    return data;
}

}  // namespace bench
