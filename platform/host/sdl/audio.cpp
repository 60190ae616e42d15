// The desktop host's sound: host::PlaySound into the one schedule, and the output that plays it.
//
// Implements: each sound converted once to 48 kHz and placed in the schedule (the main thread never
// waits on a device or server); a manager thread that opens the first output that works, in the
// order PipeWire, PulseAudio, SDL (CADENZO_AUDIO=pipewire|pulse|sdl names one; SDL_AUDIODRIVER
// chooses SDL and its driver), retries in the background when it breaks or when none works (every
// 0.1 s at first, then up to every 2 s), and moves to a better one that comes back; while none
// works the navigation bar says so and one line on standard error names the cause: said once, again
// only when the cause changes or after sound worked, and only once the window is shown (a second copy
// that hands over to the first says nothing about sound). libasound's own messages (each try of SDL's
// ALSA driver prints a dozen) go to the trace, never to standard error.
// Leaves out: choosing among devices, volume, recording.
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "outputs.h"
#include "scheduler.h"
#include "sdl_host.h"
#include "sound_cache.h"

namespace sdlhost {

namespace {

// Tuning knobs for trying other devices: CADENZO_AUDIO_BUFFER (frames), CADENZO_LATENCY (ms).
int EnvNumber(const char *name, int fallback, int low, int high) {
    const char *text = std::getenv(name);
    if (!text || !*text) return fallback;
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= low && value <= high ? int(value) : fallback;
}

std::string Env(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

// Whether something listens on the Unix socket at `path` (a server that is not running leaves none,
// or a stale file that refuses): a cheap test before the real connection, so a retry costs nothing.
bool Listening(const std::string &path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return true;  // not a socket we can test: let the library try
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return true;
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 || errno == EAGAIN ||
              errno == EINPROGRESS;
    close(fd);
    return ok;
}

// Where each server listens, as its client library finds it.
std::string PipeWireSocket() {
    std::string remote = Env("PIPEWIRE_REMOTE");
    if (remote.empty()) remote = "pipewire-0";
    if (remote[0] == '/') return remote;
    std::string dir = Env("PIPEWIRE_RUNTIME_DIR");
    if (dir.empty()) dir = Env("XDG_RUNTIME_DIR");
    return dir.empty() ? "" : dir + "/" + remote;
}

std::string PulseSocket() {
    std::string server = Env("PULSE_SERVER");
    if (!server.empty()) return server.rfind("unix:", 0) == 0 ? server.substr(5) : server[0] == '/' ? server : "";
    std::string dir = Env("PULSE_RUNTIME_PATH");
    if (!dir.empty()) return dir + "/native";
    dir = Env("XDG_RUNTIME_DIR");
    return dir.empty() ? "" : dir + "/pulse/native";
}

// libasound reports through a handler of this shape; by default it prints to standard error.
using AlsaHandler = void (*)(const char *file, int line, const char *function, int error, const char *format, ...);

void OnAlsaMessage(const char *file, int line, const char *, int, const char *format, ...) {
    if (!Tracing()) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Trace("alsa %s:%d %s", file ? file : "", line, text);
}

// Gives libasound our handler. SDL loads the library by the same name, so it is the same copy; it is
// kept loaded for the life of the process, so SDL's unloading it never takes the handler away.
void QuietAlsa() {
    static bool done = false;
    if (done) return;
    done = true;
    void *library = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!library) return;
    auto set = reinterpret_cast<int (*)(AlsaHandler)>(dlsym(library, "snd_lib_error_set_handler"));
    if (set) set(OnAlsaMessage);
}

// The line that says why there is no sound: kept until the window is shown, dropped when sound works.
std::mutex sayMutex;
bool mayTell = false;
std::string untold;

void TellNoSound(const std::string &line) {
    std::lock_guard<std::mutex> lock(sayMutex);
    if (mayTell)
        std::fprintf(stderr, "%s\n", line.c_str());
    else
        untold = line;
}

void ForgetNoSound() {
    std::lock_guard<std::mutex> lock(sayMutex);
    untold.clear();
}

enum class State { Unknown, Works, None };

struct Audio {
    explicit Audio(int latencyMs) : scheduler(latencyMs), sounds(kOutputRate) {}
    Scheduler scheduler;
    SoundCache sounds;  // the main thread only
    std::vector<OutputKind> order;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false, finished = false;
    std::atomic<bool> broke{false};
    std::atomic<State> state{State::Unknown};
    std::thread manager;
};

Audio *audio = nullptr;

std::vector<OutputKind> Order() {
    std::string named = Env("CADENZO_AUDIO");
    if (named == "pipewire") return {OutputKind::PipeWire};
    if (named == "pulse") return {OutputKind::Pulse};
    if (named == "sdl" || !Env("SDL_AUDIODRIVER").empty()) return {OutputKind::Sdl};
    if (!named.empty())
        std::fprintf(stderr, "cadenzo: CADENZO_AUDIO=%s is not pipewire, pulse or sdl; trying each\n", named.c_str());
    return {OutputKind::PipeWire, OutputKind::Pulse, OutputKind::Sdl};
}

std::unique_ptr<Output> OpenKind(OutputKind kind, Scheduler &scheduler, std::string *why) {
    switch (kind) {
    case OutputKind::PipeWire:
#ifdef CADENZO_HAVE_PIPEWIRE
        if (!Listening(PipeWireSocket())) {
            *why = "PipeWire: no daemon";
            return nullptr;
        }
        return OpenPipeWire(scheduler, why);
#else
        *why = "PipeWire: not built in";
        return nullptr;
#endif
    case OutputKind::Pulse:
        if (!Listening(PulseSocket())) {
            *why = "PulseAudio: no server";
            return nullptr;
        }
        return OpenPulse(scheduler, why);
    case OutputKind::Sdl: return OpenSdl(scheduler, why);
    }
    return nullptr;
}

void SetState(Audio &a, State state) {
    if (a.state.exchange(state) != state) PushUserEvent(kUserSound);
}

// The manager thread: keeps the best output that works playing the schedule, in these steps.
class Manager {
public:
    explicit Manager(Audio &audio) : a_(audio), rank_(audio.order.size()) {}
    void Run();

private:
    using Clock = std::chrono::steady_clock;
    // No output, or a better one than this may have come back.
    bool TimeToTry() const { return !out_ || (rank_ > 0 && Clock::now() - lastTry_ >= std::chrono::seconds(2)); }
    void TryOutputs();
    void Use(std::unique_ptr<Output> found, std::size_t rank);
    void SayNone(const std::string &reasons);
    std::chrono::milliseconds Wait() const;
    void NoteSkipped();
    void Drop();

