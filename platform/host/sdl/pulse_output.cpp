// The audio device through the sound server's own protocol: see pulse_output.h.
#include "pulse_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <thread>

#include "sdl_host.h"

namespace sdlhost {

namespace {

// The queue ahead of what is heard, topped up once a second: one wake-up a second while idle.
// (The stream's own requests cannot be used: the client library counts every rewrite against
// them and would stop asking.)
constexpr int kQueueMs = 4000;
constexpr int kRefillMs = 2000;
constexpr int kStartingMs = 50;
// How far ahead the server's device renders: a stream that asks for no adjustment gets
// (queue - 2 x request) there, and without it the server would pick its largest (seconds). Below
// the latency, so a sound is normally written before the device has taken the frames it replaces.
constexpr int kDeviceAheadMs = 40;
// Never write over frames closer to being heard than this: the device may already hold them
// (a server that works in cycles takes up to 21 ms at once).
constexpr int kGuardMs = 25;
// The clock reads "frames asked for one buffer before they are heard"; the server's reports say
// what is heard, so they are handed over this many frames ahead.
constexpr int kGrainFrames = 480;
// No report for this long when a sound is scheduled: the stream has stopped (reports come with
// every refill and every sound).
constexpr double kReportStallSeconds = 5.0;
// How long connecting may take before the program goes on without sound.
constexpr pa_usec_t kConnectTimeoutUs = 2 * PA_USEC_PER_SEC;

void Signal(pa_threaded_mainloop *loop) { pa_threaded_mainloop_signal(loop, 0); }

}  // namespace

struct PulseOutput::Server {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    pa_time_event *refill = nullptr;
    bool timedOut = false;

