// The output through PipeWire: the schedule pulled one graph cycle at a time.
//
// Implements: a mono 32-bit float stream at 48 kHz whose process callback renders the frames of each
// cycle; the frame heard when from pw_stream_get_time_n(), stamped by the graph at the cycle itself
// (its monotonic time, and the delay from the stream to the device), so the clock fit reads the
// device's clock without the scatter of a timing protocol. After two seconds with nothing to play
// the stream stops taking part in the graph's cycles (an idle program does not wake 47 times a
// second) and a new sound starts it again; the graph's clock runs on meanwhile, and so does the fit.
// A daemon that does not answer within 2 s, or that goes away, makes the output broken.
// Leaves out: choosing a sink, volume.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "outputs.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

constexpr int kCycleFrames = 1024;  // the graph's usual quantum
// The cycle the stream asks for (the graph runs at the smallest any client asks for, at most its
// largest quantum). The sounds are placed the latency ahead anyway; a graph of 2048-frame cycles
// wakes half as often and leaves each cycle twice the room, which a driver paced by a timer on a
// loaded or virtual machine needs: there a graph of 1024-frame cycles lost or inserted a cycle of
// our frames now and then, in every minute of ticking.
constexpr int kAskedCycleFrames = 2048;
// While the stream rests the graph's clock runs on: the fit is followed, never taken for stopped.
constexpr double kStallSeconds = 1e9;
// A stream resting starts again within a cycle or two: sounds are placed at least this far ahead of
// the frame heard (below the latency, so one asked for on time is never moved).
constexpr int kWakeFrames = 2048;
constexpr int kRestFrames = 2 * kOutputRate;    // silence ahead this long: the stream rests
constexpr std::int64_t kRestGapNs = 200000000;  // no cycle for this long: the stream rested
constexpr int kConnectTimeoutSeconds = 2;
constexpr int kDriftCycles = 4;  // a move of the graph's position that holds this long is real
constexpr int kWakeCycles = 8;   // cycles after a rest whose frames follow the time since it
// A resized cycle whose time is this far off its position against the cycle before: the clock stepped.
constexpr std::int64_t kClockStepNs = 1000000;

class PipeWireOutput : public Output {
public:
    explicit PipeWireOutput(Scheduler &scheduler) : scheduler_(scheduler) {}
    ~PipeWireOutput() override {
        if (loop_) pw_thread_loop_stop(loop_);
        if (stream_) pw_stream_destroy(stream_);
        if (core_) pw_core_disconnect(core_);
        if (context_) pw_context_destroy(context_);
        if (loop_) pw_thread_loop_destroy(loop_);
    }

