// Sounds converted to the audio device's rate: see sound_cache.h.
#include "sound_cache.h"

#include <samplerate.h>

#include <cmath>

namespace hostsound {

namespace {
constexpr std::size_t kMaxInput = std::size_t(1) << 24;
}  // namespace

std::vector<float> ConvertRate(const std::int16_t *samples, std::size_t count, int fromRate, int toRate) {
    if (!samples || count == 0 || count > kMaxInput || fromRate <= 0 || toRate <= 0) return {};
    std::vector<float> input(count);
    src_short_to_float_array(samples, input.data(), int(count));
    if (fromRate == toRate) return input;  // nothing to convert: the samples themselves, exactly
    double ratio = double(toRate) / double(fromRate);
    // The whole length the ratio gives: whatever the converter's last output falls short of stays silent.
    std::vector<float> output(std::size_t(std::ceil(double(count) * ratio)), 0.0f);
    SRC_DATA data{};
    data.data_in = input.data();
    data.input_frames = long(count);
    data.data_out = output.data();
    data.output_frames = long(output.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1) != 0) return {};
    return output;
}

const SoundData *SoundCache::Get(const std::int16_t *samples, std::size_t count, int rate) {
    if (!samples || count == 0) return nullptr;
    // FNV-1a over the samples: the same sound found again wherever the caller keeps it.
    std::uint64_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ std::uint16_t(samples[i])) * 1099511628211ull;
    Key key{rate, count, hash};
    auto found = sounds_.find(key);
    if (found != sounds_.end()) return found->second.get();
    auto sound = std::make_unique<SoundData>();
    sound->samples = ConvertRate(samples, count, rate, deviceRate_);
    if (sound->samples.empty()) return nullptr;
    return sounds_.emplace(key, std::move(sound)).first->second.get();
}

}  // namespace hostsound
