// The audio device's clock as seen from the host clock: see device_clock.h.
#include "device_clock.h"

#include <algorithm>
#include <cmath>

namespace hostsound {

namespace {

// Older callbacks count less: their weight halves in about 20 s, so the fit follows a device clock
// whose rate wanders slowly, while a few milliseconds of callback jitter average out.
constexpr double kForgetSeconds = 30.0;
// The least scatter assumed of callback times (seconds), so a few early callbacks that happen to
// line up do not pass for a precise measure.
constexpr double kMinScatterSeconds = 0.00002;
// A callback this far off the fit means the device stalled, was starved or ran in a burst: the
// frames no longer follow the old line, so the fit starts again from that callback.
constexpr double kGapSeconds = 0.030;
// Callbacks in a row that hold a jump of more than a buffer (and four times their scatter) away from
// the fit: a step. Only once the fit has settled: the first reports of a device starting up jump about.
constexpr int kStepCallbacks = 8;
constexpr double kSettledCallbacks = 32;
// The schedule line is steered towards the fit, closing a gap in about this time (so the spacing of
// a run of sounds changes by a fraction of a frame), and redrawn from the fit when far off.
constexpr double kSteerSeconds = 5.0;
constexpr double kRedrawSeconds = 0.015;
// Reports a restarted fit must have taken in before a held line is judged against it.
constexpr double kHeldCallbacks = 8;
// A held line this close to the fit (or within three times the fit's scatter) is left where it is.
constexpr double kDeadSeconds = 0.005;

}  // namespace

DeviceClock::DeviceClock(double nominalRate, int bufferFrames, double rateSpread, double stallSeconds,
                         double nominalBand, double holdSeconds)
    : nominal_(nominalRate > 0 ? nominalRate : 48000.0), buffer_(std::max(bufferFrames, 1)),
      spread_(std::clamp(rateSpread, 1e-6, 0.1)), stall_(std::max(stallSeconds, 0.001)),
      band_(std::clamp(nominalBand, 0.0, 0.001)), hold_(std::max(holdSeconds, 0.0)) {}

void DeviceClock::Restart(std::int64_t timeNs, std::int64_t frame) {
    originT_ = timeNs;
    originF_ = frame;
    weight_ = 1;
    meanX_ = meanY_ = cxx_ = cxy_ = cyy_ = 0;
    lastT_ = timeNs;
    lastF_ = frame;
    stepCallbacks_ = 0;
    lastOff_ = 0;
    if (any_) {
        ++epoch_;
        ++restarts_;
    }
    any_ = true;
}

double DeviceClock::FitRate() const {
    if (weight_ < 3 || cxx_ <= 0) return nominal_;
    // The slope of the regression, drawn towards the nominal rate in proportion to how uncertain
    // it still is: the prior counts as much as callbacks spread over sqrt(prior) seconds.
    double scatter = std::max(cyy_ - cxy_ * cxy_ / cxx_, 0.0) / (weight_ - 2);
    double minScatter = kMinScatterSeconds * nominal_;
    scatter = std::max(scatter, minScatter * minScatter);
    double spread = spread_ * nominal_;
    double prior = scatter / (spread * spread);
    double rate = (cxy_ + prior * nominal_) / (cxx_ + prior);
    return std::clamp(rate, nominal_ * 0.8, nominal_ * 1.25);
}

double DeviceClock::Scatter() const {
    if (weight_ < 3 || cxx_ <= 0) return 0;
    return std::sqrt(std::max(cyy_ - cxy_ * cxy_ / cxx_, 0.0) / (weight_ - 2));
}

double DeviceClock::FitAt(std::int64_t timeNs) const {
    double x = double(timeNs - originT_) * 1e-9;
    return double(originF_) + meanY_ + FitRate() * (x - meanX_);
}

double DeviceClock::MeasuredRate() const { return FitRate(); }

void DeviceClock::AddCallback(std::int64_t timeNs, std::int64_t frame) {
    if (!any_) {
        Restart(timeNs, frame);
        return;
    }
    if (provisional_) {
        // The device runs (again): measure it afresh.
        provisional_ = false;
        Restart(timeNs, frame);
        return;
    }
    if (timeNs < lastT_ || frame < lastF_) return;  // out of order: never from one device, ignore
    double off = double(frame) - FitAt(timeNs);
    double gap = std::max(3.0 * buffer_, kGapSeconds * nominal_);
    if (std::fabs(off) > gap) {
        Restart(timeNs, frame);
        return;
    }
    // A smaller jump that holds (the device lost or gained a few milliseconds once) is a new start
    // too, not a change of rate to be taken in over the next half minute. A jump that comes back at
    // once (a late wake-up), jitter either side, or a slow drift from a rate the fit has not yet
    // measured moves no callback that far from the one before, and changes nothing.
    double step = std::max(double(buffer_), 4.0 * Scatter());
    if (stepCallbacks_ > 0 && std::fabs(off - stepLevel_) <= step / 2) {
        if (++stepCallbacks_ >= kStepCallbacks) {
            Restart(timeNs, frame);
            return;
        }
    } else if (stepCallbacks_ > 0 && std::fabs(off - stepBase_) <= step / 2) {
        stepCallbacks_ = 0;  // back where it was
    } else if (weight_ >= kSettledCallbacks && std::fabs(off - lastOff_) > step) {
        stepBase_ = stepCallbacks_ > 0 ? stepBase_ : lastOff_;
        stepLevel_ = off;
        stepCallbacks_ = 1;
    } else {
        stepCallbacks_ = 0;
    }
    lastOff_ = off;
    // Exponentially weighted running means and co-moments (numerically stable in one pass).
    double lambda = std::exp(-double(timeNs - lastT_) * 1e-9 / kForgetSeconds);
    double x = double(timeNs - originT_) * 1e-9;
    double y = double(frame - originF_);
    weight_ = lambda * weight_ + 1;
    cxx_ *= lambda;
    cxy_ *= lambda;
    cyy_ *= lambda;
    double dx = x - meanX_;
    double dy = y - meanY_;
    meanX_ += dx / weight_;
    meanY_ += dy / weight_;
    cxx_ += dx * (x - meanX_);
    cxy_ += dx * (y - meanY_);
    cyy_ += dy * (y - meanY_);
    lastT_ = timeNs;
    lastF_ = frame;
}

bool DeviceClock::FrameAt(std::int64_t timeNs, std::int64_t nowNs, std::int64_t *frame, std::int64_t earliest,
                          std::int64_t frontier) {
    if (!provisional_ && (!any_ || double(nowNs - lastT_) * 1e-9 > stall_)) {
        // The device has not started or has stopped asking: guess it goes on from now. Sounds
        // scheduled meanwhile keep their spacing and start when it does.
        std::int64_t next = any_ ? lastF_ + buffer_ : 0;
        Restart(nowNs, next);
        provisional_ = true;
    }
    double fitNow = FitAt(nowNs);
    double rate = FitRate();
    if (std::fabs(rate - nominal_) <= band_ * nominal_) rate = nominal_;
    bool newRun = !locked_ || timeNs - lastDueNs_ > std::int64_t(kRunGapSeconds * 1e9);
    bool later = !locked_ || timeNs > lastDueNs_;  // a sound after those placed before
    lastDueNs_ = locked_ ? std::max(lastDueNs_, timeNs) : timeNs;
    if (hold_ > 0) {
        // A held line: drawn from the fit when a run starts and kept while its sounds follow each
        // other, so every interval of the run is exact in the output's own frames whatever the
        // timestamps do. While the fit stays within the bound of it, the line is moved by at most
        // one frame a sound (a fiftieth of a millisecond, unheard) towards the fit, which keeps it
        // with a device clock that runs a little off the host's. Time the output loses (it stopped
        // for a while) leaves it behind the line: the sounds already handed over play that much
        // later, so the rest of the run does too, and the lag is told to whoever shows the screen.
        // The line is drawn again only when the output has run ahead of it by more than the bound or
        // so far that a sound would come too late for it, fallen behind by more than a listener should
        // wait, or when it was a guess made before the output ran (from its first reports, and once
        // more when the fit has settled). A fit just restarted rests on a
        // report or two, as coarse as they come: it is not judged.
        bool redraw = newRun;
        if (!newRun) {
            // > 0: the output is ahead of where the line was drawn (the fit, or past the frontier).
            double off = fitNow + beyond_ - lock_.At(nowNs);
            if (!provisional_ && ((guess_ == 2 && weight_ >= 3) || (guess_ == 1 && weight_ >= kSettledCallbacks))) {
                // The output runs: a few reports are better than the guess, and a settled fit better still.
                redraw = guess_ == 2 || std::fabs(off) >= 1.0;
                --guess_;
            } else if (weight_ >= kHeldCallbacks && !provisional_) {
                redraw = off > hold_ * nominal_ || off < -kMaxCarriedSeconds * nominal_;
                // The first judgment after the fit started again takes the step it finds as carried
                // (the output lost time, or its reports say so): the line is moved only for what
                // drifts from there, so the run's intervals stay exact across the step.
                if (!redraw && judgedEpoch_ != epoch_) {
                    carried_ = off;
                    judgedEpoch_ = epoch_;
                }
                double drift = off - carried_;
                double dead = std::max(kDeadSeconds * nominal_, 3.0 * Scatter());
                if (!redraw && later && std::fabs(drift) > dead) {
                    lock_.f0 += drift > 0 ? 1.0 : -1.0;
                    off -= drift > 0 ? 1.0 : -1.0;
                }
            }
            // A sound the held line would place where the output can no longer take it: the output
            // ran that far ahead of the line, which is drawn again rather than the sound cut short.
            if (!redraw && std::llround(lock_.At(timeNs)) - buffer_ < earliest) redraw = true;
            lag_ = redraw ? 0.0 : beyond_ - off;
        }
        if (redraw) {
            // An output that renders further ahead than the latency reaches (a sound server running
            // long cycles) would take the run's sounds late, each by where in its cycle it was asked
            // for: the line is drawn that much later, all of it, and the delay told like a lag.
            lock_ = Line{nowNs, fitNow, rate};
            double first = std::round(lock_.At(timeNs)) - buffer_;
            beyond_ = frontier > first ? double(frontier) - first : 0.0;
            lock_.f0 += beyond_;
            locked_ = true;
            judgedEpoch_ = epoch_;
            carried_ = 0;
            guess_ = provisional_ ? 2 : guess_;
            lag_ = beyond_;
            ++anchors_;
        }
    } else if (!locked_ || lockEpoch_ != epoch_) {
        lock_ = Line{nowNs, fitNow, rate};
        locked_ = true;
        lockEpoch_ = epoch_;
        ++anchors_;
    } else {
        // Continuous at `now`: what was scheduled before keeps its place, what comes next follows
        // the fit's rate, plus a slow pull that closes the gap between the line and the fit.
        double error = fitNow - lock_.At(nowNs);
        // Readings that scatter (a server that counts frames a whole cycle at a time) move the fit's
        // position by about their scatter: only the part of the gap beyond that is pulled in.
        double dead = 3.0 * Scatter();
        if (std::fabs(error) > std::max(kRedrawSeconds * nominal_, 2.0 * dead)) {
            lock_ = Line{nowNs, fitNow, rate};
            ++anchors_;
        } else {
            double pull = error > dead ? error - dead : error < -dead ? error + dead : 0.0;
            lock_ = Line{nowNs, lock_.At(nowNs), rate + pull / kSteerSeconds};
        }
    }
    // A callback fills the buffer after the one being heard: a frame asked for at time t is heard
    // about one buffer later.
    *frame = std::llround(lock_.At(timeNs)) - buffer_;
    return true;
}

std::int64_t DeviceClock::TimeOfFrame(std::int64_t frame) const {
    if (!locked_ || lock_.rate <= 0) return 0;
    return lock_.t0 + std::llround((double(frame + buffer_) - lock_.f0) / lock_.rate * 1e9);
}

}  // namespace hostsound