    bool Open(std::string *why);
    const char *Name() const override { return "pipewire"; }
    OutputTiming Timing() const override {
        OutputTiming timing;
        timing.rate = kOutputRate;
        timing.grainFrames = kCycleFrames;
        timing.stallSeconds = kStallSeconds;
        timing.guardFrames = kWakeFrames;
        return timing;
    }
    std::function<void()> Wake() override {
        pw_loop *loop = pw_thread_loop_get_loop(loop_);
        spa_source *event = wakeEvent_;
        return [loop, event] { pw_loop_signal_event(loop, event); };
    }
    void Start() override { SetActive(true); }
    std::int64_t SkippedFrames() const override { return moved_; }

private:
    static void OnState(void *self, pw_stream_state, pw_stream_state state, const char *) {
        auto *out = static_cast<PipeWireOutput *>(self);
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) out->SetBroken();
        pw_thread_loop_signal(out->loop_, false);
    }
    static void OnCoreError(void *self, std::uint32_t id, int, int, const char *) {
        auto *out = static_cast<PipeWireOutput *>(self);
        if (id == PW_ID_CORE) out->SetBroken();  // the daemon went away or refused us
        pw_thread_loop_signal(out->loop_, false);
    }
    // The data thread: each graph cycle, in these steps.
    struct Cycle {
        bool timed = false;         // the stream's time was read
        std::int64_t now = 0;       // when the cycle began (host clock, ns)
        std::int64_t delay = 0;     // frames before the next one of ours is heard
        std::int64_t position = 0;  // the graph's position in frames (0: unknown)
        std::int64_t size = 0;      // frames this cycle asks for
    };
    static void OnProcess(void *self);
    Cycle ReadCycle(std::int64_t size);
    void TakeOutClockStep(const Cycle &cycle);
    std::int64_t PlaceAfterRest(const Cycle &cycle);
    void KeepToGraphPosition(const Cycle &cycle);
    void Render(float *samples, const Cycle &cycle, std::int64_t ahead);
    // The loop thread: the stream takes part in the graph's cycles, or rests.
    void SetActive(bool active) {
        pw_thread_loop_lock(loop_);
        if (active != active_) pw_stream_set_active(stream_, active);
        active_ = active;
        pw_thread_loop_unlock(loop_);
    }
    static void OnWake(void *self, std::uint64_t) {
        auto *out = static_cast<PipeWireOutput *>(self);
        out->resting_ = false;
        out->SetActive(true);
    }
    static void OnRest(void *self, std::uint64_t) {
        auto *out = static_cast<PipeWireOutput *>(self);
        // Only if nothing was asked for since the data thread found the schedule empty.
        if (out->resting_.exchange(false)) out->SetActive(false);
    }

    Scheduler &scheduler_;
    pw_thread_loop *loop_ = nullptr;
    pw_context *context_ = nullptr;
    pw_core *core_ = nullptr;
    pw_stream *stream_ = nullptr;
    spa_hook coreListener_{}, streamListener_{};
    pw_stream_events streamEvents_{};
    pw_core_events coreEvents_{};
    spa_source *wakeEvent_ = nullptr, *restEvent_ = nullptr;
    bool active_ = false;                 // the loop thread only
    std::atomic<std::int64_t> moved_{0};  // the graph's position ahead of our frames, followed
    std::atomic<bool> resting_{false};    // the data thread asks the loop thread to rest the stream
    // The data thread only.
    std::int64_t rendered_ = 0;
    std::int64_t tickOffset_ = 0;  // the graph's position less ours
    bool aligned_ = false;
    std::int64_t drift_ = 0;  // how far the graph's position has moved from ours
    int driftCycles_ = 0;     // for this many cycles in a row
    std::int64_t silentFrames_ = 0;
    std::int64_t lastNow_ = 0, lastRendered_ = 0;       // the last cycle's time and first frame
    std::int64_t restNow_ = 0, restRendered_ = 0;       // the same of the last cycle before a rest
    std::int64_t lastPosition_ = 0, restPosition_ = 0;  // the graph's position then (0: unknown)
    int wakeCycles_ = 0;                                // cycles after a rest placed anew
    std::int64_t clockShiftNs_ = 0;                     // the steps of the graph's clock against the host's, taken out
    std::int64_t lastSize_ = 0;                         // the frames the last cycle asked for
    bool resized_ = false;                              // they differed from the cycle's before
};

// The graph's cycle as the stream's time tells it.
PipeWireOutput::Cycle PipeWireOutput::ReadCycle(std::int64_t size) {
    Cycle cycle;
    cycle.now = NowNs();
    cycle.size = size;
    pw_time time{};
    if (pw_stream_get_time_n(stream_, &time, sizeof time) != 0 || time.rate.denom <= 0) return cycle;
    cycle.timed = true;
    if (time.now > 0) cycle.now = FromMonotonicNs(time.now);
    auto frames = [&time](std::int64_t units) {
        return units * kOutputRate * std::int64_t(time.rate.num) / std::int64_t(time.rate.denom);
    };
    // The next frame of the stream is heard after the graph's delay (in its rate's units), the
    // resampler's frames and those queued before it.
    cycle.delay = frames(time.delay) + std::int64_t(time.buffered) + std::int64_t(time.queued);
    cycle.position = time.ticks > 0 ? frames(std::int64_t(time.ticks)) : 0;
    return cycle;
}

// The graph's clock steps against the host's when the cycle changes size (another client came or
// went): the first cycle of the new size starts a cycle of the old size after the last, while the
// position moves by the new size, so the cycle after the one first asked for the new size has its
// time off its position by the difference, from then on. Within a run the sounds follow the graph's
// frames, so that step is taken out of the times the schedule is told and the spacing stays exact.
// Only there: elsewhere a cycle's time scatters about its position (a late wake-up and the catching
// up after it), which the clock fit averages. The cycles that take the stream back after a rest are
// placed by the time since it (PlaceAfterRest).
void PipeWireOutput::TakeOutClockStep(const Cycle &cycle) {
    if (resized_ && cycle.position > 0 && lastPosition_ > 0 && cycle.now - lastNow_ <= kRestGapNs && wakeCycles_ == 0) {
        std::int64_t step = cycle.now - lastNow_ - (cycle.position - lastPosition_) * 1000000000 / kOutputRate;
        if (std::llabs(step) > kClockStepNs) clockShiftNs_ += step;
    }
    resized_ = lastSize_ > 0 && cycle.size != lastSize_;
    lastSize_ = cycle.size;
}

