// The hosts' one sound schedule: see scheduler.h.
#include "scheduler.h"

#include <algorithm>
#include <cmath>

namespace hostsound {

namespace {
constexpr std::size_t kMaxEntries = 64;  // far more than one voice ever needs ahead
constexpr std::size_t kMaxStarted = 64;
// How long the farthest an output renders ahead is remembered: longer than a change of a sound
// server's cycle takes to show, short enough that a run after the cycle shrank starts closer.
constexpr std::int64_t kLeadMemoryNs = 2000000000;
// Room past that for a sound asked for after its due time: a program's loop on a busy desktop wakes
// late now and then (27-32 ms about once a minute on a two-processor machine running a sound server,
// a recorder and a display server, and as late in any other process sleeping there). With less room
// such a call finds its frame rendered already and its click starts late. Where the latency leaves
// less than this past what an output renders ahead, the run is heard that much later; the screen is
// told.
constexpr double kLateCallSeconds = 0.040;
}  // namespace

Scheduler::Scheduler(int latencyMs) : latencyNs_(std::int64_t(latencyMs) * 1000000) {}

std::int64_t Scheduler::Earliest(std::int64_t nowNs) const {
    std::int64_t heard = heard_ < 0 ? 0 : heard_ + std::int64_t(double(nowNs - heardNs_) * 1e-9 * timing_.rate);
    return std::max(committed_, heard + timing_.guardFrames);
}

// Where a new run's first sound may go: past the farthest frame a pull output has rendered ahead of
// the one heard, so that none of the run's sounds finds its frame rendered already, wherever in the
// output's cycle it is asked for.
std::int64_t Scheduler::Frontier(std::int64_t nowNs) const {
    std::int64_t earliest = Earliest(nowNs);
    if (heard_ < 0 || lead_ <= 0) return earliest;
    std::int64_t heard = heard_ + std::int64_t(double(nowNs - heardNs_) * 1e-9 * timing_.rate);
    return std::max(earliest, heard + lead_ + std::int64_t(kLateCallSeconds * timing_.rate));
}

std::int64_t Scheduler::Ends(const Entry &entry) {
    return entry.frame + (entry.sound ? std::int64_t(entry.sound->Length()) : 0);
}

// Gives `entry` its frame. A sound a little late (less than the latency) starts whole at the first
// frame still open; a later one is dropped (false). The sound sounding at its frame stops there; it
// stops in turn where a sound placed before it starts.
bool Scheduler::Place(Entry &entry, std::int64_t nowNs, Placement *placement) {
    std::int64_t frame = 0;
    std::int64_t earliest = Earliest(nowNs);
    // The frontier as it stood when the sound was asked for: lateness of its own is not the
    // output's, and starts it at the next frame or drops it as below.
    std::int64_t late = std::max<std::int64_t>(0, nowNs - (entry.dueNs - latencyNs_));
    std::int64_t frontier = Frontier(nowNs) - std::int64_t(double(late) * 1e-9 * timing_.rate);
    clock_->FrameAt(entry.dueNs, nowNs, &frame, earliest, frontier);
    placement->scheduled = frame;
    if (frame < earliest) {
        if (double(earliest - frame) > double(latencyNs_) * 1e-9 * timing_.rate) return false;
        frame = earliest;
    }
    entry.frame = frame;
    auto at = std::upper_bound(entries_.begin(), entries_.end(), frame,
                               [](std::int64_t f, const Entry &e) { return f < e.frame; });
    std::int64_t nextStart = at == entries_.end() ? INT64_MAX : at->frame;
    placement->end = std::min(Ends(entry), nextStart);
    placement->cuts = -1;
    if (at != entries_.begin() && std::min(Ends(*(at - 1)), nextStart) > frame) placement->cuts = (at - 1)->frame;
    // The frames a write-ahead output writes again: from this one until both the sound it cuts and
    // its own have ended, or the next sound starts.
    std::int64_t to = std::max(Ends(entry), at == entries_.begin() ? frame : Ends(*(at - 1)));
    to = std::min(to, nextStart);
    changedFrom_ = changedFrom_ < 0 ? frame : std::min(changedFrom_, frame);
    changedTo_ = std::max(changedTo_, to);
    entries_.insert(at, entry);
    if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
    return true;
}

std::int64_t Scheduler::Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs,
                             Placement *placement) {
    std::lock_guard<std::mutex> lock(mutex_);
    Placement chosen;
    Entry entry{id, sound, messageNs + latencyNs_, -1};
    bool placed = false;
    if (!clock_) {
        // No output plays: the sound waits for one, in case it comes up in time.
        entries_.push_back(entry);
        if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
    } else {
        placed = Place(entry, nowNs, &chosen);
    }
    if (placement) *placement = chosen;
    if (!placed) return -1;
    if (sound && started_.size() < kMaxStarted)
        started_.push_back(Started{id, entry.frame, chosen.scheduled, heardNs_, heard_});
    if (wake_) wake_();
    return entry.frame;
}

int Scheduler::TakeStarted(Started *out, int max) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = std::min(max, int(started_.size()));
    std::copy(started_.begin(), started_.begin() + count, out);
    started_.erase(started_.begin(), started_.begin() + count);
    return count;
}

double Scheduler::MeasuredRate() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_ ? clock_->MeasuredRate() : 0.0;
}

std::int64_t Scheduler::HeardFrame() {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
}

int Scheduler::Restarts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_ ? clock_->Restarts() : 0;
}

int Scheduler::Anchors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_ ? clock_->Anchors() : 0;
}

std::int64_t Scheduler::LagNs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_ ? clock_->LagNs() : 0;
}

