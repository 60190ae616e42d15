// The audio device through the sound server's own protocol (PulseAudio, or PipeWire speaking it).
//
// Implements: one mono 16-bit stream kept seconds ahead of what is heard, mostly silence and topped
// up by a timer every two seconds, so an idle program wakes about once a second; a sound is written
// into that queue at its start frame, over what was queued there (the server takes back any frames
// its device already held, as it does for any seek), so it is heard exactly at its message time +
// the latency and cuts off the sound before it; the device clock read from the server's timing
// reports and followed by DeviceClock, so a run of sounds keeps exact spacing. A server that cannot
// be reached, or goes away, leaves the program silent: nothing blocks.
// Leaves out: choosing a sink, volume, recording.
#pragma once

#include <cstdint>
#include <memory>

#include "audio_engine.h"
#include "device_clock.h"
#include "sound_cache.h"

struct pa_mainloop_api;
struct pa_stream;
struct pa_time_event;
struct timeval;

namespace sdlhost {

class PulseOutput {
public:
    // Connects and starts the stream at `rate`; nullptr when there is no server.
    static std::unique_ptr<PulseOutput> Open(int rate, int latencyMs);
    ~PulseOutput();
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    // Main thread. Starts `sound` (nullptr: silence) so its first frame is heard at messageNs + the
    // latency. Returns the frame chosen, -1 when the stream is gone.
    std::int64_t Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs);
    // Main thread: the sounds started, for traces (callbackNs/callbackFrame: the frame heard at a
    // moment, so the moment each sound is heard follows).
    int TakeStarted(AudioEngine::Started *out, int max);

    int Rate() const { return rate_; }
    bool Broken() const;
    double MeasuredRate();
    int Restarts();

    struct Server;   // the connection, in the source file

private:
    PulseOutput(int rate, int latencyMs);
    static void OnTiming(pa_stream *, void *self);
    std::int64_t HeardAt(std::int64_t nowNs) const;   // -1 before the first report
    void Write(std::int64_t from, std::int64_t count);
    static void Refill(pa_mainloop_api *, pa_time_event *event, const timeval *, void *self);

    const int rate_;
    const std::int64_t latencyNs_;
    std::unique_ptr<Server> server_;
    // Guarded by the server's lock (the server thread asks for sound; the main thread plays).
    DeviceClock clock_;
    const SoundData *voice_ = nullptr;
    std::int64_t voiceStart_ = 0;
    std::int64_t written_ = 0;   // frames queued so far: the stream's write position
    std::int64_t heard_ = -1;    // the frame heard at the last report (-1: none yet)
    std::int64_t heardNs_ = 0;   // and when
    AudioEngine::Started started_[64];
    int startedCount_ = 0;
};

}  // namespace sdlhost
