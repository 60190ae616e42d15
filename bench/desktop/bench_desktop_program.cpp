// The real `cadenzo` through the real SDL audio path: starts it in an Xvfb display with the disk
// audio driver and the metronome set to 240 beats a minute, taps Start, lets it tick, and prints
// the click spacing the device was given (each click checked against the recorded stream), the
// first interval, the drift, the offset between each click and the frame showing its flash, CPU
// seconds per minute idle and ticking, the time from launch to the first frame, and peak memory.
//
//   bench_desktop_program [--exe PATH] [--seconds N] [--idle N] [--untraced]
//   bench_desktop_program [--exe PATH] --servers [SECONDS]
//
// Needs Xvfb and xdotool. PATH defaults to the `cadenzo` this build made. BENCH_AUDIODRIVER picks
// SDL's driver (default: disk, whose output file is analysed); BENCH_AUDIODRIVER=server plays
// through the sound server's own stream as on a desktop, and BENCH_PAREC=SOURCE (e.g. a null
// sink's monitor, made at 48000 Hz) records what was played, where the clicks are then found.
// --servers starts PipeWire and then PulseAudio, each with a null sink, measures the program through
// each (CADENZO_AUDIO names it) and prints their figures side by side; BENCH_SERVER=pipewire|pulse
// measures that one alone. BENCH_KEEP=DIR keeps the program's trace and the recording in DIR.
// Other clients that choose the graph's cycle (PipeWire): BENCH_SMALL_QUANTUM=N keeps one more client
// (pw-record on the monitor, asking for a latency of N frames) in the graph from before the ticking to
// its end, as a level meter or a browser does; BENCH_QUANTUM_CHANGES=N1,N2,... sets the graph's cycle
// for all (the settings' clock.force-quantum) to each in turn at equal steps through the ticking (0:
// the clients' choice again). BENCH_PAREC_LATENCY=MS gives the recorder another latency than 100 ms.
// --exe with --servers measures that program.
// The timing comes from the program's trace, whose writes cost the main thread about a quarter of
// its time; --untraced runs the program as a user does and measures only its CPU time, and
// --servers measures each server's CPU figures that way too, in a run of its own.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "click_analysis.h"
#include "resfile.h"
#include "sound_cache.h"
#include "sound_servers.h"
#include "virtual_display.h"

extern char **environ;

