// The audio device's clock as seen from the host clock, and the map the sounds are scheduled with.
//
// Implements: a fit of host time -> output frame over recent audio callbacks (the device's rate is
// measured, never assumed), a restart of the fit after a gap in the callbacks or a step that holds,
// and a straight schedule line that follows the fit slowly and never jumps (unless the device did),
// so that sounds started at whole-millisecond intervals land exactly that many device frames apart.
// Or the line is held for a whole run of sounds: anchored once when a run starts, moved within it
// by at most a frame a sound, or drawn again only when the output has left it by more than a bound,
// so the timestamps choose the anchor and never the spacing. Time the output loses within a run (it
// stopped for a while) is carried: the rest of the run is heard that much later, exactly spaced, and
// the lag is told to whoever shows the screen.
// Leaves out: the device itself (the caller feeds it the callbacks' times and frame counts).
#pragma once

#include <cmath>
#include <cstdint>

namespace hostsound {

class DeviceClock {
public:
    // `nominalRate` is the device's rate in frames per second, `bufferFrames` the size of one callback.
    // `rateSpread` is how far (a fraction) its true rate may be from the nominal one: the measured
    // rate leans on the nominal one until the callbacks, given their scatter, say better.
    static constexpr double kCrystalSpread = 0.00005;  // a real device (a sound server settling its
                                                       // buffers for seconds looks 0.1 % off meanwhile)
    static constexpr double kTimerSpread = 0.02;       // a device paced by sleeping (disk, dummy)
    // `stallSeconds`: no callback for this long when a sound is scheduled means the device has
    // stopped (callbacks come every buffer; a device read only from occasional reports says more).
    static constexpr double kCallbackStall = 0.060;
    // `nominalBand`: a measured rate this close (a fraction) to the nominal one is taken as the
    // nominal rate itself, for a device read through coarse timestamps whose fit wobbles by a few
    // parts per million: the schedule line then keeps whole-millisecond intervals exact for good.
    // `holdSeconds` (> 0): a run of sounds (each due at most kRunGapSeconds after the one before)
    // keeps the line it was anchored with, moved by at most a frame a sound towards the fit, until
    // the output runs ahead of it by this much or so far that a sound would be late (FrameAt's
    // `earliest`), or falls behind it by kMaxCarriedSeconds (time it lost); 0: the line follows the
    // fit continuously.
    static constexpr double kHoldSeconds = 0.100;
    static constexpr double kNominalBand = 200e-6;  // covers a crystal's error and a server's
    static constexpr double kRunGapSeconds = 3.0;
    static constexpr double kMaxCarriedSeconds = 0.25;
    DeviceClock(double nominalRate, int bufferFrames, double rateSpread = kCrystalSpread,
                double stallSeconds = kCallbackStall, double nominalBand = 0, double holdSeconds = 0);

    // A callback began at host time `timeNs` when `frame` frames had been asked for before it.
    void AddCallback(std::int64_t timeNs, std::int64_t frame);

    // The frame that is heard at host time `timeNs` by the schedule line, brought up to date with the
    // fit at `nowNs` (the moment the caller schedules). Before the first callback, or while the
    // callbacks have stopped, the device is taken to go on from `nowNs`.
    // `earliest`: the first frame the output can still take; a held line that would place the sound
    // before it is drawn again. `frontier`: the first frame a new held line may place its first sound
    // at, so that the sounds after it are not late either (the farthest the output takes frames
    // ahead of the one heard, with room for a late call); a line drawn later than the fit for it
    // keeps that distance for its run.
    bool FrameAt(std::int64_t timeNs, std::int64_t nowNs, std::int64_t *frame, std::int64_t earliest = INT64_MIN,
                 std::int64_t frontier = INT64_MIN);

    // The host time at which the schedule line says `frame` is heard (for traces).
    std::int64_t TimeOfFrame(std::int64_t frame) const;

    double MeasuredRate() const;  // frames per second of host time, from the fit
    int Restarts() const { return restarts_; }
    int Anchors() const { return anchors_; }  // lines drawn afresh: runs started, held lines left
    // How much later than its due time a sound of the held run is heard: the time the output lost
    // since the run was anchored (0 for a line that follows the fit).
    std::int64_t LagNs() const { return std::llround(lag_ / nominal_ * 1e9); }

private:
    struct Line {
        std::int64_t t0 = 0;  // ns
        double f0 = 0;        // frames
        double rate = 0;      // frames per second
        double At(std::int64_t t) const { return f0 + rate * double(t - t0) * 1e-9; }
    };
    void Restart(std::int64_t timeNs, std::int64_t frame);
    double FitAt(std::int64_t timeNs) const;
    double FitRate() const;
    double Scatter() const;  // of the callbacks about the fit, in frames

    double nominal_;
    int buffer_;
    double spread_;
    double stall_;
    double band_;
    double hold_;
    // Exponentially weighted regression of frame on time, relative to the origin of the current run.
    std::int64_t originT_ = 0, originF_ = 0;
    double weight_ = 0, meanX_ = 0, meanY_ = 0, cxx_ = 0, cxy_ = 0, cyy_ = 0;
    std::int64_t lastT_ = 0, lastF_ = 0;
    // A jump of the callbacks away from the fit, and how many have held it.
    double lastOff_ = 0, stepBase_ = 0, stepLevel_ = 0;
    int stepCallbacks_ = 0;
    bool any_ = false;
    bool provisional_ = false;  // the line is a guess made while the device did not run
    int epoch_ = 0;             // counts restarts of the fit
    int restarts_ = 0;
    // The schedule line and the fit epoch it was drawn in.
    bool locked_ = false;
    int lockEpoch_ = -1;
    Line lock_;
    std::int64_t lastDueNs_ = 0;  // the latest time a sound was scheduled for
    double lag_ = 0;              // frames the output is behind the held line (< 0: ahead)
    double beyond_ = 0;           // frames the held line was drawn past the fit, for the frontier
    int judgedEpoch_ = -1;        // the fit epoch the held line was last judged against
    double carried_ = 0;          // the offset from the fit a held line keeps since the fit's restart
    int guess_ = 0;  // 2: the held line is a guess made before the output ran; 1: drawn from its first reports
    int anchors_ = 0;
};

}  // namespace hostsound
