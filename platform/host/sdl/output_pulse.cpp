// The output through PulseAudio's own protocol: the schedule written seconds ahead into the server.
//
// Implements: one mono 16-bit stream kept seconds ahead of what is heard, mostly silence (left as holes
// the server fills, so no data goes there), topped up every four seconds, so an idle program wakes
// about once in two seconds; a new sound wakes the stream's thread (an eventfd: the main thread never
// waits on the server), which writes the changed frames again over what was queued there (the server
// takes back frames its device already held, as for any seek); the frame heard when, from the
// server's timing reports. Connecting gives up after 2 s.
// Leaves out: choosing a sink, volume.
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "outputs.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

// The queue ahead of what is heard. (The stream's own requests cannot be used: the client library
// counts every rewrite against them and would stop asking.)
constexpr int kQueueMs = 8000;
constexpr int kRefillMs = 4000;
constexpr int kStartingMs = 50;  // refills while the stream has not been heard
// How far ahead the server's device renders: a stream that asks for no adjustment gets
// (queue - 2 x request) there, and without it the server would pick its largest (seconds).
constexpr int kDeviceAheadMs = 40;
// Never write over frames closer to being heard than this: the device may already hold them.
constexpr int kGuardMs = 25;
constexpr int kGrainFrames = 480;
constexpr int kHoleFrames = kOutputRate / 10;  // silence this long, never written before, is not sent
constexpr int kChunkFrames = kOutputRate;      // rendered at a time
// No report for this long when a sound is scheduled: the stream has stopped (reports come with
// every refill and every sound).
constexpr double kReportStallSeconds = 10.0;
constexpr pa_usec_t kConnectTimeoutUs = 2 * PA_USEC_PER_SEC;

class PulseOutput : public Output {
public:
    explicit PulseOutput(Scheduler &scheduler) : scheduler_(scheduler) {}
    ~PulseOutput() override {
        if (loop_) pa_threaded_mainloop_stop(loop_);
        pa_mainloop_api *api = loop_ ? pa_threaded_mainloop_get_api(loop_) : nullptr;
        if (refill_) api->time_free(refill_);
        if (wakeEvent_) api->io_free(wakeEvent_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_) pa_threaded_mainloop_free(loop_);
        if (wakeFd_ >= 0) close(wakeFd_);
    }

    bool Open(std::string *why);
    const char *Name() const override { return "pulse"; }
    OutputTiming Timing() const override {
        OutputTiming timing;
        timing.rate = kOutputRate;
        timing.grainFrames = kGrainFrames;
        timing.guardFrames = kOutputRate * kGuardMs / 1000;
        timing.stallSeconds = kReportStallSeconds;
        return timing;
    }
    std::function<void()> Wake() override {
        int fd = wakeFd_;
        return [fd] {
            std::uint64_t one = 1;
            (void)!write(fd, &one, sizeof one);
        };
    }
    void Start() override;

private:
    static void Signal(void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); }
    // The context's or the stream's state changed: wakes Open, and says when the server is gone.
    static void OnState(void *self) {
        auto *out = static_cast<PulseOutput *>(self);
        if (out->started_ && (pa_context_get_state(out->context_) != PA_CONTEXT_READY ||
                              pa_stream_get_state(out->stream_) != PA_STREAM_READY))
            out->SetBroken();
        Signal(out->loop_);
    }
    template <typename Ready>
    bool Await(Ready ready);
    static void OnTiming(pa_stream *, void *self);
    static void OnWake(pa_mainloop_api *, pa_io_event *, int, pa_io_event_flags_t, void *self);
    static void Refill(pa_mainloop_api *, pa_time_event *, const timeval *, void *self);
    void Write(std::int64_t from, std::int64_t count);
    void Send(std::int64_t at, const float *samples, int n);
    void AskForTiming();

    Scheduler &scheduler_;
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    pa_time_event *refill_ = nullptr;
    pa_io_event *wakeEvent_ = nullptr;
    int wakeFd_ = -1;
    bool timedOut_ = false;
    bool started_ = false;  // the loop thread's lock
    // The stream's thread only.
    std::int64_t written_ = 0;  // frames queued so far: the stream's write position
    std::int64_t heard_ = -1;   // the frame heard at the last report, and when
    std::int64_t heardNs_ = 0;
    std::vector<float> mono_;
};