    Audio &a_;
    std::unique_ptr<Output> out_;
    std::size_t rank_;  // out_'s place in a_.order (the order's size: none)
    std::chrono::milliseconds backoff_{100};
    Clock::time_point lastTry_ = Clock::now();
    std::string told_;  // the causes last said; "" after sound worked
    std::int64_t skipped_ = 0;
};

// Tries the outputs ahead of the one playing (all of them when none plays), the first that opens wins.
void Manager::TryOutputs() {
    std::string reasons;
    std::size_t limit = out_ ? rank_ : a_.order.size();
    for (std::size_t i = 0; i < limit; ++i) {
        std::string why;
        if (std::unique_ptr<Output> found = OpenKind(a_.order[i], a_.scheduler, &why)) {
            lastTry_ = Clock::now();
            Use(std::move(found), i);
            return;
        }
        Trace("audio-try %s", why.c_str());
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    lastTry_ = Clock::now();
    if (!out_) SayNone(reasons);
}

// The schedule moves to `found`, which says when it breaks.
void Manager::Use(std::unique_ptr<Output> found, std::size_t rank) {
    Drop();
    a_.scheduler.Attach(found->Timing(), found->Wake(), NowNs());
    Audio &audio = a_;
    found->notice = [&audio] {
        audio.broke = true;
        audio.wake.notify_all();  // without the lock: the output's thread must not wait on it
    };
    found->Start();
    out_ = std::move(found);
    skipped_ = 0;
    rank_ = rank;
    backoff_ = std::chrono::milliseconds(100);
    told_.clear();
    ForgetNoSound();
    SetState(a_, State::Works);
}

void Manager::SayNone(const std::string &reasons) {
    Trace("audio-none %s", reasons.c_str());
    if (reasons != told_) TellNoSound("cadenzo: no sound (" + reasons + "); trying again in the background");
    told_ = reasons;
    SetState(a_, State::None);
}

// An output that works says when it breaks (SDL's is asked each second), so an idle program does
// not wake here; while a better output may come back, it is tried every two seconds; with none,
// every 0.1 s at first, then less often.
std::chrono::milliseconds Manager::Wait() const {
    using namespace std::chrono;
    if (!out_) return backoff_;
    if (rank_ > 0) return milliseconds(2000);
    return out_->SaysWhenBroken() ? hours(24) : seconds(1);
}

void Manager::NoteSkipped() {
    if (out_->SkippedFrames() == skipped_) return;
    skipped_ = out_->SkippedFrames();
    Trace("audio-skip %lld", (long long)skipped_);  // the device played on without us
}

void Manager::Drop() {
    if (!out_) return;
    a_.scheduler.Detach();
    out_.reset();
}

void Manager::Run() {
    std::unique_lock<std::mutex> lock(a_.mutex);
    while (!a_.stop) {
        if (TimeToTry()) {
            lock.unlock();
            TryOutputs();
            lock.lock();
            if (a_.stop) break;
        }
        a_.wake.wait_for(lock, Wait(), [this] { return a_.stop || a_.broke.load(); });
        a_.broke = false;
        if (!out_) {
            backoff_ = std::min<std::chrono::milliseconds>(backoff_ * 2, std::chrono::seconds(2));
            continue;
        }
        NoteSkipped();
        if (out_->Broken()) {
            Trace("audio-removed %s", out_->Name());
            lock.unlock();
            Drop();
            lock.lock();
        }
    }
    lock.unlock();
    Drop();
    lock.lock();
    a_.finished = true;
    a_.wake.notify_all();
}

void Manage(Audio &audio) { Manager(audio).Run(); }

}  // namespace

int LatencyMs() { return EnvNumber("CADENZO_LATENCY", kLatencyMs, 10, 1000); }
int AudioBufferFrames() { return EnvNumber("CADENZO_AUDIO_BUFFER", kBufferFrames, 64, 4096); }

void MayTellAboutSound() {
    std::lock_guard<std::mutex> lock(sayMutex);
    mayTell = true;
    if (!untold.empty()) std::fprintf(stderr, "%s\n", untold.c_str());
    untold.clear();
}

bool OpenAudio() {
    if (audio) return true;
    QuietAlsa();
    audio = new Audio(LatencyMs());
    audio->order = Order();
    audio->manager = std::thread(Manage, std::ref(*audio));
    return true;
}

void CloseAudio() {
    if (!audio) return;
    std::unique_lock<std::mutex> lock(audio->mutex);
    audio->stop = true;
    audio->wake.notify_all();
    // An output being opened against a server that does not answer may take its full timeout: the
    // program does not wait for it at exit (the process ends with it).
    if (audio->wake.wait_for(lock, std::chrono::milliseconds(300), [] { return audio->finished; })) {
        lock.unlock();
        audio->manager.join();
        delete audio;
    } else {
        lock.unlock();
        audio->manager.detach();
    }
    audio = nullptr;
}

bool AudioWorks() { return audio && audio->state == State::Works; }
std::int64_t AudioLagNs() { return audio ? audio->scheduler.LagNs() : 0; }

void TraceAudio() {
    if (!audio || !Tracing()) return;
    Scheduler::Started started[16];
    int count;
    while ((count = audio->scheduler.TakeStarted(started, 16)) > 0) {
        for (int i = 0; i < count; ++i)
            Trace("started %d %lld %lld %lld %lld", started[i].id, (long long)started[i].frame,
                  (long long)started[i].scheduled, (long long)(started[i].timeNs / 1000),
                  (long long)started[i].heardFrame);
    }
}

}  // namespace sdlhost

void host::PlaySound(int id, const std::int16_t *samples, std::size_t count, int rate, std::uint32_t messageTime) {
    using namespace sdlhost;
    if (!audio) return;
    const SoundData *sound = nullptr;
    if (samples && !(sound = audio->sounds.Get(samples, count, rate))) return;
    std::int64_t frame = audio->scheduler.Play(id, sound, MessageTimeNs(messageTime), NowNs());
    if (Tracing())
        Trace("sound %d %u %lld %.2f %d %d", id, messageTime, (long long)frame, audio->scheduler.MeasuredRate(),
              audio->scheduler.Restarts(), audio->scheduler.Anchors());
}

// Until the first try has ended, sound counts as working (the bar does not flicker at start).
bool host::SoundWorks() { return !sdlhost::audio || sdlhost::audio->state != sdlhost::State::None; }
