// The browser host (wasm): the host seam over the page's own runtime (web_page.js).
//
// Implements: the clock (performance.now()); waiting for input or a deadline through Asyncify, so the
// program's message loops and the dialogs' modal loops block as on the handheld; the screen handed to
// the page with the time it is due (its message time + the output latency); sounds through the one
// schedule shared with the desktop (each converted once to the audio context's rate, placed at the
// frame the device clock fit gives, started at that frame by a Web Audio source); the settings folder
// kept in localStorage (read before the program starts, written when it ends); the help viewer as a
// new tab; other copies as other tabs of the same page, found through a BroadcastChannel; the wait
// ended for an action of the page's accessibility layer (web_access.cpp).
// Leaves out: processes other than the help viewer; raising another tab (a page can only signal it).
#include <emscripten.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access.h"
#include "host.h"
#include "scheduler.h"
#include "startup.h"
#include "web_access.h"
#include "web_host.h"

// The page's side (web_host.js, a library over web_page.js).
extern "C" {
void web_wait(double untilMs);  // asynchronous: returns when input arrives or at untilMs (< 0: none)
int web_take_event(int *out);   // kind, x, y, key, modifiers, time; 0 when none is queued
void web_present(const std::uint8_t *rgba, double messageMs, double dueMs);  // 240 x 320, 4 bytes each
int web_audio_state();  // > 0: running at that rate; 0: not started yet; -1: no sound
int web_audio_take_report(double *perfMs, double *frame);
int web_audio_guard_frames();
void web_audio_start(int id, const float *samples, int count, double frame, double end, double scheduled,
                     double messageMs);
void web_audio_stop(double start, double frame);  // the sound started at `start` stops at `frame`
int web_find_other();                             // asynchronous: 1 when another tab of the page holds the program
void web_ask_foreground();
void web_raise();
void web_set_title(const char16_t *title, int length);
void web_keep_screen_on(int on);
int web_open_help(const char *url);
void web_log(const char *line);
int web_local_minutes();
int web_storage_count();
int web_storage_name(int index, char *name, int size);
int web_storage_get(const char *name, unsigned char *bytes, int size);
void web_storage_put(const char *name, const unsigned char *bytes, int size);
void web_ended(int code, int secondCopy);
}

