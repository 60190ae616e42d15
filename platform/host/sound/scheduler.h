// The hosts' one sound schedule, shared by every output.
//
// Implements: one voice; each sound placed at an output frame (its message time + the latency, through
// the device clock fitted to the output's timing reports) and rendered from there by whichever output
// plays: any range of frames is rendered from the schedule alone (the latest start at or before a frame
// decides what plays there), and every output asks for its frames in order as its device needs them;
// frames handed over are final, so a new sound is placed at or after the first frame not yet handed.
// A browser page that starts each sound itself at its frame is told the frames instead. A sound whose frame has already
// gone starts whole at the first frame still open, or is dropped when it is later than the latency;
// sounds asked for while no output plays keep their due time and are placed when one starts.
// Everything is under one lock, held only for a few small records or one buffer's rendering.
// Leaves out: the outputs themselves (outputs.h), resampling (sound_cache.h).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "device_clock.h"
#include "sound_cache.h"

namespace hostsound {

// How an output reports its timing, fixed while it plays.
struct OutputTiming {
    int rate = 48000;       // frames per second
    int grainFrames = 960;  // its frames come in steps about this size (callback, cycle, report)
    int guardFrames = 0;    // no sound is placed closer than this to the frame last heard
    double spread = DeviceClock::kCrystalSpread;
    double stallSeconds = DeviceClock::kCallbackStall;
    // A measured rate this close to `rate` counts as `rate`; each run of sounds keeps its anchor
    // within this bound (0: the schedule follows the host's clock, for a device paced by a timer).
    double nominalBand = DeviceClock::kNominalBand;
    double holdSeconds = DeviceClock::kHoldSeconds;
};

class Scheduler {
public:
    explicit Scheduler(int latencyMs);

    // ---- Main thread.
    // Where a sound plays, as the one voice decides: for an output that starts each sound itself.
    struct Placement {
        std::int64_t scheduled = -1;  // the frame its due time maps to: later than the one chosen, it came late
        std::int64_t end = -1;        // where it stops: its own end, or the start of a sound already after it
        std::int64_t cuts = -1;       // the start of the sound it cuts off at its frame; -1: none sounds there
    };
    // Starts `sound` (nullptr: silence) so its first frame is heard at messageNs + the latency.
    // Returns the frame chosen; -1 when no output plays (the sound waits) or it was dropped.
    std::int64_t Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs,
                      Placement *placement = nullptr);
    // A sound given its frame, for traces; timeNs/heardFrame: the output's last report (that frame
    // was heard at that moment), so the moment each sound is heard follows.
    struct Started {
        int id;
        std::int64_t frame, scheduled, timeNs, heardFrame;
    };
    int TakeStarted(Started *out, int max);
    double MeasuredRate();
    int Restarts();
    int Anchors();         // schedule lines drawn afresh (DeviceClock::Anchors)
    std::int64_t LagNs();  // how much later than due a held run is heard (DeviceClock::LagNs)
    // The last frame an output reported heard; -1 before the first report.
    std::int64_t HeardFrame();
    std::int64_t LatencyNs() const { return latencyNs_; }

    // ---- Outputs (their own threads).
    // An output starts: its frames count from 0, the clock is fitted afresh, waiting sounds are placed.
    // `wake` (may be empty) is called, under the lock, with every new sound (to wake a resting
    // stream); it must not block.
    void Attach(const OutputTiming &timing, std::function<void()> wake, std::int64_t nowNs);
    void Detach();
    // A pull output: frame `heard` is heard at `timeNs`; renders frames [from, from + count), which
    // are then final. True when nothing is scheduled past them (the output may rest). A `from` past
    // the frames rendered before skips those: a sound that was to start there starts whole at `from`.
    // `hostNs`: the moment of the pull on the host's clock, where `timeNs` is not (an output that
    // shifts its times to keep the fit smooth); by default `timeNs`.
    bool Pull(float *out, std::int64_t from, int count, std::int64_t timeNs, std::int64_t heard,
              std::int64_t hostNs = INT64_MIN);
    // Frame `heard` is heard at `timeNs` (an output's timing report, apart from its requests).
    void Report(std::int64_t timeNs, std::int64_t heard);
    // A write-ahead output (PulseAudio): renders [from, from + count) as the schedule stands.
    void Render(float *out, std::int64_t from, int count);
    // A write-ahead output: the frames new sounds changed since the last call, [returned, *to);
    // -1 when none did.
    std::int64_t TakeChange(std::int64_t *to);

private:
    struct Entry {
        int id;
        const SoundData *sound;
        std::int64_t dueNs;
        std::int64_t frame;  // -1: not placed yet
    };
    static std::int64_t Ends(const Entry &entry);
    std::int64_t Earliest(std::int64_t nowNs) const;
    std::int64_t Frontier(std::int64_t nowNs) const;
    bool Place(Entry &entry, std::int64_t nowNs, Placement *placement);
    void NoteHeardLocked(std::int64_t timeNs, std::int64_t heard);
    void Forget(std::int64_t before);
    void StartSkippedLocked(std::int64_t from);
    void RenderLocked(float *out, std::int64_t from, int count);
    bool PullLocked(float *out, std::int64_t from, int count);

    const std::int64_t latencyNs_;
    std::mutex mutex_;
    std::vector<Entry> entries_;  // placed ones in order of frame, then waiting ones
    std::vector<Started> started_;
    std::optional<DeviceClock> clock_;
    OutputTiming timing_;
    std::function<void()> wake_;
    std::int64_t committed_ = 0;  // frames before this are rendered for good
    std::int64_t heard_ = -1, heardNs_ = 0;
    std::int64_t changedFrom_ = -1, changedTo_ = 0;  // for a write-ahead output
    std::int64_t lead_ = 0, leadNs_ = 0;  // the farthest a pull output rendered ahead of the frame heard, and when
};

}  // namespace hostsound
