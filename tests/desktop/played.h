// What the output tests play and find again in a recording to the frame: a fixed noise burst, placed
// in the schedule at its message time.
#pragma once

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "scheduler.h"
#include "sdl_host.h"
#include "sound_cache.h"

// A sound whose samples all differ from their neighbours, so it is found at exactly one frame;
// 16-bit values, so the server passes them through unchanged.
struct Burst : hostsound::SoundData {
    explicit Burst(std::size_t length, std::uint32_t seed) {
        samples.resize(length);
        for (float &s : samples) {
            seed = seed * 1664525u + 1013904223u;
            s = float(int(seed >> 17) - 16384 + 1) / 32768.0f;
        }
    }
    std::int16_t At(std::size_t i) const { return std::int16_t(std::lround(samples[i] * 32767.0f)); }
};

// Where the first `length` samples of `burst` are heard verbatim in `heard`, searching from `from`:
// -1 when nowhere.
inline long Find(const std::vector<std::int16_t> &heard, const Burst &burst, std::size_t length, std::size_t from = 0) {
    for (std::size_t i = from; i + length <= heard.size(); ++i) {
        std::size_t j = 0;
        while (j < length && heard[i + j] == burst.At(j)) ++j;
        if (j == length) return long(i);
    }
    return -1;
}

// Every place where `burst` is heard verbatim, whole.
inline std::vector<long> FindAll(const std::vector<std::int16_t> &heard, const Burst &burst) {
    std::vector<long> at;
    for (long from = 0; (from = Find(heard, burst, burst.Length(), std::size_t(from))) >= 0; from += 1)
        at.push_back(from);
    return at;
}

// Plays `sound` stamped `ms` after `origin` (the message time), 50 ms before that moment, so a
// loaded machine that wakes the test late still schedules it ahead of what is heard.
inline std::int64_t PlayAt(hostsound::Scheduler &scheduler, const hostsound::SoundData *sound, std::uint32_t origin,
                           std::uint32_t ms) {
    constexpr std::int64_t kEarlyNs = 50000000;
    std::int64_t due = sdlhost::MessageTimeNs(origin + ms);
    while (sdlhost::NowNs() < due - kEarlyNs) std::this_thread::sleep_for(std::chrono::microseconds(200));
    return scheduler.Play(1, sound, due, sdlhost::NowNs());
}
