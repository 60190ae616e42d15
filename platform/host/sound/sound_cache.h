// Sounds converted to the audio device's rate, each once.
//
// Implements: conversion of mono 16-bit sounds to mono floats at the device rate with a
// band-limited (sinc) converter, kept for the life of the cache and found again by content, so a
// sound the program plays again costs nothing and its samples never move while a voice plays them.
// A sound is converted whole the first time it is asked for, on the caller's thread: the longest
// note (a second at 11025 Hz) takes about 10 ms to 48 kHz on a small two-core machine, inside the
// 60 ms a sound is scheduled ahead, so even its first play starts on its beat.
// Leaves out: eviction (the program plays a few dozen short sounds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace hostsound {

// A converted sound.
struct SoundData {
    std::vector<float> samples;
    std::size_t Length() const { return samples.size(); }
};

class SoundCache {
public:
    explicit SoundCache(int deviceRate) : deviceRate_(deviceRate) {}

    // The sound at the device rate, or nullptr when it cannot be converted.
    const SoundData *Get(const std::int16_t *samples, std::size_t count, int rate);
    std::size_t Size() const { return sounds_.size(); }

private:
    using Key = std::tuple<int, std::size_t, std::uint64_t>;  // rate, count, content hash
    int deviceRate_;
    std::map<Key, std::unique_ptr<SoundData>> sounds_;
};

// Converts `count` samples at `fromRate` to `toRate` in one go (empty on failure).
std::vector<float> ConvertRate(const std::int16_t *samples, std::size_t count, int fromRate, int toRate);

}  // namespace hostsound