    ~Server() {
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (refill)
            pa_threaded_mainloop_get_api(loop)->time_free(refill);
        if (stream) {
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_threaded_mainloop_free(loop);
    }

    // With the lock held: waits until `ready` says yes (true) or no (false), or the time is up.
    template <typename Ready>
    bool Await(Ready ready) {
        for (;;) {
            int state = ready();
            if (state != 0)
                return state > 0;
            if (timedOut)
                return false;
            pa_threaded_mainloop_wait(loop);
        }
    }
};

PulseOutput::PulseOutput(int rate, int latencyMs)
    : rate_(rate), latencyNs_(std::int64_t(latencyMs) * 1000000), server_(std::make_unique<Server>()),
      clock_(rate, kGrainFrames, DeviceClock::kCrystalSpread, kReportStallSeconds) {}

PulseOutput::~PulseOutput() { server_.reset(); }

std::unique_ptr<PulseOutput> PulseOutput::Open(int rate, int latencyMs) {
    std::unique_ptr<PulseOutput> out(new PulseOutput(rate, latencyMs));
    Server &s = *out->server_;
    s.loop = pa_threaded_mainloop_new();
    if (!s.loop)
        return nullptr;
    s.context = pa_context_new(pa_threaded_mainloop_get_api(s.loop), "Cadenzo");
    if (!s.context)
        return nullptr;
    auto signal = [](pa_context *, void *loop) { Signal(static_cast<pa_threaded_mainloop *>(loop)); };
    pa_context_set_state_callback(s.context, signal, s.loop);
    if (pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return nullptr;
    if (pa_threaded_mainloop_start(s.loop) < 0)
        return nullptr;

    pa_threaded_mainloop_lock(s.loop);
    // A server that accepts the connection and then says nothing must not hold the program up.
    pa_time_event *timer = pa_context_rttime_new(
        s.context, pa_rtclock_now() + kConnectTimeoutUs,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *server) {
            auto *self = static_cast<Server *>(server);
            self->timedOut = true;
            Signal(self->loop);
        },
        &s);
    bool ok = s.Await([&] {
        pa_context_state_t state = pa_context_get_state(s.context);
        return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
    if (ok) {
        pa_sample_spec format{PA_SAMPLE_S16NE, std::uint32_t(rate), 1};
        s.stream = pa_stream_new(s.context, "Cadenzo", &format, nullptr);
        ok = s.stream != nullptr;
    }
    if (ok) {
        pa_stream_set_latency_update_callback(s.stream, OnTiming, out.get());
        pa_stream_set_state_callback(
            s.stream, [](pa_stream *, void *loop) { Signal(static_cast<pa_threaded_mainloop *>(loop)); }, s.loop);
        auto bytes = [rate](int ms) { return std::uint32_t(std::int64_t(rate) * ms / 1000 * sizeof(std::int16_t)); };
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = bytes(kQueueMs);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = bytes((kQueueMs - kDeviceAheadMs) / 2);
        attr.fragsize = std::uint32_t(-1);
        // Corked until the queue is written: a stream that starts empty waits for the device to play
        // out what it rendered before (up to seconds) before its first frame is heard.
        auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED);
        ok = pa_stream_connect_playback(s.stream, nullptr, &attr, flags, nullptr, nullptr) == 0 && s.Await([&] {
            pa_stream_state_t state = pa_stream_get_state(s.stream);
            return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
        });
    }
    if (ok) {
        const pa_buffer_attr *got = pa_stream_get_buffer_attr(s.stream);
        Trace("audio-server queue %u request %u start %u (bytes)", got->tlength, got->minreq, got->prebuf);
    }
    if (timer)
        pa_threaded_mainloop_get_api(s.loop)->time_free(timer);
    if (ok) {
        out->Refill(nullptr, nullptr, nullptr, out.get());
        if (pa_operation *o = pa_stream_cork(s.stream, 0, nullptr, nullptr))
            pa_operation_unref(o);
        s.refill = pa_context_rttime_new(s.context, pa_rtclock_now() + kStartingMs * PA_USEC_PER_MSEC, Refill, out.get());
    }
    pa_threaded_mainloop_unlock(s.loop);
    if (!ok)
        return nullptr;
    return out;
}

bool PulseOutput::Broken() const {
    pa_threaded_mainloop_lock(server_->loop);
    bool broken = pa_stream_get_state(server_->stream) != PA_STREAM_READY;
    pa_threaded_mainloop_unlock(server_->loop);
    return broken;
}

double PulseOutput::MeasuredRate() {
    pa_threaded_mainloop_lock(server_->loop);
    double rate = clock_.MeasuredRate();
    pa_threaded_mainloop_unlock(server_->loop);
    return rate;
}

int PulseOutput::Restarts() {
    pa_threaded_mainloop_lock(server_->loop);
    int restarts = clock_.Restarts();
    pa_threaded_mainloop_unlock(server_->loop);
    return restarts;
}

void PulseOutput::OnTiming(pa_stream *, void *self) {
    // A report from the server: which frame was being heard at the moment it was made. Only a
    // report that says the stream plays is a reading of the device (before it starts, or while the
    // server waits for sound, the frames stand still).
    auto *out = static_cast<PulseOutput *>(self);
    const pa_timing_info *info = pa_stream_get_timing_info(out->server_->stream);
    if (!info || !info->playing || info->read_index_corrupt || info->read_index < 0)
        return;
    std::int64_t usec = std::int64_t(pa_bytes_to_usec(std::uint64_t(info->read_index), pa_stream_get_sample_spec(out->server_->stream)));
    if (!info->synchronized_clocks)
        usec += std::int64_t(info->transport_usec);   // the report took this long to arrive
    usec -= std::int64_t(info->sink_usec);           // what the device holds is not heard yet
    std::int64_t atNs = NowNs() - std::int64_t(pa_timeval_age(&info->timestamp)) * 1000;
    std::int64_t heard = std::int64_t(std::llround(double(usec) * out->rate_ / 1e6));
    out->clock_.AddCallback(atNs, heard + kGrainFrames);
    out->heard_ = heard;
    out->heardNs_ = atNs;
}

std::int64_t PulseOutput::HeardAt(std::int64_t nowNs) const {
    if (heard_ < 0)
        return -1;
    return heard_ + std::int64_t(double(nowNs - heardNs_) * 1e-9 * rate_);
}

void PulseOutput::Write(std::int64_t from, std::int64_t count) {
    std::int64_t end = from + count;
    for (std::int64_t at = from; at < end;) {
        // Straight into the server's shared memory: one block per request, not a copy per chunk.
        void *data = nullptr;
        std::size_t bytes = std::size_t(end - at) * sizeof(std::int16_t);
        if (pa_stream_begin_write(server_->stream, &data, &bytes) < 0 || !data || bytes < sizeof(std::int16_t))
            break;
        int n = int(std::min<std::int64_t>(std::int64_t(bytes / sizeof(std::int16_t)), end - at));
        auto *out = static_cast<std::int16_t *>(data);
        // The voice's frames where it sounds, silence elsewhere; frames still being converted are silent.
        std::int64_t ready = 0, length = 0;
        if (voice_) {
            length = std::int64_t(voice_->Length());
            ready = std::min<std::int64_t>(std::int64_t(voice_->ready.load(std::memory_order_acquire)), length);
        }
        std::fill(out, out + n, std::int16_t(0));
        std::int64_t first = std::clamp<std::int64_t>(voiceStart_ - at, 0, n);
        std::int64_t last = std::clamp<std::int64_t>(voiceStart_ + ready - at, 0, n);
        for (std::int64_t i = first; i < last; ++i) {
            float v = voice_->samples[std::size_t(at + i - voiceStart_)];
            out[i] = std::int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        }
        // Every write says where it goes: frame k of the stream is byte 2k.
        if (pa_stream_write(server_->stream, data, std::size_t(n) * sizeof(std::int16_t), nullptr,
                            at * std::int64_t(sizeof(std::int16_t)), PA_SEEK_ABSOLUTE) < 0)
            break;
        at += n;
    }
    written_ = std::max(written_, end);
}

void PulseOutput::Refill(pa_mainloop_api *, pa_time_event *event, const struct timeval *, void *self) {
    auto *out = static_cast<PulseOutput *>(self);
    std::int64_t target = std::max<std::int64_t>(out->HeardAt(NowNs()), 0) + std::int64_t(out->rate_) * kQueueMs / 1000;
    if (target > out->written_)
        out->Write(out->written_, target - out->written_);
    // A fresh report each time (and one with every sound): the clock's readings.
    if (pa_operation *o = pa_stream_update_timing_info(out->server_->stream, nullptr, nullptr))
        pa_operation_unref(o);
    // Until the stream is heard to play, ask often, so the first reading comes as soon as it does.
    pa_usec_t next = out->heard_ < 0 ? kStartingMs * PA_USEC_PER_MSEC : kRefillMs * PA_USEC_PER_MSEC;
    if (event)
        pa_context_rttime_restart(out->server_->context, event, pa_rtclock_now() + next);
}

std::int64_t PulseOutput::Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs) {
    // A sound played for the first time is still being converted past its head, and the queue
    // ahead is written at once: wait for the part it covers (conversion runs far faster than that).
    if (sound) {
        std::size_t needed = std::min(sound->Length(), std::size_t(std::int64_t(rate_) * (kQueueMs + 200) / 1000));
        for (int i = 0; i < 200 && sound->ready.load(std::memory_order_acquire) < needed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pa_threaded_mainloop_lock(server_->loop);
    if (pa_stream_get_state(server_->stream) != PA_STREAM_READY) {
        pa_threaded_mainloop_unlock(server_->loop);
        return -1;
    }
    // A report with every sound, so a run of sounds keeps the clock up to date.
    if (pa_operation *o = pa_stream_update_timing_info(server_->stream, nullptr, nullptr))
        pa_operation_unref(o);
    std::int64_t scheduled = 0;
    clock_.FrameAt(messageNs + latencyNs_, nowNs, &scheduled);
    std::int64_t heard = HeardAt(nowNs);
    std::int64_t earliest = std::max<std::int64_t>(heard, 0) + std::int64_t(rate_) * kGuardMs / 1000;
    std::int64_t frame = std::max(scheduled, earliest);
    if (frame > written_)
        Write(written_, frame - written_);   // the sound before plays on up to here
    // Write the new sound over what is queued from its frame, and silence over the rest of the
    // sound before; past both, the queue holds silence already. The server takes the end of the
    // last write as the end of the queue, so the queue's last frame is written again too.
    std::int64_t oldEnd = voice_ ? voiceStart_ + std::int64_t(voice_->Length()) : 0;
    voice_ = sound;
    voiceStart_ = frame;
    std::int64_t newEnd = sound ? frame + std::int64_t(sound->Length()) : frame;
    std::int64_t end = std::min(written_ - 1, std::max(oldEnd, newEnd));
    if (frame < end)
        Write(frame, end - frame);
    if (frame < written_)
        Write(std::max(frame, written_ - 1), written_ - std::max(frame, written_ - 1));
    if (sound && startedCount_ < int(sizeof started_ / sizeof started_[0]))
        started_[startedCount_++] = AudioEngine::Started{id, frame, scheduled, nowNs, std::max<std::int64_t>(heard, 0)};
    pa_threaded_mainloop_unlock(server_->loop);
    return frame;
}

int PulseOutput::TakeStarted(AudioEngine::Started *out, int max) {
    pa_threaded_mainloop_lock(server_->loop);
    int count = std::min(max, startedCount_);
    std::copy(started_, started_ + count, out);
    std::copy(started_ + count, started_ + startedCount_, started_);
    startedCount_ -= count;
    pa_threaded_mainloop_unlock(server_->loop);
    return count;
}

}  // namespace sdlhost