void Scheduler::Attach(const OutputTiming &timing, std::function<void()> wake, std::int64_t nowNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    timing_ = timing;
    wake_ = std::move(wake);
    clock_.emplace(timing.rate, timing.grainFrames, timing.spread, timing.stallSeconds, timing.nominalBand,
                   timing.holdSeconds);
    committed_ = 0;
    heard_ = -1;
    lead_ = 0;
    changedFrom_ = -1;
    changedTo_ = 0;
    // Sounds that waited (or were placed on the output before) keep their due times; those already
    // past are dropped rather than played late in a burst.
    std::vector<Entry> waiting;
    waiting.swap(entries_);
    for (Entry &entry : waiting) {
        std::int64_t frame = 0;
        clock_->FrameAt(entry.dueNs, nowNs, &frame);
        Placement placement;
        if (frame >= Earliest(nowNs) && Place(entry, nowNs, &placement) && entry.sound && started_.size() < kMaxStarted)
            started_.push_back(Started{entry.id, entry.frame, placement.scheduled, heardNs_, heard_});
    }
}

void Scheduler::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_.reset();
    wake_ = nullptr;
    for (Entry &entry : entries_) entry.frame = -1;
}

void Scheduler::Forget(std::int64_t before) {
    // Only the latest start at or before `before` can still sound there; it goes too once it ended.
    auto decides = std::upper_bound(entries_.begin(), entries_.end(), before,
                                    [](std::int64_t f, const Entry &e) { return f < e.frame; });
    if (decides == entries_.begin()) return;
    --decides;
    const Entry &last = *decides;
    bool ended = !last.sound || last.frame + std::int64_t(last.sound->Length()) <= before;
    entries_.erase(entries_.begin(), ended ? decides + 1 : decides);
}

void Scheduler::RenderLocked(float *out, std::int64_t from, int count) {
    std::int64_t end = from + count;
    auto next = std::upper_bound(entries_.begin(), entries_.end(), from,
                                 [](std::int64_t f, const Entry &e) { return f < e.frame; });
    const Entry *voice = next == entries_.begin() ? nullptr : &*(next - 1);
    for (std::int64_t pos = from; pos < end;) {
        std::int64_t stop = next == entries_.end() ? end : std::min(end, next->frame);
        float *at = out + (pos - from);
        std::int64_t filled = 0;
        if (voice && voice->sound) {
            // The part of the voice's sound that falls in [pos, stop).
            const std::vector<float> &samples = voice->sound->samples;
            std::int64_t first = pos - voice->frame;
            filled = std::clamp<std::int64_t>(std::int64_t(samples.size()) - first, 0, stop - pos);
            if (filled > 0) std::copy(samples.begin() + first, samples.begin() + first + filled, at);
        }
        std::fill(at + filled, at + (stop - pos), 0.0f);
        pos = stop;
        if (next != entries_.end() && next->frame <= pos) voice = &*next++;
    }
}

// The output's word on which frame is heard when: fed to the clock fit and kept for new sounds.
void Scheduler::NoteHeardLocked(std::int64_t timeNs, std::int64_t heard) {
    if (clock_) clock_->AddCallback(timeNs, heard + timing_.grainFrames);
    heard_ = heard;
    heardNs_ = timeNs;
}

// Frames [committed_, from) were never rendered: the output went on past them (it woke late, or the
// device played on without it). The sound that should have begun there begins whole at `from`, as a
// sound asked for a little late does; one later than the latency would be heard out of its time and
// is silenced instead (it still cuts off the sound before it).
void Scheduler::StartSkippedLocked(std::int64_t from) {
    auto last = std::lower_bound(entries_.begin(), entries_.end(), from,
                                 [](const Entry &e, std::int64_t f) { return e.frame < f; });
    if (last == entries_.begin() || (last - 1)->frame < committed_) return;
    Entry &skipped = *(last - 1);
    if (double(from - skipped.frame) > double(latencyNs_) * 1e-9 * timing_.rate) skipped.sound = nullptr;
    skipped.frame = from;
}

bool Scheduler::PullLocked(float *out, std::int64_t from, int count) {
    if (from > committed_) StartSkippedLocked(from);
    Forget(from);
    RenderLocked(out, from, count);
    committed_ = from + count;
    Forget(committed_);
    return entries_.empty();
}

bool Scheduler::Pull(float *out, std::int64_t from, int count, std::int64_t timeNs, std::int64_t heard,
                     std::int64_t hostNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    NoteHeardLocked(timeNs, heard);
    bool idle = PullLocked(out, from, count);
    // How far ahead of the frame heard now, as a sound asked for now reckons it from this report.
    if (hostNs == INT64_MIN) hostNs = timeNs;
    std::int64_t lead = committed_ - heard - std::int64_t(double(hostNs - timeNs) * 1e-9 * timing_.rate);
    if (lead >= lead_ || hostNs - leadNs_ > kLeadMemoryNs) {
        lead_ = lead;
        leadNs_ = hostNs;
    }
    return idle;
}

void Scheduler::Report(std::int64_t timeNs, std::int64_t heard) {
    std::lock_guard<std::mutex> lock(mutex_);
    NoteHeardLocked(timeNs, heard);
    Forget(heard);
}

void Scheduler::Render(float *out, std::int64_t from, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    RenderLocked(out, from, count);
}

std::int64_t Scheduler::TakeChange(std::int64_t *to) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t from = changedFrom_;
    *to = changedTo_;
    changedFrom_ = -1;
    changedTo_ = 0;
    return from;
}

}  // namespace hostsound
