// The headless host.
//
// Implements the host seam with a virtual clock that moves only inside WaitEvent, input from a script,
// the screen kept as the last presented frame (written as PNG or probed by pixel), sounds and started
// processes written to a trace, and the output stream recorded to a WAVE file on request.
// Sound takes the desktop's path: the hosts' one schedule decides what plays on which frame, and a
// virtual output at the sounds' own rate pulls its frames as the virtual clock passes them.
// Other running copies do not exist here: ClaimOrFind always finds none.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>

#include "headless.h"
#include "host.h"
#include "scheduler.h"
#include "sound_cache.h"
#include "startup.h"

namespace headless {
namespace {

Config g_config;
std::uint32_t g_now = 0;
std::uint32_t g_waitUntil = 0;
bool g_waiting = false;
std::size_t g_next = 0;
std::deque<host::Event> g_pending;
const std::uint32_t *g_frame = nullptr;

// The virtual sound output: a device at the program's own sound rate (11025 Hz, so the stream holds
// the sounds sample for sample) whose frame f is heard at exactly f / rate seconds of the virtual
// clock. It pulls every frame the clock has passed from the schedule, as a desktop output pulls a
// buffer when its device asks, and keeps them when the stream is to be written.
constexpr int kStreamRate = 11025;
// The schedule's latency: a whole number of frames (882), so a sound's frame in the written stream
// is its message time's. The written stream starts that many frames into the device's. It leaves the
// schedule's room for a late call (40 ms) past the frame being played, as a desktop's does.
constexpr int kLatencyMs = 80;
constexpr std::int64_t kLatencyFrames = std::int64_t(kStreamRate) * kLatencyMs / 1000;

struct VirtualOutput {
    hostsound::Scheduler schedule{kLatencyMs};
    hostsound::SoundCache sounds{kStreamRate};
    std::int64_t pulled = 0;           // frames [0, pulled) have been played
    bool idle = true;                  // nothing is scheduled past them
    std::vector<std::int16_t> stream;  // from frame kLatencyFrames on, when recorded
    std::vector<float> buffer;
};
std::optional<VirtualOutput> g_output;

std::int64_t FrameTimeNs(std::int64_t frame) { return frame * 1000000000 / kStreamRate; }

// Plays frames [pulled, end), a second at most at a time (a long wait costs no more memory than a
// short one): after each piece the output reports that its last frame is heard at its own time.
void PullTo(std::int64_t end) {
    VirtualOutput &o = *g_output;
    while (o.pulled < end) {
        int count = int(std::min<std::int64_t>(end - o.pulled, kStreamRate));
        std::int64_t last = o.pulled + count - 1;
        o.buffer.resize(std::size_t(count));
        o.idle = o.schedule.Pull(o.buffer.data(), o.pulled, count, FrameTimeNs(last), last);
        if (!g_config.wavPath.empty()) {
            for (std::int64_t f = std::max(o.pulled, kLatencyFrames); f <= last; ++f) {
                float v = std::clamp(o.buffer[std::size_t(f - o.pulled)] * 32768.0f, -32768.0f, 32767.0f);
                o.stream.push_back(std::int16_t(std::lround(v)));
            }
        }
        o.pulled += count;
    }
}

// The clock moved to g_now: every frame heard by then is played.
void PullToNow() { PullTo(std::int64_t(g_now) * kStreamRate / 1000 + 1); }

// At the end the sounds still scheduled play out, a frame at a time, so the stream ends with the last.
void PullRest() {
    PullToNow();
    while (!g_output->idle) PullTo(g_output->pulled + 1);
}

void Trace(std::uint32_t time, const std::string &what) {
    std::fprintf(g_config.trace, "%u %s\n", time, what.c_str());
    std::fflush(g_config.trace);
}

void WriteLe(std::FILE *f, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(int((v >> (8 * i)) & 0xFF), f);
}

// The recorded stream as a WAVE file: 11025 Hz mono 16-bit, sample n heard n / 11025 s after start
// (plus the constant latency).
void WriteWav() {
    if (g_config.wavPath.empty()) return;
    PullRest();
    const int rate = kStreamRate;
    const std::vector<std::int16_t> &out = g_output->stream;
    std::FILE *f = std::fopen(g_config.wavPath.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cadenzo-sim: cannot write %s\n", g_config.wavPath.c_str());
        return;
    }
    std::uint32_t dataBytes = std::uint32_t(out.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    WriteLe(f, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    WriteLe(f, 16, 4);
    WriteLe(f, 1, 2);
    WriteLe(f, 1, 2);
    WriteLe(f, rate, 4);
    WriteLe(f, rate * 2, 4);
    WriteLe(f, 2, 2);
    WriteLe(f, 16, 2);
    std::fwrite("data", 1, 4, f);
    WriteLe(f, dataBytes, 4);
    for (std::int16_t v : out) WriteLe(f, std::uint16_t(v), 2);
    std::fclose(f);
}

// The screen as a PNG, each pixel drawn `scale` x `scale` (nearest neighbour, as the desktop shows it).
bool WritePng(const std::string &path, const std::uint32_t *pixels, int scale) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(host::kScreenWidth * scale), png_uint_32(host::kScreenHeight * scale), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t(host::kScreenWidth * scale) * 3);
    for (int y = 0; y < host::kScreenHeight * scale; ++y) {
        for (int x = 0; x < host::kScreenWidth * scale; ++x) {
            std::uint32_t p = pixels ? pixels[(y / scale) * host::kScreenWidth + x / scale] : 0;
            row[std::size_t(x) * 3] = png_byte(p >> 16);
            row[std::size_t(x) * 3 + 1] = png_byte(p >> 8);
            row[std::size_t(x) * 3 + 2] = png_byte(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

[[noreturn]] void EndOfScript() {
    Trace(g_now, "end");
    WriteWav();
    std::fflush(nullptr);
    _exit(0);
}

void Execute(const Command &c) {
    host::Event e;
    e.time = g_now;
    switch (c.kind) {
    case Command::Wait:
        g_waitUntil = g_now + std::uint32_t(c.a);
        g_waiting = true;
        break;
    case Command::Tap:
    case Command::Down:
    case Command::Move:
    case Command::Up:
        e.x = c.a;
        e.y = c.b;
        if (c.kind == Command::Tap || c.kind == Command::Down) {
            e.kind = host::Event::StylusDown;
            g_pending.push_back(e);
        }
        if (c.kind == Command::Move) {
            e.kind = host::Event::StylusMove;
            g_pending.push_back(e);
        }
        if (c.kind == Command::Tap || c.kind == Command::Up) {
            e.kind = host::Event::StylusUp;
            g_pending.push_back(e);
        }
        break;
    case Command::Key:
        e.key = c.key;
        e.ctrl = c.ctrl;
        e.shift = c.shift;
        e.alt = c.alt;
        e.kind = host::Event::KeyDown;
        g_pending.push_back(e);
        e.kind = host::Event::KeyUp;
        g_pending.push_back(e);
        break;
    case Command::Shot:
        if (!WritePng(c.file, g_frame, c.a))
            std::fprintf(stderr, "cadenzo-sim: line %d: cannot write %s\n", c.line, c.file.c_str());
        break;
    case Command::Probe: {
        std::uint32_t p = g_frame && c.a >= 0 && c.b >= 0 && c.a < host::kScreenWidth && c.b < host::kScreenHeight
                              ? g_frame[c.b * host::kScreenWidth + c.a] & 0xFFFFFF
                              : 0;
        char text[64];
        std::snprintf(text, sizeof text, "probe %d %d %06X", c.a, c.b, p);
        Trace(g_now, text);
        break;
    }
    }
}

}  // namespace

int Run(const Config &config) {
    g_config = config;
    g_now = 0;
    g_next = 0;
    g_waiting = false;
    g_pending.clear();
    g_output.emplace();
    // The output runs from the start: its frame 0 is heard at time 0.
    hostsound::OutputTiming timing;
    timing.rate = kStreamRate;
    timing.grainFrames = kStreamRate / 1000;  // the virtual clock moves a millisecond at least
    timing.nominalBand = 0.001;               // its rate is exact: the fit's last wobble is taken as such
    g_output->schedule.Attach(timing, nullptr, 0);
    g_output->idle = g_output->schedule.Pull(nullptr, 0, 0, 0, 0);
    int code = platform::Run(0, nullptr);
    Trace(g_now, "exit " + std::to_string(code));
    WriteWav();
    return code;
}

}  // namespace headless

using namespace headless;

namespace host {

std::uint32_t Now() { return g_now; }

bool WaitEvent(bool hasDeadline, std::uint32_t deadline, Event *out) {
    while (true) {
        if (!g_pending.empty()) {
            *out = g_pending.front();
            g_pending.pop_front();
            return true;
        }
        if (hasDeadline && std::int32_t(deadline - g_now) <= 0) return false;
        if (g_waiting) {
            // A timer due before the wait ends fires first, at its own time.
            if (hasDeadline && std::int32_t(deadline - g_waitUntil) <= 0) {
                g_now = deadline;
                PullToNow();
                return false;
            }
            g_now = g_waitUntil;
            g_waiting = false;
            PullToNow();
            continue;
        }
        if (g_next >= g_config.script.size()) EndOfScript();
        Execute(g_config.script[g_next++]);
    }
}

void Present(const std::uint32_t *pixels, std::uint32_t) { g_frame = pixels; }

void PlaySound(int id, const std::int16_t *samples, std::size_t count, int rate, std::uint32_t messageTime) {
    const hostsound::SoundData *sound = samples ? g_output->sounds.Get(samples, count, rate) : nullptr;
    // A start half-way between two frames goes to the later one, as the stream's positions are
    // documented; a tenth of a microsecond keeps an exact half from being decided by rounding.
    std::int64_t dueNs = std::int64_t(messageTime) * 1000000 + 100;
    if (!g_config.silent && (sound || !samples))
        g_output->schedule.Play(id, sound, dueNs, std::int64_t(g_now) * 1000000);
    if (samples) Trace(messageTime, "sound " + std::to_string(id));
}

bool SoundWorks() { return !g_config.silent; }

bool StartProcess(const std::u16string &application, const std::u16string &commandLine) {
    auto narrow = [](const std::u16string &s) {
        std::string out;
        for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
        return out;
    };
    Trace(g_now, "process " + narrow(application) + " " + narrow(commandLine));
    return true;
}

std::string ProgramFolder() { return g_config.directory; }

bool ClaimOrFind(const std::u16string &, const std::u16string &) { return false; }
bool AskOtherToForeground(const std::u16string &, const std::u16string &) { return false; }
void RaiseWindow() { Trace(g_now, "foreground"); }
void SetTitle(const std::u16string &) {}
void KeepScreenOn(bool) {}  // the simulator's screen never dims
void Log(const std::string &event) { Trace(g_now, event); }
int LocalMinutesOfDay() { return 9 * 60 + int(g_now / 60000); }

}  // namespace host