namespace webhost {
namespace {

// The latency every sound and frame is scheduled with: tap to sound, and a beat's flash with its click.
// At least this; more where the audio context itself holds more ahead of what is heard (a phone's
// output can hold 50 ms and more), so that a sound handed over promptly still starts on its frame.
constexpr int kLatencyMs = 60;
// Room above the context's own latency for the page to handle a tap or a timer and hand the sound over.
constexpr int kHandlingMs = 30;
constexpr int kReportGrainFrames = 128;  // Web Audio renders in quanta of 128 frames
// Reports come from a page timer every 100 ms; one missing for this long means the context stopped.
constexpr double kReportStallSeconds = 1.5;
// The context's clock is taken to run at its nominal rate unless the reports say otherwise beyond
// doubt: its timestamps scatter by milliseconds (a page's timers, a busy machine) and read a clock
// coarsened to 100 us. Each run of sounds keeps its anchor (the device clock's held line).
constexpr double kRateSpread = 1e-6;
constexpr const char *kFolder = "/cadenzo";

// A sound asked for before the audio context ran: converted and placed when it starts.
struct Waiting {
    int id;
    std::vector<std::int16_t> samples;
    int rate;
    std::uint32_t messageTime;
};

struct Audio {
    int latencyMs = kLatencyMs;
    std::optional<hostsound::Scheduler> scheduler;  // made when the context runs, with its latency
    std::unique_ptr<hostsound::SoundCache> sounds;
    int rate = 0;
    bool failed = false;
    std::vector<Waiting> waiting;
};
Audio g_audio;
bool g_secondCopy = false;
int g_otherFound = -1;  // -1: not asked yet

std::int64_t NowNs() { return std::int64_t(emscripten_get_now() * 1e6); }
// Message times are the clock's milliseconds; the clock never wraps within a page's life.
std::int64_t MessageNs(std::uint32_t messageTime) { return std::int64_t(messageTime) * 1000000; }

// Places a sound in the one schedule and tells the page what it decided: the sound starts at its frame
// and stops at its end (its own, or a sound already placed after it), and the sound it cuts off stops
// at its frame. The page starts and stops its sources there and nowhere else.
void Start(int id, const hostsound::SoundData *sound, std::uint32_t messageTime) {
    hostsound::Scheduler::Placement placement;
    std::int64_t frame = g_audio.scheduler->Play(id, sound, MessageNs(messageTime), NowNs(), &placement);
    if (frame < 0) return;  // too late: dropped, as on the desktop
    // The line says where the sound was due and where it starts: later only when the output could
    // not start it in time (the audio context was still starting).
    char line[128];
    std::snprintf(line, sizeof line, "sound %d %u %lld %lld %.3f %d %d %.1f", id, messageTime, (long long)frame,
                  (long long)placement.scheduled, g_audio.scheduler->MeasuredRate(), g_audio.scheduler->Restarts(),
                  g_audio.scheduler->Anchors(), double(g_audio.scheduler->LagNs()) * 1e-6);
    web_log(line);
    if (placement.cuts >= 0) web_audio_stop(double(placement.cuts), double(frame));
    if (sound)
        web_audio_start(id, sound->samples.data(), int(sound->Length()), double(frame), double(placement.end),
                        double(placement.scheduled), double(messageTime));
}

// The context runs at `rate`: the schedule is made with the latency its output needs and attached,
// and the sounds that waited for it are placed (those later than the latency are dropped).
void AttachToContext(int rate) {
    g_audio.rate = rate;
    g_audio.sounds = std::make_unique<hostsound::SoundCache>(rate);
    hostsound::OutputTiming timing;
    timing.rate = rate;
    timing.grainFrames = kReportGrainFrames;
    timing.guardFrames = web_audio_guard_frames();
    timing.stallSeconds = kReportStallSeconds;
    timing.spread = kRateSpread;
    int needMs = (timing.guardFrames * 1000 + rate - 1) / rate + kHandlingMs;
    g_audio.latencyMs = std::max(kLatencyMs, (needMs + 9) / 10 * 10);
    g_audio.scheduler.emplace(g_audio.latencyMs);
    char line[64];
    std::snprintf(line, sizeof line, "audio-open web %d %d %d", rate, timing.guardFrames, g_audio.latencyMs);
    web_log(line);
    // Only the latest report from before the schedule was made counts.
    double lastMs = 0, lastFrame = 0;
    while (web_audio_take_report(&lastMs, &lastFrame)) {
    }
    g_audio.scheduler->Attach(timing, nullptr, NowNs());
    if (lastMs > 0) g_audio.scheduler->Report(std::int64_t(lastMs * 1e6), std::int64_t(lastFrame));
    std::vector<Waiting> waited;
    waited.swap(g_audio.waiting);
    for (Waiting &w : waited)
        Start(w.id, g_audio.sounds->Get(w.samples.data(), w.samples.size(), w.rate), w.messageTime);
}

// Feeds the output's timing reports to the schedule; attaches it when the context starts running.
void PollAudio() {
    if (g_audio.failed) return;
    int state = web_audio_state();
    if (state < 0) {
        g_audio.failed = true;
        g_audio.waiting.clear();
        return;
    }
    if (state == 0) return;
    if (g_audio.rate == 0) return AttachToContext(state);
    double perfMs = 0, frame = 0;
    while (web_audio_take_report(&perfMs, &frame))
        g_audio.scheduler->Report(std::int64_t(perfMs * 1e6), std::int64_t(frame));
}

// The settings folder lives in the page's memory file system while the program runs; its files are
// kept in localStorage between visits.
void LoadFolder() {
    mkdir(kFolder, 0755);
    int count = web_storage_count();
    for (int i = 0; i < count; ++i) {
        char name[256];
        if (!web_storage_name(i, name, sizeof name)) continue;
        std::vector<unsigned char> bytes(size_t(web_storage_get(name, nullptr, 0)));
        web_storage_get(name, bytes.data(), int(bytes.size()));
        std::string path = std::string(kFolder) + "/" + name;
        if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
}

void SaveFile(const char *name) {
    std::string path = std::string(kFolder) + "/" + name;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::vector<unsigned char> bytes;
    unsigned char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    web_storage_put(name, bytes.data(), int(bytes.size()));
}

}  // namespace

int Run() {
    LoadFolder();
    StartAccess();
    // The platform is prepared (its fonts, control classes and screen furniture) in a step of its own,
    // with the browser's turn after it, before the program starts: one step for both would hold the
    // page up for as long as the two together.
    platform::Init();
    web_wait(emscripten_get_now());
    int code = platform::Run(0, nullptr);
    // The program writes its settings as it ends; the folder is kept for the next visit.
    SaveFile("Cadenzo.ini");
    web_ended(code, g_secondCopy ? 1 : 0);
    return code;
}

}  // namespace webhost

using namespace webhost;

namespace host {

std::uint32_t Now() { return std::uint32_t(emscripten_get_now()); }

bool WaitEvent(bool hasDeadline, std::uint32_t deadline, Event *out) {
    for (;;) {
        PollAudio();
        int e[6];
        if (web_take_event(e)) {
            *out = Event{};
            out->kind = Event::Kind(e[0]);
            out->x = e[1];
            out->y = e[2];
            out->key = unsigned(e[3]);
            out->ctrl = (e[4] & 1) != 0;
            out->shift = (e[4] & 2) != 0;
            out->alt = (e[4] & 4) != 0;
            out->time = std::uint32_t(e[5]);
            return true;
        }
        // An action of the page's accessibility layer runs in the message loop, as soon as it can.
        if (a11y::ActionsPending()) return false;
        if (hasDeadline && std::int32_t(deadline - Now()) <= 0) return false;
        web_wait(hasDeadline ? double(deadline) : -1.0);
    }
}

// A frame is shown when the sounds of its moment are heard: a latency after its message, and later by
// whatever time the output lost under the run of sounds now playing.
// The program's pixels are 0x00RRGGBB; the canvas takes the bytes R, G, B, A, which this
// little-endian machine stores as the word 0xAABBGGRR. Converted here, the page only copies them.
void Present(const std::uint32_t *pixels, std::uint32_t messageTime) {
    static std::uint32_t rgba[kScreenWidth * kScreenHeight];
    for (int i = 0; i < kScreenWidth * kScreenHeight; ++i) {
        std::uint32_t p = pixels[i];
        rgba[i] = 0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
    }
    double lagMs = g_audio.scheduler ? double(g_audio.scheduler->LagNs()) * 1e-6 : 0.0;
    web_present(reinterpret_cast<const std::uint8_t *>(rgba), double(messageTime),
                double(messageTime) + g_audio.latencyMs + lagMs);
}

void PlaySound(int id, const std::int16_t *samples, std::size_t count, int rate, std::uint32_t messageTime) {
    PollAudio();
    if (g_audio.failed) return;
    if (g_audio.rate == 0) {
        // The context starts with the first tap or key; until then sounds wait for it.
        if (g_audio.waiting.size() >= 64) g_audio.waiting.erase(g_audio.waiting.begin());
        if (samples)
            g_audio.waiting.push_back(
                Waiting{id, std::vector<std::int16_t>(samples, samples + count), rate, messageTime});
        else
            g_audio.waiting.clear();
        return;
    }
    const hostsound::SoundData *sound = nullptr;
    if (samples && !(sound = g_audio.sounds->Get(samples, count, rate))) return;
    Start(id, sound, messageTime);
}

bool SoundWorks() { return !g_audio.failed && web_audio_state() >= 0; }

bool StartProcess(const std::u16string &application, const std::u16string &commandLine) {
    auto narrow = [](const std::u16string &s) {
        std::string out;
        for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
        return out;
    };
    std::string app = narrow(application), args = narrow(commandLine);
    Log("process " + app + " " + args);
    // The help viewer: "file:NAME#ANCHOR" is the help page served beside the program.
    std::string lower = app;
    for (char &c : lower) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower.size() < 11 || lower.compare(lower.size() - 11, 11, "peghelp.exe") != 0) return false;
    if (args.compare(0, 5, "file:") == 0) args.erase(0, 5);
    if (args.empty() || args.find(':') != std::string::npos || args[0] == '/') return false;
    return web_open_help(args.c_str()) != 0;
}

std::string ProgramFolder() { return kFolder; }

bool ClaimOrFind(const std::u16string &, const std::u16string &) {
    if (g_otherFound < 0) g_otherFound = web_find_other();
    return g_otherFound == 1;
}

bool AskOtherToForeground(const std::u16string &, const std::u16string &) {
    if (g_otherFound != 1) return false;
    g_secondCopy = true;
    web_ask_foreground();
    return true;
}

void RaiseWindow() { web_raise(); }
void SetTitle(const std::u16string &title) { web_set_title(title.data(), int(title.size())); }
void KeepScreenOn(bool on) { web_keep_screen_on(on ? 1 : 0); }
void Log(const std::string &event) { web_log(event.c_str()); }
int LocalMinutesOfDay() { return web_local_minutes(); }

}  // namespace host
