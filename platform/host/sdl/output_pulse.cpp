// The output through PulseAudio's own protocol: the schedule pulled as the stream asks for it.
//
// Implements: one mono 32-bit float stream at 48 kHz holding at most kPulseTargetMs ahead of what is
// heard (the server's device included); each time the server asks for frames they are rendered from
// the schedule straight into the server's memory, at the place in the stream they belong (frame k is
// byte 4k), so frames the device played without us (an underrun) are skipped and every later sound
// keeps its frame; the frame heard when, from the server's timing reports, asked for every
// kPulseReportMs. Connecting gives up after kPulseConnectTimeoutMs.
// Leaves out: choosing a sink, volume.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "outputs.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

constexpr std::int64_t kFrameBytes = sizeof(float);

class PulseOutput : public Output {
public:
    explicit PulseOutput(Scheduler &scheduler) : scheduler_(scheduler) {}
    ~PulseOutput() override {
        if (loop_) pa_threaded_mainloop_stop(loop_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_) pa_threaded_mainloop_free(loop_);
    }

    bool Open(std::string *why);
    const char *Name() const override { return "pulse"; }
    OutputTiming Timing() const override {
        OutputTiming timing;
        timing.rate = kOutputRate;
        timing.grainFrames = kPulseGrainFrames;
        timing.stallSeconds = kPulseStallSeconds;
        return timing;
    }
    void Start() override;
    std::int64_t SkippedFrames() const override { return skipped_; }

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
    bool Connect();
    bool ConnectStream();
    static void OnTiming(pa_stream *, void *self);
    static void OnWritable(pa_stream *, std::size_t bytes, void *self);
    void Hand(std::int64_t frames);
    void AskForTiming();

    Scheduler &scheduler_;
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    bool timedOut_ = false;
    bool started_ = false;  // the loop thread's lock
    std::atomic<std::int64_t> skipped_{0};
    // The loop thread only.
    std::int64_t written_ = 0;  // frames handed to the server so far: the stream's write position
    std::int64_t taken_ = 0;    // frames the server had taken from the stream at its last report
    std::int64_t askedNs_ = 0;  // when timing was last asked for
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

// With the loop's lock held: the context is ready.
bool PulseOutput::Connect() {
    return Await([&] {
        pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
}

// With the loop's lock held: the stream is made, connected and corked until Start. The server keeps
// no more than kPulseTargetMs between the frame handed last and the frame heard (it sizes its device's
// own buffer within that, ADJUST_LATENCY) and asks for kPulseRequestMs at a time; it never waits to
// fill up before playing (prebuf 0), so its read position keeps the device's time through an underrun.
bool PulseOutput::ConnectStream() {
    pa_sample_spec format{PA_SAMPLE_FLOAT32NE, std::uint32_t(kOutputRate), 1};
    stream_ = pa_stream_new(context_, "Cadenzo", &format, nullptr);
    if (!stream_) return false;
    pa_stream_set_latency_update_callback(stream_, OnTiming, this);
    pa_stream_set_write_callback(stream_, OnWritable, this);
    pa_stream_set_state_callback(
        stream_, [](pa_stream *, void *self) { OnState(self); }, this);
    auto bytes = [](int ms) { return std::uint32_t(std::int64_t(kOutputRate) * ms / 1000 * kFrameBytes); };
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = bytes(kPulseTargetMs);
    attr.prebuf = 0;
    attr.minreq = bytes(kPulseRequestMs);
    attr.fragsize = std::uint32_t(-1);
    auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    return pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) == 0 && Await([&] {
               pa_stream_state_t state = pa_stream_get_state(stream_);
               return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
           });
}

bool PulseOutput::Open(std::string *why) {
    *why = "PulseAudio: no server";
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return false;
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
        context_, pa_rtclock_now() + pa_usec_t(kPulseConnectTimeoutMs) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
            auto *out = static_cast<PulseOutput *>(self);
            out->timedOut_ = true;
            Signal(out->loop_);
        },
        this);
    bool ok = Connect() && ConnectStream();
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
    if (pa_context_get_state(context_) != PA_CONTEXT_READY || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        SetBroken();
    } else {
        // What the stream asked for while it waited for the schedule, then it plays.
        std::size_t writable = pa_stream_writable_size(stream_);
        if (writable != std::size_t(-1)) Hand(std::int64_t(writable) / kFrameBytes);
        if (pa_operation *o = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(o);
        AskForTiming();
    }
    pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::AskForTiming() {
    askedNs_ = NowNs();
    if (pa_operation *o = pa_stream_update_timing_info(stream_, nullptr, nullptr)) pa_operation_unref(o);
}

void PulseOutput::OnTiming(pa_stream *, void *self) {
    // A report from the server: which frame was being heard at the moment it was made. Only a report
    // that says the stream plays is a reading of the device (before it starts the frames stand still).
    auto *out = static_cast<PulseOutput *>(self);
    const pa_timing_info *info = pa_stream_get_timing_info(out->stream_);
    if (!info || !info->playing || info->read_index_corrupt || info->read_index < 0) return;
    out->taken_ = info->read_index / kFrameBytes;
    auto usec =
        std::int64_t(pa_bytes_to_usec(std::uint64_t(info->read_index), pa_stream_get_sample_spec(out->stream_)));
    if (!info->synchronized_clocks) usec += std::int64_t(info->transport_usec);  // the report took this long to arrive
    usec -= std::int64_t(info->sink_usec);  // what the device holds is not heard yet
    std::int64_t atNs = NowNs() - std::int64_t(pa_timeval_age(&info->timestamp)) * 1000;
    out->scheduler_.Report(atNs, std::llround(double(usec) * kOutputRate / 1e6));
}

// The server asks for `bytes` more: the frames after those handed so far, or, where its device has
// already taken frames we never handed (it ran dry), the frames after those.
void PulseOutput::OnWritable(pa_stream *, std::size_t bytes, void *self) {
    auto *out = static_cast<PulseOutput *>(self);
    if (!out->started_) return;  // Start hands what was asked for meanwhile
    if (out->taken_ > out->written_) {
        out->skipped_ += out->taken_ - out->written_;
        out->written_ = out->taken_;
    }
    out->Hand(std::int64_t(bytes) / kFrameBytes);
    if (NowNs() - out->askedNs_ >= std::int64_t(kPulseReportMs) * 1000000) out->AskForTiming();
}

// Renders the next `frames` of the schedule straight into the server's memory (one block per request,
// not a copy per chunk); each write says where in the stream it goes.
void PulseOutput::Hand(std::int64_t frames) {
    while (frames > 0) {
        void *data = nullptr;
        std::size_t bytes = std::size_t(frames * kFrameBytes);
        if (pa_stream_begin_write(stream_, &data, &bytes) < 0 || !data || bytes < std::size_t(kFrameBytes)) return;
        int count = int(std::min<std::int64_t>(frames, std::int64_t(bytes) / kFrameBytes));
        scheduler_.Pull(static_cast<float *>(data), written_, count);
        if (pa_stream_write(stream_, data, std::size_t(count * kFrameBytes), nullptr, written_ * kFrameBytes,
                            PA_SEEK_ABSOLUTE) < 0)
            return;
        written_ += count;
        frames -= count;
    }
}

}  // namespace

std::unique_ptr<Output> OpenPulse(Scheduler &scheduler, std::string *why) {
    auto output = std::make_unique<PulseOutput>(scheduler);
    if (!output->Open(why)) return nullptr;
    return output;
}

}  // namespace sdlhost