// After the stream rested its frames go on from where the time since its last cycle puts them.
// The graph takes the stream back over a cycle or two: the first cycle after waking is asked for a
// cycle ahead (its buffer plays in the next cycle, which does not call the stream), then the cycles
// come one by one again. Where the graph ran on meanwhile (another stream kept it going) its
// position says which cycle a buffer plays in, and places it: a sound due in the cycle played from
// the buffer asked for ahead is in that buffer. Where it stood still the time since the rest
// decides. Either way the clock fit is told what the time says is heard now, so it sees no step and
// the run that woke the stream is exact from its first sound. Gives how many frames after the one
// the time says is heard now this cycle's buffer plays.
std::int64_t PipeWireOutput::PlaceAfterRest(const Cycle &cycle) {
    std::int64_t ahead = 0;
    if (lastNow_ > 0 && cycle.now - lastNow_ > kRestGapNs) {
        restNow_ = lastNow_;
        restRendered_ = lastRendered_;
        restPosition_ = lastPosition_;
        wakeCycles_ = kWakeCycles;
    }
    if (wakeCycles_ > 0) {
        --wakeCycles_;
        std::int64_t due = restRendered_ + std::llround(double(cycle.now - restNow_) * kOutputRate * 1e-9);
        if (cycle.position > 0 && restPosition_ > 0) {
            std::int64_t played = restRendered_ + (cycle.position - restPosition_);
            if (std::llabs(played - due) <= 2 * kCycleFrames) {
                ahead = played - due;
                due = played;
            }
        }
        if (due - rendered_ >= kCycleFrames / 2 || wakeCycles_ == kWakeCycles - 1) {
            rendered_ = std::max(rendered_, due);
            aligned_ = false;
        }
    }
    lastNow_ = cycle.now;
    lastRendered_ = rendered_;
    lastPosition_ = cycle.position;
    return ahead;
}

// Our frames keep their place against the graph's position, which moves against them when the
// graph's clock jumps: a driver that woke late counts the cycles it missed at once, and every node,
// ours and a recorder of the sink alike, goes on without a gap. Skipping our frames there made every
// later sound early by the jump, so a move that holds is followed and no frame is skipped; the
// clock fit sees the jump in the times and the held line carries it. A process thread that wakes a
// cycle late is often called twice in the next one, so only a move that holds for several cycles
// counts.
void PipeWireOutput::KeepToGraphPosition(const Cycle &cycle) {
    if (cycle.position <= 0) return;
    if (!aligned_) {
        tickOffset_ = cycle.position - rendered_;
        aligned_ = true;
    }
    std::int64_t drift = cycle.position - tickOffset_ - rendered_;
    driftCycles_ = drift != 0 && drift == drift_ ? driftCycles_ + 1 : 1;
    drift_ = drift;
    if (drift != 0 && driftCycles_ >= kDriftCycles) {
        tickOffset_ += drift;
        if (drift > 0) moved_ += drift;  // told (as frames the graph went on without us), not skipped
        drift_ = 0;
    }
}

// The cycle's frames from the schedule; after two seconds of silence the stream is asked to rest.
void PipeWireOutput::Render(float *samples, const Cycle &cycle, std::int64_t ahead) {
    bool silent = scheduler_.Pull(samples, rendered_, int(cycle.size), cycle.now - clockShiftNs_,
                                  rendered_ - ahead - cycle.delay, cycle.now);
    rendered_ += cycle.size;
    silentFrames_ = silent ? silentFrames_ + cycle.size : 0;
    if (silentFrames_ >= kRestFrames) {
        silentFrames_ = 0;
        resting_ = true;
        pw_loop_signal_event(pw_thread_loop_get_loop(loop_), restEvent_);
    }
}

