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

void Manage(Audio &a) {
    using namespace std::chrono;
    std::unique_ptr<Output> out;
    std::size_t rank = a.order.size();
    auto backoff = milliseconds(100);
    auto lastTry = steady_clock::now();
    std::string told;  // the causes last said; "" after sound worked
    std::int64_t skipped = 0;
    std::unique_lock<std::mutex> lock(a.mutex);
    while (!a.stop) {
        // No output, or a better one than this may have come back: try those ahead of it.
        if (!out || (rank > 0 && steady_clock::now() - lastTry >= seconds(2))) {
            lock.unlock();
            std::string reasons;
            std::unique_ptr<Output> found;
            std::size_t limit = out ? rank : a.order.size(), i = 0;
            for (; i < limit && !found; ++i) {
                std::string why;
                found = OpenKind(a.order[i], a.scheduler, &why);
                if (!found) {
                    Trace("audio-try %s", why.c_str());
                    reasons += (reasons.empty() ? "" : "; ") + why;
                }
            }
            lastTry = steady_clock::now();
            if (found) {
                if (out) {
                    a.scheduler.Detach();
                    out.reset();
                }
                a.scheduler.Attach(found->Timing(), found->Wake(), NowNs());
                found->notice = [&a] {
                    a.broke = true;
                    a.wake.notify_all();  // without the lock: the output's thread must not wait on it
                };
                found->Start();
                out = std::move(found);
                skipped = 0;
                rank = i - 1;
                backoff = milliseconds(100);
                told.clear();
                ForgetNoSound();
                SetState(a, State::Works);
            } else if (!out) {
                Trace("audio-none %s", reasons.c_str());
                if (reasons != told) TellNoSound("cadenzo: no sound (" + reasons + "); trying again in the background");
                told = reasons;
                SetState(a, State::None);
            }
            lock.lock();
            if (a.stop) break;
        }
        // An output that works says when it breaks (SDL's is asked each second), so an idle program
        // does not wake here; while a better output may come back, it is tried every two seconds.
        milliseconds wait = !out                     ? backoff
                            : rank > 0               ? milliseconds(2000)
                            : !out->SaysWhenBroken() ? seconds(1)
                                                     : hours(24);
        a.wake.wait_for(lock, wait, [&a] { return a.stop || a.broke.load(); });
        a.broke = false;
        if (out && out->SkippedFrames() != skipped) {
            skipped = out->SkippedFrames();
            Trace("audio-skip %lld", (long long)skipped);  // the device played on without us
        }
        if (!out)
            backoff = std::min<milliseconds>(backoff * 2, seconds(2));
        else if (out->Broken()) {
            Trace("audio-removed %s", out->Name());
            lock.unlock();
            a.scheduler.Detach();
            out.reset();
            lock.lock();
        }
    }
    lock.unlock();
    if (out) {
        a.scheduler.Detach();
        out.reset();
    }
    lock.lock();
    a.finished = true;
    a.wake.notify_all();
}

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
        Trace("sound %d %u %lld %.2f %d", id, messageTime, (long long)frame, audio->scheduler.MeasuredRate(),
              audio->scheduler.Restarts());
}

// Until the first try has ended, sound counts as working (the bar does not flicker at start).
bool host::SoundWorks() { return !sdlhost::audio || sdlhost::audio->state != sdlhost::State::None; }
