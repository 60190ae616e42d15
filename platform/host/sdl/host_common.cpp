// The desktop host's start-up, clock and traces.
//
// Implements: host::Now from the monotonic clock, the opening and closing of the window, the
// audio device and the watcher thread in the right order, the CADENZO_TRACE log, UTF-8 text; SIGPIPE
// ignored, so a write to a closed pipe fails and is handled where it is made.
// Leaves out: everything the other files of this host do.
#include "sdl_host.h"

#include <SDL.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

#include "host.h"

#ifndef CADENZO_APP_ID
#define CADENZO_APP_ID "org.cadenzo.Cadenzo"
#endif

namespace sdlhost {

namespace {

std::int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

const std::int64_t startNs = MonotonicNs();

struct TraceState {
    std::once_flag once;
    FILE *file = nullptr;
    std::mutex mutex;
} trace;
// Lines from the main thread are written out when its loop waits (FlushTrace), a few a turn;
// other threads' lines at once.
const std::thread::id mainThread = std::this_thread::get_id();

void OpenTrace() {
    const char *target = std::getenv("CADENZO_TRACE");
    if (!target || !*target || std::string(target) == "0") return;
    if (std::string(target) == "1") {
        trace.file = stderr;
        return;
    }
    trace.file = std::fopen(target, "w");
}

bool sdlOpen = false;
bool videoOpen = false;
std::uint32_t userEventType = 0;

}  // namespace

std::int64_t NowNs() { return MonotonicNs() - startNs; }

std::int64_t FromMonotonicNs(std::int64_t monotonicNs) { return monotonicNs - startNs; }

std::int64_t MessageTimeNs(std::uint32_t ms) {
    std::int64_t nowMs = NowNs() / 1000000;
    std::int32_t ago = std::int32_t(std::uint32_t(nowMs) - ms);
    return (nowMs - ago) * 1000000;
}

bool Tracing() {
    std::call_once(trace.once, OpenTrace);
    return trace.file != nullptr;
}

void Trace(const char *format, ...) {
    if (!Tracing()) return;
    std::lock_guard<std::mutex> lock(trace.mutex);
    std::fprintf(trace.file, "%u ", host::Now());
    va_list args;
    va_start(args, format);
    std::vfprintf(trace.file, format, args);
    va_end(args);
    std::fputc('\n', trace.file);
    if (std::this_thread::get_id() != mainThread) std::fflush(trace.file);
}

void FlushTrace() {
    if (!Tracing()) return;
    std::lock_guard<std::mutex> lock(trace.mutex);
    std::fflush(trace.file);
}

std::string Utf8(const std::u16string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::uint32_t UserEventType() { return userEventType; }

void PushUserEvent(UserCode code) {
    if (!userEventType) return;
    SDL_Event event{};
    event.type = userEventType;
    event.user.code = code;
    SDL_PushEvent(&event);
}

bool Open(const Options &options, std::string *error) {
    if (sdlOpen) return true;
    // Termination signals are ours (the watcher thread turns them into a Close event).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A write to a closed pipe (standard error read by a program that has gone) fails with EPIPE
    // instead of ending the process before it saves; programs we start get the default back.
    signal(SIGPIPE, SIG_IGN);
    // The window's class (X11) and app id (Wayland) name the desktop entry, so the desktop shows its
    // name and icon for it. SDL 2.26 reads these from the environment when its video starts, not as
    // hints; a value the user set is kept.
    setenv("SDL_VIDEO_X11_WMCLASS", CADENZO_APP_ID, 0);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", CADENZO_APP_ID, 0);
    SDL_SetHint("SDL_APP_NAME", "Cadenzo");  // what the sound server and screen saver call it
    if (options.video && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("SDL_VIDEODRIVER")) {
        *error = "no display found (set DISPLAY or run under a desktop session)";
        return false;
    }
    if (SDL_Init(SDL_INIT_EVENTS) != 0) {
        *error = std::string("cannot start SDL: ") + SDL_GetError();
        return false;
    }
    sdlOpen = true;
    userEventType = SDL_RegisterEvents(1);
    if (userEventType == std::uint32_t(-1)) userEventType = 0;
    // The audio device first: a sound server may take a second or two to start asking for sound,
    // time better spent while the window and the program start.
    if (options.audio) OpenAudio();
    if (!options.video) MayTellAboutSound();  // no window to wait for
    if (options.video) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            *error = std::string("no display found (") + SDL_GetError() + ")";
            Close();
            return false;
        }
        videoOpen = true;
        // Only a display a person sees: SDL falls back to drivers that draw nowhere (offscreen,
        // dummy) when the one named cannot be reached, and a copy running there would be invisible.
        std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
        if (driver != "x11" && driver != "wayland") {
            *error = "no display found (" + (driver.empty() ? std::string("none") : "only the " + driver + " driver") +
                     "; set DISPLAY or WAYLAND_DISPLAY to a running desktop)";
            Close();
            return false;
        }
        if (!OpenWindow(error)) {
            Close();
            return false;
        }
    }
    StartWatcher();
    return true;
}

void Close() {
    if (!sdlOpen) return;
    CloseAudio();
    StopWatcher();
    ReleaseIdentities();
    if (videoOpen && WindowGone()) {
        // Taking down a window another client destroyed, and SDL's displays with it, meets X errors
        // that SDL hands to Xlib's default handler once ours is gone, which ends the process with
        // code 1. Nothing is left to save or release: the process ends with the connections.
        videoOpen = false;
        userEventType = 0;
        sdlOpen = false;
        return;
    }
    if (videoOpen) CloseWindow();
    videoOpen = false;
    userEventType = 0;
    SDL_Quit();
    sdlOpen = false;
}

}  // namespace sdlhost

std::uint32_t host::Now() { return std::uint32_t(sdlhost::NowNs() / 1000000); }

int host::LocalMinutesOfDay() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return 0;
    return local.tm_hour * 60 + local.tm_min;
}

void host::Log(const std::string &event) { sdlhost::Trace("%s", event.c_str()); }
