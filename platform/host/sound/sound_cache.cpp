// Sounds converted to the audio device's rate: see sound_cache.h.
// Built with HOSTSOUND_NO_THREADS (a host with no threads, the browser's), every sound is converted whole
// when it is first asked for, on the caller's thread: no worker is started.
#include "sound_cache.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace hostsound {

namespace {

constexpr int kQuality = SRC_SINC_MEDIUM_QUALITY;
#ifndef HOSTSOUND_NO_THREADS
constexpr double kHeadSeconds = 0.2;  // converted before the sound is handed to the voice
#endif
constexpr std::size_t kStepFrames = 4800;
constexpr std::size_t kMaxInput = std::size_t(1) << 24;

}  // namespace

// One conversion in progress.
struct SoundCache::Job {
    SRC_STATE *state = nullptr;
    std::vector<float> input;
    std::size_t used = 0;
    double ratio = 1;
    SoundData *out = nullptr;
    ~Job() {
        if (state) src_delete(state);
    }
    // Converts up to `frames` more; true when the sound is complete.
    bool Step(std::size_t frames) {
        std::size_t ready = out->ready.load(std::memory_order_relaxed);
        SRC_DATA data{};
        data.data_in = input.data() + used;
        data.input_frames = long(input.size() - used);
        data.data_out = out->samples.data() + ready;
        data.output_frames = long(std::min(frames, out->samples.size() - ready));
        data.src_ratio = ratio;
        data.end_of_input = 1;  // all the rest of the input is given each time
        if (data.output_frames == 0 || src_process(state, &data) != 0) {
            out->ready.store(out->samples.size(), std::memory_order_release);
            return true;
        }
        used += std::size_t(data.input_frames_used);
        ready += std::size_t(data.output_frames_gen);
        if (data.output_frames_gen == 0) ready = out->samples.size();  // the converter is done: the rest stays silent
        out->ready.store(ready, std::memory_order_release);
        return ready >= out->samples.size();
    }
};

namespace {

std::unique_ptr<SoundCache::Job> MakeJob(const std::int16_t *samples, std::size_t count, int fromRate, int toRate,
                                         SoundData *out) {
    if (!samples || count == 0 || count > kMaxInput || fromRate <= 0 || toRate <= 0) return nullptr;
    auto job = std::make_unique<SoundCache::Job>();
    job->ratio = double(toRate) / double(fromRate);
    int error = 0;
    job->state = src_new(kQuality, 1, &error);
    if (!job->state) return nullptr;
    job->input.resize(count);
    for (std::size_t i = 0; i < count; ++i) job->input[i] = float(samples[i]) / 32768.0f;
    out->samples.assign(std::size_t(std::ceil(double(count) * job->ratio)), 0.0f);
    out->ready.store(0);
    job->out = out;
    return job;
}

}  // namespace

std::vector<float> ConvertRate(const std::int16_t *samples, std::size_t count, int fromRate, int toRate) {
    SoundData out;
    auto job = MakeJob(samples, count, fromRate, toRate, &out);
    if (!job) return {};
    while (!job->Step(kStepFrames)) {
    }
    return std::move(out.samples);
}

#ifdef HOSTSOUND_NO_THREADS
SoundCache::SoundCache(int deviceRate) : deviceRate_(deviceRate) {}
SoundCache::~SoundCache() = default;
void SoundCache::Work() {}
void SoundCache::Finish() {}
#else
SoundCache::SoundCache(int deviceRate) : deviceRate_(deviceRate), worker_([this] { Work(); }) {}

SoundCache::~SoundCache() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void SoundCache::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        std::unique_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        while (!job->Step(kStepFrames)) {
        }
        job.reset();
        lock.lock();
        busy_ = false;
        done_.notify_all();
    }
}

void SoundCache::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}
#endif

const SoundData *SoundCache::Get(const std::int16_t *samples, std::size_t count, int rate) {
    if (!samples || count == 0) return nullptr;
    // FNV-1a over the samples: the same sound found again wherever the caller keeps it.
    std::uint64_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ std::uint16_t(samples[i])) * 1099511628211ull;
    Key key{rate, count, hash};
    auto found = sounds_.find(key);
    if (found != sounds_.end()) return found->second.get();
    auto sound = std::make_unique<SoundData>();
    auto job = MakeJob(samples, count, rate, deviceRate_, sound.get());
    if (!job) return nullptr;
#ifdef HOSTSOUND_NO_THREADS
    while (!job->Step(kStepFrames)) {
    }
#else
    // The head now, so the voice can start; the rest on the worker.
    if (!job->Step(std::size_t(kHeadSeconds * deviceRate_))) {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        wake_.notify_one();
    }
#endif
    return sounds_.emplace(key, std::move(sound)).first->second.get();
}

}  // namespace hostsound
