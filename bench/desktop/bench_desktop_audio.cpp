// The desktop host's sound timing through the real SDL audio path, without the program: plays a
// click every INTERVAL ms for SECONDS through host::PlaySound, stamped with each beat's due time as
// the platform's timers do, records what the device was given, finds the clicks and prints their
// spacing, the first interval and the drift; then the CPU time ticking and idle.
//
//   bench_desktop_audio [--seconds N] [--interval MS] [--idle N] [--settle MS] [--parec SOURCE] [--server]
//
// SDL_AUDIODRIVER chooses the device (default: the disk driver, whose output file is analysed);
// --server plays through the sound server's own stream, as the program does on a desktop.
// With --parec SOURCE the stream is recorded from a sound server's SOURCE (e.g. a null sink's
// monitor) instead, as it was played.
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "click_analysis.h"
#include "host.h"
#include "sdl_host.h"
#include "outputs.h"
#include "sound_cache.h"

extern char **environ;

namespace {

// CPU time of every thread but this one: without a window SDL's event wait polls every
// millisecond, which the program (waiting on its X connection) does not, so the main loop is left out.
double CpuSeconds() {
    rusage all{}, self{};
    getrusage(RUSAGE_SELF, &all);
    getrusage(RUSAGE_THREAD, &self);
    auto seconds = [](const rusage &u) {
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    return seconds(all) - seconds(self);
}

// Lets the loop run until `deadline`, as the platform's message loop does between timers.
void WaitUntil(std::uint32_t deadline) {
    host::Event event;
    while (host::WaitEvent(true, deadline, &event)) {
    }
}

// A 100 ms click at the program's rate: a struck tone that dies away.
std::vector<std::int16_t> MakeClick() {
    std::vector<std::int16_t> click(1102);
    for (std::size_t i = 0; i < click.size(); ++i) {
        double t = double(i);
        double v = 0.7 * std::exp(-t / 90) * std::sin(2 * M_PI * 2000 * t / 11025) +
                   0.25 * std::exp(-t / 25) * std::sin(2 * M_PI * 3300 * t / 11025);
        click[i] = std::int16_t(std::lround(v * 32767 * (i < 2 ? 0 : 1)));
    }
    return click;
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = 60, intervalMs = 250, idleSeconds = 10, settleMs = 2000;
    std::string parecSource;
    bool server = false;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--server") {
            server = true;
            continue;
        }
        if (i + 1 >= argc) break;
        std::string value = argv[++i];
        if (flag == "--seconds")
            seconds = std::atoi(value.c_str());
        else if (flag == "--interval")
            intervalMs = std::atoi(value.c_str());
        else if (flag == "--idle")
            idleSeconds = std::atoi(value.c_str());
        else if (flag == "--settle")
            settleMs = std::atoi(value.c_str());
        else if (flag == "--parec")
            parecSource = value;
    }
    char file[] = "/tmp/bench-desktop-audio-XXXXXX";
    int fd = mkstemp(file);
    if (fd < 0) return 1;
    close(fd);
    if (server)
        unsetenv("SDL_AUDIODRIVER");
    else
        setenv("SDL_AUDIODRIVER", std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file, 1);

    std::string error;
    if (!sdlhost::Open(sdlhost::Options{false, true}, &error)) {
        std::fprintf(stderr, "bench_desktop_audio: %s\n", error.c_str());
        return 1;
    }
    // The output is found in the background: wait for it.
    for (int i = 0; i < 50 && !sdlhost::AudioWorks(); ++i) WaitUntil(host::Now() + 100);
    if (!sdlhost::AudioWorks()) {
        std::fprintf(stderr, "bench_desktop_audio: no audio output\n");
        return 1;
    }
    const int rate = sdlhost::kOutputRate;
    pid_t parec = -1;
    if (!parecSource.empty()) {
        std::string rateArg = "--rate=" + std::to_string(rate);
        const char *args[] = {"parec",
                              "-d",
                              parecSource.c_str(),
                              "--format=float32le",
                              rateArg.c_str(),
                              "--channels=1",
                              "--raw",
                              "--latency-msec=100",
                              file,
                              nullptr};
        if (posix_spawnp(&parec, "parec", nullptr, nullptr, const_cast<char **>(args), environ) != 0) {
            std::fprintf(stderr, "bench_desktop_audio: cannot start parec\n");
            return 1;
        }
    }
    std::vector<std::int16_t> click = MakeClick();

    // Let the device settle, as a user takes a moment to press Start.
    std::uint32_t start = host::Now() + std::uint32_t(settleMs);
    WaitUntil(start);
    double cpu0 = CpuSeconds();
    int beats = seconds * 1000 / intervalMs;
    for (int beat = 0; beat < beats; ++beat) {
        std::uint32_t due = start + std::uint32_t(beat * intervalMs);
        WaitUntil(due);
        host::PlaySound(1026, click.data(), click.size(), 11025, due);
    }
    WaitUntil(start + std::uint32_t(beats * intervalMs) + 500);
    double ticking = CpuSeconds() - cpu0;
    double cpu1 = CpuSeconds();
    WaitUntil(host::Now() + std::uint32_t(idleSeconds * 1000));
    double idle = CpuSeconds() - cpu1;
    sdlhost::Close();
    if (parec > 0) {
        kill(parec, SIGINT);
        waitpid(parec, nullptr, 0);
    }

    std::vector<float> stream = bench::ReadFloats(file);
    std::vector<std::vector<float>> waveforms{hostsound::ConvertRate(click.data(), click.size(), 11025, rate)};
    std::vector<bench::Click> clicks = bench::FindClicks(stream, waveforms, rate);
    double nominal = double(rate) * intervalMs / 1000.0;
    if (std::getenv("BENCH_LIST_CLICKS"))
        for (std::size_t i = 0; i < clicks.size(); ++i)
            std::printf("click %zu at %.2f (%+.2f) match %.5f\n", i, clicks[i].frame,
                        i ? clicks[i].frame - clicks[i - 1].frame - nominal : 0.0, clicks[i].match);
    std::printf("device: %s, %d Hz; %zu frames recorded (%.1f s)\n",
                server ? "the sound server's stream" : std::getenv("SDL_AUDIODRIVER"), rate, stream.size(),
                double(stream.size()) / rate);
    bench::PrintTiming("clicks", bench::Measure(clicks, nominal), nominal, rate);
    if (clicks.size() != std::size_t(beats))
        std::printf("  MISSING: %d clicks played, %zu found\n", beats, clicks.size());
    std::printf("CPU of the audio path (all but the main loop) ticking: %.3f s per minute; idle: %.3f s per minute\n",
                ticking * 60.0 / (seconds + 0.5), idle * 60.0 / idleSeconds);
    unlink(file);
    return 0;
}
