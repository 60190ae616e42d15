// The sound engine of the desktop host: see audio_engine.h.
#include "audio_engine.h"

#include <algorithm>

namespace sdlhost {

AudioEngine::AudioEngine(int rate, int bufferFrames, int latencyMs, double rateSpread)
    : rate_(rate), bufferFrames_(bufferFrames), latencyNs_(std::int64_t(latencyMs) * 1000000),
      clock_(rate, bufferFrames, rateSpread) {}

void AudioEngine::DrainPoints() {
    int count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count = pointCount_;
        int first = (pointHead_ - pointCount_ + kPoints) % kPoints;
        for (int i = 0; i < count; ++i)
            drained_[i] = points_[(first + i) % kPoints];
        pointCount_ = 0;
    }
    for (int i = 0; i < count; ++i)
        clock_.AddCallback(drained_[i].timeNs, drained_[i].frame);
}

std::int64_t AudioEngine::Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs) {
    DrainPoints();
    std::int64_t frame = -1;
    if (!clock_.FrameAt(messageNs + latencyNs_, nowNs, &frame))
        frame = -1;
    std::lock_guard<std::mutex> lock(mutex_);
    Command command{id, sound, frame};
    if (commandCount_ < kCommands)
        commands_[commandCount_++] = command;
    else
        commands_[kCommands - 1] = command;   // the callback stopped running: the newest sound wins
    return frame;
}

int AudioEngine::TakeStarted(Started *out, int max) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = std::min(max, startedCount_);
    std::copy(started_, started_ + count, out);
    std::copy(started_ + count, started_ + startedCount_, started_);
    startedCount_ -= count;
    return count;
}

void AudioEngine::StartVoice(const Command &command, std::int64_t at, std::int64_t nowNs, std::int64_t bufferFrame) {
    voice_ = command.sound;
    voicePos_ = 0;
    if (command.sound && justStartedCount_ < kStarted)
        justStarted_[justStartedCount_++] = Started{command.id, at, command.frame, nowNs, bufferFrame};
}

void AudioEngine::Render(float *out, int frames, std::int64_t nowNs) {
    // Exchange with the main thread: record this callback, take new sounds, hand over reports.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        points_[pointHead_] = Point{nowNs, frame_};
        pointHead_ = (pointHead_ + 1) % kPoints;
        pointCount_ = std::min(pointCount_ + 1, kPoints);
        for (int i = 0; i < commandCount_; ++i) {
            // Keep the pending sounds in order of their start frames; when full, the latest is replaced.
            const Command &command = commands_[i];
            int at = pendingCount_ < kPending ? pendingCount_++ : kPending - 1;
            while (at > 0 && pending_[at - 1].frame > command.frame) {
                pending_[at] = pending_[at - 1];
                --at;
            }
            pending_[at] = command;
        }
        commandCount_ = 0;
        int room = kStarted - startedCount_;
        int count = std::min(room, justStartedCount_);
        std::copy(justStarted_, justStarted_ + count, started_ + startedCount_);
        startedCount_ += count;
        justStartedCount_ = 0;
    }

    int pos = 0;
    while (pos < frames) {
        // Start every sound due at or before this frame: one voice, the latest start wins.
        int taken = 0;
        while (taken < pendingCount_ && pending_[taken].frame <= frame_ + pos) {
            StartVoice(pending_[taken], frame_ + pos, nowNs, frame_);
            ++taken;
        }
        if (taken > 0) {
            std::copy(pending_ + taken, pending_ + pendingCount_, pending_);
            pendingCount_ -= taken;
        }
        int end = frames;
        if (pendingCount_ > 0)
            end = int(std::min<std::int64_t>(frames, pending_[0].frame - frame_));
        int count = end - pos;
        int playing = 0;
        if (voice_) {
            // Frames still being converted (never, in practice: conversion is far ahead) are silent.
            std::size_t length = voice_->Length();
            std::size_t ready = std::min(voice_->ready.load(std::memory_order_acquire), length);
            playing = int(std::min<std::size_t>(std::size_t(count), length - voicePos_));
            int written = voicePos_ < ready ? int(std::min<std::size_t>(std::size_t(playing), ready - voicePos_)) : 0;
            std::copy(voice_->samples.data() + voicePos_, voice_->samples.data() + voicePos_ + written, out + pos);
            std::fill(out + pos + written, out + pos + playing, 0.0f);
            voicePos_ += std::size_t(playing);
            if (voicePos_ >= length)
                voice_ = nullptr;
        }
        std::fill(out + pos + playing, out + end, 0.0f);
        pos = end;
    }
    frame_ += frames;
}

}  // namespace sdlhost
