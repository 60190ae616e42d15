// Prints how long the synthesizer takes to render and pack all 27 sounds (the work the build's
// wavesynth step does, without writing the files).
#include <chrono>
#include <cstdio>

#include "sound_table.h"
#include "synth.h"

int main() {
    constexpr int kRounds = 10;
    size_t bytes = 0;
    double best_ms = 1e9, total_ms = 0.0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        bytes = 0;
        for (const sounds::Sound &sound : sounds::kSounds) bytes += sounds::WaveFile(sound.id).size();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best_ms = ms < best_ms ? ms : best_ms;
        total_ms += ms;
    }
    std::printf("all 27 sounds (%zu bytes): best %.1f ms, mean %.1f ms over %d rounds\n", bytes, best_ms,
                total_ms / kRounds, kRounds);
    for (const sounds::Sound &sound : sounds::kSounds) {
        const auto start = std::chrono::steady_clock::now();
        const size_t size = sounds::WaveFile(sound.id).size();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("  %d  %6zu bytes  %6.2f ms\n", sound.id, size, ms);
    }
    return 0;
}