namespace {

double NowSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// CPU time of the process's live threads, to the nanosecond (the tick counts of /proc/PID/stat
// are 10 ms steps, as coarse as a whole idle minute's budget).
double CpuSeconds(pid_t pid) {
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    if (DIR *dir = opendir(tasks.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::istringstream in(ReadFile(tasks + "/" + entry->d_name + "/schedstat"));
            double ns = 0;
            if (in >> ns) total += ns * 1e-9;
        }
        closedir(dir);
    }
    return total;
}

// CPU seconds of each thread of `pid`, by "name tid".
std::map<std::string, double> ThreadCpuSeconds(pid_t pid) {
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::map<std::string, double> threads;
    if (DIR *dir = opendir(tasks.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string task = tasks + "/" + entry->d_name;
            std::string name = ReadFile(task + "/comm");
            while (!name.empty() && name.back() == '\n') name.pop_back();
            std::istringstream in(ReadFile(task + "/schedstat"));
            double ns = 0;
            if (in >> ns) threads[name + " " + entry->d_name] = ns * 1e-9;
        }
        closedir(dir);
    }
    return threads;
}

long PeakKilobytes(pid_t pid) {
    std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

int Run(const std::string &command) { return std::system(command.c_str()); }

// The samples of a WAVE file, read by the platform's own reader (empty when it is not one).
std::vector<std::int16_t> ReadWave(const std::string &path) {
    std::string bytes = ReadFile(path);
    res::Wave wave;
    if (!res::ParseWave(res::Bytes{reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()}, &wave))
        return {};
    return wave.samples;
}

}  // namespace

// Both sound servers in one run, each started here with a 48 kHz null sink whose monitor is recorded:
// this program again for each, and their figures side by side.
int CompareServers(const char *self, const std::string &exe, int seconds, int idleSeconds) {
    struct Row {
        const char *name, *kind;
        std::vector<double> figures;
    } rows[] = {{"PipeWire", "pipewire", {}}, {"PulseAudio", "pulse", {}}};
    const char *only = std::getenv("BENCH_SERVER");  // pipewire or pulse: that one alone
    for (Row &row : rows) {
        if (only && *only && std::string(only) != row.kind) continue;
        char pattern[] = "/tmp/bench-server-XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        std::string dir = pattern;
        pid_t server = std::string(row.kind) == "pipewire" ? servers::StartPipeWire(dir) : servers::StartPulse(dir);
        if (server < 0) {
            std::printf("%s: cannot start the server here\n", row.name);
            continue;
        }
        setenv("CADENZO_AUDIO", row.kind, 1);
        setenv("BENCH_AUDIODRIVER", "server", 1);
        setenv("BENCH_PAREC", "test.monitor", 1);
        std::string out = dir + "/out.txt";
        std::string command = "'" + std::string(self) + "' --seconds " + std::to_string(seconds) + " --idle " +
                              std::to_string(idleSeconds) + (exe.empty() ? "" : " --exe '" + exe + "'");
        // The figures from the traced run, then its CPU figures again from an untraced one.
        for (const char *pass : {"", " --untraced"}) {
            Run(command + pass + " > '" + out + "'");
            std::string text = ReadFile(out);
            std::printf("==== %s%s\n%s", row.name, *pass ? ", untraced" : "", text.c_str());
            std::size_t at = text.find("figures ");
            if (at != std::string::npos) {
                std::istringstream in(text.substr(at + 8));
                std::string source;
                in >> source;
                double v;
                while (in >> v) row.figures.push_back(v);
            }
            row.figures.resize(*pass ? 13 : 11, NAN);  // a run without figures shows as nan
        }
        servers::Stop(server);
        Run("rm -rf '" + dir + "'");
    }
    const char *labels[] = {"timing residual SD (ms)",
                            "timing residual largest (ms)",
                            "bar-to-bar SD (ms)",
                            "bar-to-bar largest (ms)",
                            "flash against click SD (ms)",
                            "flash against click mean (ms)",
                            "flash against click largest (ms)",
                            "CPU ticking, traced (s/min)",
                            "CPU idle, traced (s/min)",
                            "launch to first frame (s)",
                            "peak memory (MB)",
                            "CPU ticking (s/min)",
                            "CPU idle (s/min)"};
    std::printf("\n%-34s %12s %12s\n", "", rows[0].name, rows[1].name);
    for (std::size_t i = 0; i < sizeof labels / sizeof labels[0]; ++i) {
        std::printf("%-34s", labels[i]);
        for (const Row &row : rows)
            row.figures.size() > i ? std::printf(" %12.4f", row.figures[i]) : std::printf(" %12s", "-");
        std::printf("\n");
    }
    return 0;
}

int main(int argc, char **argv) {
    std::string exe;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--exe") exe = argv[i + 1];
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--servers") {
            int seconds = i + 1 < argc ? std::atoi(argv[i + 1]) : 60;
            return CompareServers(argv[0], exe, seconds > 0 ? seconds : 60, 20);
        }
    int seconds = 60, idleSeconds = 20;
    bool untraced = false;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--untraced")
            untraced = true;
        else if (flag == "--exe" && i + 1 < argc)
            exe = argv[++i];
        else if (flag == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (flag == "--idle" && i + 1 < argc)
            idleSeconds = std::atoi(argv[++i]);
    }
    if (exe.empty()) {
        std::string self = argv[0];
        exe = CADENZO_EXE;
    }
    char pattern[] = "/tmp/bench-desktop-program-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string dir = pattern;
    mkdir((dir + "/run").c_str(), 0700);
    if (Run("cp '" + exe + "' '" + dir + "/cadenzo'") != 0) {
        std::fprintf(stderr, "bench_desktop_program: no program at %s\n", exe.c_str());
        return 1;
    }
    // The settings: 240 beats a minute, no delay, repeat once, first instrument, time signature 3,
    // sound on, colour on.
    const unsigned char settings[7] = {210, 0, 1, 0, 3, 1, 1};
    mkdir((dir + "/config").c_str(), 0700);
    mkdir((dir + "/config/cadenzo").c_str(), 0700);
    std::ofstream(dir + "/config/cadenzo/Cadenzo.ini", std::ios::binary)
        .write(reinterpret_cast<const char *>(settings), 7);

    // A virtual display of its own.
    std::string display;
    pid_t xvfb = xdisplay::Start("640x480x24", &display);
    if (xvfb < 0) {
        std::fprintf(stderr, "bench_desktop_program: needs Xvfb\n");
        return 1;
    }

