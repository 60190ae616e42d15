// Sounds converted to the audio device's rate, each once.
//
// Implements: conversion of mono 16-bit sounds to mono floats at the device rate with a
// band-limited (sinc) converter, kept for the life of the cache and found again by content, so a
// sound the program plays again costs nothing and its samples never move while a voice plays them.
// The first 200 ms are converted at once; the rest by a worker thread, far faster than it plays,
// so a long note starts on time the first time too. Where there are no threads (HOSTSOUND_NO_THREADS,
// the browser) each sound is converted whole at once: 2 s of note take a few milliseconds.
// Leaves out: eviction (the program plays a few dozen short sounds).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace hostsound {

// A converted sound: `length` frames, of which the first `ready` are written (the rest follow).
struct SoundData {
    std::vector<float> samples;
    std::atomic<std::size_t> ready{0};
    std::size_t Length() const { return samples.size(); }
};

class SoundCache {
public:
    explicit SoundCache(int deviceRate);
    ~SoundCache();
    SoundCache(const SoundCache &) = delete;
    SoundCache &operator=(const SoundCache &) = delete;

    // The sound at the device rate, or nullptr when it cannot be converted.
    const SoundData *Get(const std::int16_t *samples, std::size_t count, int rate);
    // Waits until every conversion is complete (for tests and benchmarks).
    void Finish();

    std::size_t Size() const { return sounds_.size(); }

    struct Job;

private:
    using Key = std::tuple<int, std::size_t, std::uint64_t>;  // rate, count, content hash
    void Work();

    int deviceRate_;
    std::map<Key, std::unique_ptr<SoundData>> sounds_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<std::unique_ptr<Job>> jobs_;
    [[maybe_unused]] bool stop_ = false;  // (unused without threads)
    [[maybe_unused]] bool busy_ = false;
    std::thread worker_;
};

// Converts `count` samples at `fromRate` to `toRate` in one go (empty on failure).
std::vector<float> ConvertRate(const std::int16_t *samples, std::size_t count, int fromRate, int toRate);

}  // namespace hostsound