// With the loop's lock held: waits until `ready` says yes (true) or no (false), or the time is up.
template <typename Ready>
bool PulseOutput::Await(Ready ready) {
    for (;;) {
        int state = ready();
        if (state != 0) return state > 0;
        if (timedOut_) return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

bool PulseOutput::Open(std::string *why) {
    *why = "PulseAudio: no server";
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    loop_ = pa_threaded_mainloop_new();
    if (wakeFd_ < 0 || !loop_) return false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Cadenzo");
    if (!context_) return false;
    pa_context_set_state_callback(
        context_, [](pa_context *, void *self) { OnState(self); }, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0)
        return false;

    pa_threaded_mainloop_lock(loop_);
    // A server that accepts the connection and then says nothing must not hold the sound up for long.
    pa_time_event *timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + kConnectTimeoutUs,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
            auto *out = static_cast<PulseOutput *>(self);
            out->timedOut_ = true;
            Signal(out->loop_);
        },
        this);
    bool ok = Await([&] {
        pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
    if (ok) {
        pa_sample_spec format{PA_SAMPLE_S16NE, std::uint32_t(kOutputRate), 1};
        stream_ = pa_stream_new(context_, "Cadenzo", &format, nullptr);
        ok = stream_ != nullptr;
    }
    if (ok) {
        pa_stream_set_latency_update_callback(stream_, OnTiming, this);
        pa_stream_set_state_callback(
            stream_, [](pa_stream *, void *self) { OnState(self); }, this);
        auto bytes = [](int ms) { return std::uint32_t(std::int64_t(kOutputRate) * ms / 1000 * sizeof(std::int16_t)); };
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = bytes(kQueueMs);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = bytes((kQueueMs - kDeviceAheadMs) / 2);
        attr.fragsize = std::uint32_t(-1);
        // Corked until the queue is written: a stream that starts empty waits for the device to play
        // out what it rendered before (up to seconds) before its first frame is heard.
        ok = pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_START_CORKED, nullptr, nullptr) == 0 &&
             Await([&] {
                 pa_stream_state_t state = pa_stream_get_state(stream_);
                 return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
             });
    }
    if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    if (ok) {
        const pa_buffer_attr *got = pa_stream_get_buffer_attr(stream_);
        Trace("audio-server queue %u request %u start %u (bytes)", got->tlength, got->minreq, got->prebuf);
        Trace("audio-open pulse %d 1 0 %d", kOutputRate, LatencyMs());
    } else {
        *why = timedOut_ ? "PulseAudio: the server does not answer" : "PulseAudio: no server";
    }
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}

void PulseOutput::Start() {
    pa_threaded_mainloop_lock(loop_);
    started_ = true;
    if (pa_context_get_state(context_) != PA_CONTEXT_READY || pa_stream_get_state(stream_) != PA_STREAM_READY)
        SetBroken();
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
    wakeEvent_ = api->io_new(api, wakeFd_, PA_IO_EVENT_INPUT, OnWake, this);
    Refill(nullptr, nullptr, nullptr, this);
    if (pa_operation *o = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(o);
    refill_ = pa_context_rttime_new(context_, pa_rtclock_now() + kStartingMs * PA_USEC_PER_MSEC, Refill, this);
    pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::AskForTiming() {
    if (pa_operation *o = pa_stream_update_timing_info(stream_, nullptr, nullptr)) pa_operation_unref(o);
}

void PulseOutput::OnTiming(pa_stream *, void *self) {
    // A report from the server: which frame was being heard at the moment it was made. Only a report
    // that says the stream plays is a reading of the device (before it starts the frames stand still).
    auto *out = static_cast<PulseOutput *>(self);
    const pa_timing_info *info = pa_stream_get_timing_info(out->stream_);
    if (!info || !info->playing || info->read_index_corrupt || info->read_index < 0) return;
    auto usec =
        std::int64_t(pa_bytes_to_usec(std::uint64_t(info->read_index), pa_stream_get_sample_spec(out->stream_)));
    if (!info->synchronized_clocks) usec += std::int64_t(info->transport_usec);  // the report took this long to arrive
    usec -= std::int64_t(info->sink_usec);  // what the device holds is not heard yet
    std::int64_t atNs = NowNs() - std::int64_t(pa_timeval_age(&info->timestamp)) * 1000;
    out->heard_ = std::llround(double(usec) * kOutputRate / 1e6);
    out->heardNs_ = atNs;
    out->scheduler_.Report(atNs, out->heard_);
}

// Sends frames [at, at + n) to the server, straight into its shared memory (one block per request,
// not a copy per chunk); every write says where it goes: frame k of the stream is byte 2k.
void PulseOutput::Send(std::int64_t at, const float *samples, int n) {
    while (n > 0) {
        void *data = nullptr;
        std::size_t bytes = std::size_t(n) * sizeof(std::int16_t);
        if (pa_stream_begin_write(stream_, &data, &bytes) < 0 || !data || bytes < sizeof(std::int16_t)) return;
        int part = std::min(n, int(bytes / sizeof(std::int16_t)));
        auto *out = static_cast<std::int16_t *>(data);
        for (int i = 0; i < part; ++i)
            out[i] = std::int16_t(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f));
        if (pa_stream_write(stream_, data, std::size_t(part) * sizeof(std::int16_t), nullptr,
                            at * std::int64_t(sizeof(std::int16_t)), PA_SEEK_ABSOLUTE) < 0)
            return;
        at += part;
        samples += part;
        n -= part;
    }
}

// Writes frames [from, from + count) as the schedule has them. A long silence beyond what was
// written before is left as a hole in the server's queue, which the server plays as silence: no data
// goes there and none comes back, so an idle stream costs a frame per refill, not its seconds of
// silence. Frames written before are always written again whole (a sound cut short there must go).
void PulseOutput::Write(std::int64_t from, std::int64_t count) {
    std::int64_t end = from + count;
    for (std::int64_t at = from; at < end;) {
        int n = int(std::min<std::int64_t>(end - at, kChunkFrames));
        mono_.resize(std::size_t(n));
        scheduler_.Render(mono_.data(), at, n);
        const float *samples = mono_.data();
        auto silentUntil = [&](int k) {
            while (k < n && samples[k] == 0.0f) ++k;
            return k;
        };
        for (int i = 0; i < n;) {
            int j = silentUntil(i);
            if (at + i >= written_ && j - i >= kHoleFrames) {
                // The queue's last frame is written: the server takes it as the end of the queue.
                if (at + j == end) Send(at + j - 1, samples + j - 1, 1);
                i = j;
                continue;
            }
            // Sound, and silences too short or too old for a hole, up to the next hole.
            int k = j;
            while (k < n) {
                int z = silentUntil(k);
                if (z - k >= kHoleFrames && at + k >= written_) break;
                k = z;
                while (k < n && samples[k] != 0.0f) ++k;
            }
            Send(at + i, samples + i, k - i);
            i = k;
        }
        at += n;
    }
    written_ = std::max(written_, end);
}

void PulseOutput::OnWake(pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags_t, void *self) {
    auto *out = static_cast<PulseOutput *>(self);
    std::uint64_t count;
    (void)!read(fd, &count, sizeof count);
    std::int64_t to = 0;
    std::int64_t from = out->scheduler_.TakeChange(&to);
    if (from >= 0 && from < out->written_) {
        // Write the changed frames again, then the queue's last frame: the server takes the end of
        // the last write as the end of the queue.
        to = std::min(to, out->written_ - 1);
        if (from < to) out->Write(from, to - from);
        std::int64_t last = std::max(from, out->written_ - 1);
        out->Write(last, out->written_ - last);
    }
    out->AskForTiming();  // a report with every sound keeps the clock up to date
}

void PulseOutput::Refill(pa_mainloop_api *, pa_time_event *event, const struct timeval *, void *self) {
    auto *out = static_cast<PulseOutput *>(self);
    std::int64_t heard = out->heard_ < 0 ? 0 : out->heard_ + (NowNs() - out->heardNs_) * kOutputRate / 1000000000;
    std::int64_t target = heard + std::int64_t(kOutputRate) * kQueueMs / 1000;
    if (target > out->written_) out->Write(out->written_, target - out->written_);
    out->AskForTiming();
    // Until the stream is heard to play, ask often.
    if (event)
        pa_context_rttime_restart(out->context_, event,
                                  pa_rtclock_now() + (out->heard_ < 0 ? kStartingMs : kRefillMs) * PA_USEC_PER_MSEC);
}

}  // namespace

std::unique_ptr<Output> OpenPulse(Scheduler &scheduler, std::string *why) {
    auto output = std::make_unique<PulseOutput>(scheduler);
    if (!output->Open(why)) return nullptr;
    return output;
}

}  // namespace sdlhost