    std::string trace = dir + "/trace.txt", audio = dir + "/audio.raw";
    setenv("DISPLAY", display.c_str(), 1);
    const char *driver = std::getenv("BENCH_AUDIODRIVER");
    bool server = driver && std::string(driver) == "server";
    const char *parecSource = std::getenv("BENCH_PAREC");
    bool recording = server && parecSource && *parecSource;
    if (server)
        unsetenv("SDL_AUDIODRIVER");
    else
        setenv("SDL_AUDIODRIVER", driver && *driver ? driver : "disk", 1);
    setenv("SDL_DISKAUDIOFILE", audio.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("CADENZO_SCALE", "1", 1);
    if (untraced)
        unsetenv("CADENZO_TRACE");
    else
        setenv("CADENZO_TRACE", trace.c_str(), 1);
    std::string program = dir + "/cadenzo";
    char *programArgs[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    double launched = NowSeconds();
    pid_t pid = -1;
    posix_spawn(&pid, program.c_str(), &actions, nullptr, programArgs, environ);
    posix_spawn_file_actions_destroy(&actions);
    double firstFrame = -1;
    // Untraced, the window is up once it is shown (the first frame maps it).
    if (untraced && Run("timeout 30 xdotool search --sync --onlyvisible --name '^Cadenzo$' >/dev/null 2>&1") == 0)
        firstFrame = NowSeconds() - launched;
    while (!untraced && NowSeconds() - launched < 30 && firstFrame < 0) {
        if (ReadFile(trace).find(" present ") != std::string::npos)
            firstFrame = NowSeconds() - launched;
        else
            usleep(2000);
    }

    // What the sound server plays, recorded from its monitor from before the idle time on, so the
    // recorder's start does not move the graph's clock under the first clicks.
    pid_t parec = -1;
    if (recording) {
        const char *latency = std::getenv("BENCH_PAREC_LATENCY");
        std::string latencyArg = "--latency-msec=" + std::string(latency && *latency ? latency : "100");
        const char *args[] = {"parec",        "-d",    parecSource,        "--format=float32le", "--rate=48000",
                              "--channels=1", "--raw", latencyArg.c_str(), audio.c_str(),        nullptr};
        if (posix_spawnp(&parec, "parec", nullptr, nullptr, const_cast<char **>(args), environ) != 0) {
            std::fprintf(stderr, "bench_desktop_program: cannot start parec\n");
            parec = -1;
        }
    }
    // Another client holding the graph at small cycles, and the cycles set for all while ticking.
    pid_t small = -1;
    const char *smallQuantum = std::getenv("BENCH_SMALL_QUANTUM");
    if (recording && smallQuantum && *smallQuantum) {
        small = servers::Spawn({"pw-record", "--target", parecSource, "--latency=" + std::string(smallQuantum),
                                "--rate=48000", "--channels=1", dir + "/small.wav"});
        std::printf("another client asks for %s-frame cycles\n", smallQuantum);
    }
    std::vector<int> quanta;
    if (const char *changes = std::getenv("BENCH_QUANTUM_CHANGES")) {
        std::istringstream in(changes);
        std::string quantum;
        while (std::getline(in, quantum, ',')) quanta.push_back(std::atoi(quantum.c_str()));
    }

    // Idle: the window shown, nothing ticking (after the sound device settled).
    sleep(3);
    double idle0 = CpuSeconds(pid);
    std::map<std::string, double> idleThreads0 = ThreadCpuSeconds(pid);
    sleep(unsigned(idleSeconds));
    double idle = CpuSeconds(pid) - idle0;
    std::map<std::string, double> idleThreads = ThreadCpuSeconds(pid);

    // Tap "Start Metronome" and let it tick.
    // The window is centred on the display: aim at the button inside it.
    Run("xdotool search --name '^Cadenzo$' mousemove --window %1 --sync 61 88 click 1 >/dev/null 2>&1");
    double tick0 = CpuSeconds(pid);
    std::map<std::string, double> threads0 = ThreadCpuSeconds(pid);
    if (quanta.empty()) {
        sleep(unsigned(seconds));
    } else {
        // Each setting for an equal share of the ticking, the first from its start.
        double start = NowSeconds();
        for (std::size_t i = 0; i < quanta.size(); ++i) {
            Run("pw-metadata -n settings 0 clock.force-quantum " + std::to_string(quanta[i]) + " >/dev/null 2>&1");
            std::printf("%.1f s into the ticking: the graph's cycle set to %d\n", NowSeconds() - start, quanta[i]);
            double until = start + double(seconds) * double(i + 1) / double(quanta.size());
            while (NowSeconds() < until) usleep(20000);
        }
        Run("pw-metadata -n settings 0 clock.force-quantum 0 >/dev/null 2>&1");
    }
    double ticking = CpuSeconds(pid) - tick0;
    std::map<std::string, double> threads = ThreadCpuSeconds(pid);
    long peak = PeakKilobytes(pid);
    if (parec > 0) {
        kill(parec, SIGINT);
        waitpid(parec, nullptr, 0);
    }
    servers::Stop(small, SIGINT);
    Run("xdotool key --clearmodifiers ctrl+q >/dev/null 2>&1");
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(100000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    std::printf("launch to first frame: %.3f s\n", firstFrame);
    std::printf("CPU idle: %.3f s per minute; ticking: %.3f s per minute\n", idle * 60 / idleSeconds,
                ticking * 60 / seconds);
    std::printf("peak memory (VmHWM): %.1f MB\n", double(peak) / 1024);
    auto byThread = [](const char *what, std::map<std::string, double> &before,
                       const std::map<std::string, double> &after, int span) {
        std::printf("CPU %s by thread (s per minute):", what);
        for (const auto &[name, cpu] : after) std::printf(" %s %.3f;", name.c_str(), (cpu - before[name]) * 60 / span);
        std::printf("\n");
    };
    byThread("idle", idleThreads0, idleThreads, idleSeconds);
    byThread("ticking", threads0, threads, seconds);
    if (untraced) {
        std::printf("figures cpu %.3f %.3f\n", ticking * 60 / seconds, idle * 60 / idleSeconds);
        Run("rm -rf '" + dir + "'");
        return 0;
    }

    // What the trace says: the device's rate and buffer, each click started, each frame shown.
    int rate = 0, buffer = 0;
    double measuredRate = 0;  // the device's frames per second of host time, as the program last measured it
    std::map<long, long long> presented;       // message time -> shown at (us)
    std::map<long long, long> messageOfFrame;  // scheduled frame -> message time
    struct Start {
        int id;
        long long frame, scheduled, callbackUs, callbackFrame;
    };
    std::vector<Start> starts;
    long long skipped = 0;           // frames the server played without the program
    std::vector<long> lateCalls;     // how long after its message each sound was asked for (ms)
    int drawn0 = -1, drawnLast = 0;  // schedule lines drawn by the first click and by the last
    std::istringstream lines(ReadFile(trace));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        long t;
        std::string kind;
        in >> t >> kind;
        if (kind == "audio-open") {
            std::string driver;
            int channels;
            in >> driver >> rate >> channels >> buffer;
        } else if (kind == "present") {
            long message;
            long long at;
            in >> message >> at;
            presented.emplace(message, at);
        } else if (kind == "sound") {
            int id;
            long message;
            long long frame;
            double measured = 0;
            int restarts = 0, drawn = 0;
            in >> id >> message >> frame >> measured >> restarts >> drawn;
            messageOfFrame[frame] = message;
            if (measured > 0) measuredRate = measured;
            lateCalls.push_back(long(t) - message);
            if (drawn0 < 0) drawn0 = drawn;
            drawnLast = drawn;
        } else if (kind == "audio-skip") {
            in >> skipped;
        } else if (kind == "started") {
            Start s{};
            in >> s.id >> s.frame >> s.scheduled >> s.callbackUs >> s.callbackFrame;
            starts.push_back(s);
        }
    }
    if (rate <= 0 || starts.size() < 3) {
        std::printf("no clicks (%zu started)\n", starts.size());
        return 1;
    }

    std::vector<float> stream = bench::ReadFloats(audio);
    bench::BeatTiming beats;
    double nominal = double(rate) * (60000 / 240) / 1000.0;
    if (recording) {
        // The clicks as heard: found in the monitor's recording by their waveforms.
        std::vector<std::vector<float>> waveforms;
        for (int id : {1025, 1026, 1027}) {
            std::vector<std::int16_t> wave = ReadWave(std::string(CADENZO_ASSETS) + "/" + std::to_string(id) + ".wav");
            waveforms.push_back(hostsound::ConvertRate(wave.data(), wave.size(), 11025, rate));
        }
        std::vector<bench::Click> heard = bench::FindClicks(stream, waveforms, rate);
        bench::PrintTiming("clicks heard (recorded from the sound server)", bench::Measure(heard, nominal), nominal,
                           rate);
        beats = bench::MeasureBeats(heard, nominal, 4);
        std::printf("  timing residual after an offset per click: SD %.4f ms, largest %.4f ms\n",
                    beats.residualSd / rate * 1000, beats.residualWorst / rate * 1000);
        std::printf("  bar to bar (same beat of the bar before): SD %.4f ms, largest %.4f ms\n",
                    beats.barSd / rate * 1000, beats.barWorst / rate * 1000);
        std::printf("  %zu clicks started, %zu found in the recording; %lld frames skipped by the output\n",
                    starts.size(), heard.size(), skipped);
        stream.clear();
    }
    // Each click in the recorded stream: the waveform of the first click of its sound, found again
    // at its start frame.
    std::map<int, std::vector<float>> waveforms;
    std::vector<bench::Click> clicks;
    int late = 0, mismatched = 0;
    for (const Start &s : starts) {
        if (s.frame != s.scheduled) ++late;
        std::size_t length = std::size_t(rate / 20);  // the first 50 ms
        if (stream.empty()) {                         // no recording (a sound server): the frames the device was given
            clicks.push_back(bench::Click{double(s.frame), s.id, 1.0});
            continue;
        }
        if (std::size_t(s.frame) + length > stream.size()) break;
        auto &w = waveforms[s.id];
        if (w.empty()) w.assign(stream.begin() + s.frame, stream.begin() + s.frame + long(length));
        double dot = 0, a = 0, b = 0;
        for (std::size_t j = 0; j < length; ++j) {
            dot += double(w[j]) * stream[std::size_t(s.frame) + j];
            a += double(w[j]) * w[j];
            b += double(stream[std::size_t(s.frame) + j]) * stream[std::size_t(s.frame) + j];
        }
        double match = a > 0 && b > 0 ? dot / std::sqrt(a * b) : 0;
        if (match < 0.999) ++mismatched;
        clicks.push_back(bench::Click{double(s.frame), s.id, match});
    }
    bench::Timing given = bench::Measure(clicks, nominal);
    bench::PrintTiming("clicks as given to the device", given, nominal, rate);
    if (!recording) beats = bench::MeasureBeats(clicks, nominal, 4);
    if (measuredRate > 0 && given.count > 1) {
        // A device whose clock runs off its nominal rate plays the schedule in more or fewer frames.
        double own = measuredRate * (60000 / 240) / 1000.0;
        double drift = given.drift + double(given.count - 1) * (nominal - own);
        std::printf("  on the device's own clock (measured %.2f Hz): drift %.3f frames = %.4f ms\n", measuredRate,
                    drift, drift / rate * 1000.0);
    }
    std::printf("  late starts: %d; clicks not matching their waveform in the stream: %d\n", late, mismatched);
    std::sort(lateCalls.begin(), lateCalls.end());
    if (!lateCalls.empty())
        std::printf("  asked for after the message (ms): median %ld, largest %ld; %d schedule lines drawn in the run\n",
                    lateCalls[lateCalls.size() / 2], lateCalls.back(), drawnLast - std::max(drawn0, 0) + 1);

    // Flash against click: the click is heard a buffer after the callback that renders it.
    double worst = 0, sum = 0, squares = 0;
    int pairs = 0;
    for (const Start &s : starts) {
        auto message = messageOfFrame.find(s.scheduled);
        if (message == messageOfFrame.end()) continue;
        auto shown = presented.find(message->second);
        if (shown == presented.end()) continue;
        // The output's last report before the click: frame callbackFrame was heard at callbackUs.
        double heardUs = double(s.callbackUs) + double(s.frame - s.callbackFrame) / rate * 1e6;
        double offsetMs = (double(shown->second) - heardUs) / 1000.0;
        worst = std::max(worst, std::fabs(offsetMs));
        sum += offsetMs;
        squares += offsetMs * offsetMs;
        ++pairs;
    }
    double flashMean = pairs ? sum / pairs : 0,
           flashSd = pairs ? std::sqrt(std::max(0.0, squares / pairs - flashMean * flashMean)) : 0;
    if (pairs)
        std::printf("flash against click (frame shown - click heard): mean %+.2f ms, SD %.2f ms, largest %.2f ms over "
                    "%d beats\n",
                    flashMean, flashSd, worst, pairs);
    std::printf("figures %s %.4f %.4f %.4f %.4f %.2f %.2f %.2f %.3f %.3f %.3f %.1f\n", recording ? "recorded" : "given",
                beats.residualSd / rate * 1000, beats.residualWorst / rate * 1000, beats.barSd / rate * 1000,
                beats.barWorst / rate * 1000, flashSd, flashMean, worst, ticking * 60 / seconds,
                idle * 60 / idleSeconds, firstFrame, double(peak) / 1024);
    // BENCH_KEEP=DIR keeps the program's trace and the recording there, for a closer look.
    const char *keep = std::getenv("BENCH_KEEP");
    if (keep && *keep)
        Run("mkdir -p '" + std::string(keep) + "' && cp '" + trace + "' '" + audio + "' '" + keep + "/'");
    Run("rm -rf '" + dir + "'");
    return 0;
}