void PipeWireOutput::OnProcess(void *self) {
    auto *out = static_cast<PipeWireOutput *>(self);
    pw_buffer *buffer = out->stream_ ? pw_stream_dequeue_buffer(out->stream_) : nullptr;
    if (!buffer) return;
    spa_data &data = buffer->buffer->datas[0];
    auto *samples = static_cast<float *>(data.data);
    std::uint64_t frames = data.maxsize / sizeof(float);
    if (buffer->requested > 0 && buffer->requested < frames) frames = buffer->requested;
    if (samples && frames > 0) {
        Cycle cycle = out->ReadCycle(std::int64_t(frames));
        std::int64_t ahead = 0;
        if (cycle.timed) {
            out->TakeOutClockStep(cycle);
            ahead = out->PlaceAfterRest(cycle);
            out->KeepToGraphPosition(cycle);
        }
        out->Render(samples, cycle, ahead);
        data.chunk->offset = 0;
        data.chunk->stride = sizeof(float);
        data.chunk->size = std::uint32_t(frames * sizeof(float));
        buffer->size = frames;  // so the stream's time counts the frames queued in it
    }
    pw_stream_queue_buffer(out->stream_, buffer);
}

bool PipeWireOutput::Open(std::string *why) {
    static std::once_flag init;
    std::call_once(init, [] { pw_init(nullptr, nullptr); });
    *why = "PipeWire: no daemon";
    loop_ = pw_thread_loop_new("cadenzo-sound", nullptr);
    if (!loop_) return false;
    // The configuration PipeWire's own players use: its real-time module gives the thread that runs
    // the process callback real-time priority where the system allows it (RTKit on a desktop).
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!context_) return false;
    wakeEvent_ = pw_loop_add_event(pw_thread_loop_get_loop(loop_), OnWake, this);
    restEvent_ = pw_loop_add_event(pw_thread_loop_get_loop(loop_), OnRest, this);
    if (!wakeEvent_ || !restEvent_ || pw_thread_loop_start(loop_) < 0) return false;
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    bool ok = core_ != nullptr;
    if (ok) {
        coreEvents_.version = PW_VERSION_CORE_EVENTS;
        coreEvents_.error = OnCoreError;
        pw_core_add_listener(core_, &coreListener_, &coreEvents_, this);
        pw_properties *props =
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
                              PW_KEY_APP_NAME, "Cadenzo", PW_KEY_NODE_NAME, "Cadenzo", nullptr);
        if (props) pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", kAskedCycleFrames, kOutputRate);
        stream_ = pw_stream_new(core_, "Cadenzo", props);
        ok = stream_ != nullptr;
    }
    if (ok) {
        streamEvents_.version = PW_VERSION_STREAM_EVENTS;
        streamEvents_.state_changed = OnState;
        streamEvents_.process = OnProcess;
        pw_stream_add_listener(stream_, &streamListener_, &streamEvents_, this);
        std::uint8_t storage[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        spa_audio_info_raw info{};
        info.format = SPA_AUDIO_FORMAT_F32;
        info.rate = kOutputRate;
        info.channels = 1;
        info.position[0] = SPA_AUDIO_CHANNEL_MONO;
        const spa_pod *params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
        auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     PW_STREAM_FLAG_RT_PROCESS | PW_STREAM_FLAG_INACTIVE);
        ok = pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) == 0;
    }
    // Wait until the daemon has taken the stream (paused, ready to run), within a bounded time.
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, kConnectTimeoutSeconds * SPA_NSEC_PER_SEC);
    while (ok) {
        pw_stream_state state = pw_stream_get_state(stream_, nullptr);
        if (Broken() || state == PW_STREAM_STATE_ERROR) {
            ok = false;
            *why = "PipeWire: the daemon refused the stream";
        } else if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) {
            break;
        } else if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) {
            ok = false;
            *why = "PipeWire: the daemon does not answer";
        }
    }
    pw_thread_loop_unlock(loop_);
    if (ok) Trace("audio-open pipewire %d 1 %d %d", kOutputRate, kCycleFrames, LatencyMs());
    return ok;
}

}  // namespace

std::unique_ptr<Output> OpenPipeWire(Scheduler &scheduler, std::string *why) {
    auto output = std::make_unique<PipeWireOutput>(scheduler);
    if (!output->Open(why)) return nullptr;
    return output;
}

}  // namespace sdlhost
