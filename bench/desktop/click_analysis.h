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
    double frame;   // start of the click in the stream
    int kind;       // index of the waveform that matched
    double match;   // normalized correlation, 1 = identical
};

inline std::vector<Click> FindClicks(const std::vector<float> &stream, const std::vector<std::vector<float>> &waveforms,
                                     double rate) {
    std::vector<Click> clicks;
    if (waveforms.empty())
        return clicks;
    float peak = 0;
    for (const auto &w : waveforms)
        for (float v : w)
            peak = std::max(peak, std::fabs(v));
    const float threshold = peak * 0.2f;
    // Where each waveform first crosses the threshold, and its energy.
    std::vector<std::size_t> rise(waveforms.size(), 0);
    std::vector<double> energy(waveforms.size(), 0);
    for (std::size_t k = 0; k < waveforms.size(); ++k) {
        while (rise[k] < waveforms[k].size() && std::fabs(waveforms[k][rise[k]]) < threshold)
            ++rise[k];
        for (float v : waveforms[k])
            energy[k] += double(v) * v;
    }
    const std::size_t quiet = std::size_t(0.03 * rate);   // a click needs 30 ms below threshold before it
    std::size_t lastLoud = 0;
    bool anyLoud = false;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (std::fabs(stream[i]) < threshold)
            continue;
        bool starts = !anyLoud || i - lastLoud > quiet;
        lastLoud = i;
        anyLoud = true;
        if (!starts)
            continue;
        Click best{0, -1, -2};
        for (std::size_t k = 0; k < waveforms.size(); ++k) {
            const auto &w = waveforms[k];
            auto correlate = [&](long start) {
                if (start < 0 || std::size_t(start) + w.size() > stream.size())
                    return -2.0;
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
            if (bestScore <= best.match)
                continue;
            double offset = 0;
            std::size_t at = std::size_t(bestLag + 40);
            if (at > 0 && at + 1 < scores.size()) {
                double a = scores[at - 1], b = scores[at], c = scores[at + 1];
                double denominator = a - 2 * b + c;
                if (denominator < 0)
                    offset = 0.5 * (a - c) / denominator;
            }
            best = Click{double(centre + bestLag) + offset, int(k), bestScore};
        }
        if (best.kind >= 0 && best.match > 0.5)
            clicks.push_back(best);
    }
    return clicks;
}

struct Timing {
    int count = 0;
    double meanInterval = 0;    // frames
    double stdDev = 0;          // frames, of the intervals about the nominal one
    double stdDevMean = 0;      // frames, of the intervals about their mean (the device's own rate)
    double worstMean = 0;       // frames, largest deviation of an interval from the mean
    double worst = 0;           // frames, largest deviation of an interval from the nominal one
    double first = 0;           // frames, the first interval
    double drift = 0;           // frames, last click against first + (count - 1) nominal intervals
    double worstMatch = 1;
};

inline Timing Measure(const std::vector<Click> &clicks, double nominalInterval) {
    Timing t;
    t.count = int(clicks.size());
    if (clicks.size() < 2)
        return t;
    double sum = 0, squares = 0;
    for (std::size_t i = 1; i < clicks.size(); ++i) {
        double interval = clicks[i].frame - clicks[i - 1].frame;
        double deviation = interval - nominalInterval;
        sum += interval;
        squares += deviation * deviation;
        t.worst = std::max(t.worst, std::fabs(deviation));
    }
    for (const Click &c : clicks)
        t.worstMatch = std::min(t.worstMatch, c.match);
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
    std::printf("%s: %d clicks, nominal interval %.1f frames (%.3f ms) at %.0f Hz\n", label, t.count,
                nominalInterval, ms(nominalInterval), rate);
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

inline std::vector<float> ReadFloats(const std::string &path) {
    std::vector<float> data;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return data;
    float buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, sizeof(float), 4096, file)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    std::fclose(file);
    return data;
}

}  // namespace bench
