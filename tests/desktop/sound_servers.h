// Sound servers of a test's own, for the tests of the desktop host's outputs: a PulseAudio daemon, or
// PipeWire with its session manager and PulseAudio service under a private session bus, each with a
// 48 kHz mono null sink called "test" whose monitor parec records. Each lives in a folder of its own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace servers {

inline bool OnPath(const char *program) {
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t at = 0;
    while (at <= dirs.size()) {
        std::size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        if (access((dirs.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

// Starts `args` with standard output to `out` (or nowhere); `group`: in a process group of its own,
// so Stop ends everything it started.
inline pid_t Spawn(const std::vector<std::string> &args, const std::string &out = "", bool group = false) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (group) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline void Stop(pid_t &pid, int signal = SIGTERM) {
    if (pid > 0) {
        if (getpgid(pid) == pid) kill(-pid, signal);  // its own group: everything it started
        kill(pid, signal);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// The samples of a raw recording (parec --format=s16le, one channel); none if it cannot be read.
inline std::vector<std::int16_t> ReadSamples(const std::string &path) {
    std::vector<std::int16_t> samples;
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        std::int16_t buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, sizeof buffer[0], 4096, file)) > 0)
            samples.insert(samples.end(), buffer, buffer + got);
        std::fclose(file);
    }
    return samples;
}

inline bool WaitForFile(const std::string &path, int ms) {
    for (int i = 0; i < ms / 10 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(path);
}

// The test sink's monitor recorded into a raw file (parec: 48 kHz, one channel, 100 ms of latency).
class Recorder {
public:
    ~Recorder() { Heard(); }
    // Records into FOLDER/heard.raw. With `wait`, returns once parec has written something (a cold
    // machine takes a while to load it) and a little more; false when it records nothing by then.
    bool Start(const std::filesystem::path &folder, bool wait = true) {
        Heard();
        path_ = (folder / "heard.raw").string();
        pid_ = Spawn({"parec", "-d", "test.monitor", "--format=s16le", "--rate=48000", "--channels=1", "--raw",
                      "--latency-msec=100"},
                     path_);
        if (pid_ <= 0 || !wait) return pid_ > 0;
        std::error_code ignored;
        for (int i = 0; i < 300 && std::filesystem::file_size(path_, ignored) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return std::filesystem::file_size(path_, ignored) > 0;
    }
    // Stops recording; what was heard (nothing when it did not record).
    std::vector<std::int16_t> Heard() {
        if (pid_ <= 0) return {};
        Stop(pid_, SIGINT);
        return ReadSamples(path_);
    }

private:
    pid_t pid_ = -1;
    std::string path_;
};

// A PulseAudio daemon listening at DIR/native; PULSE_SERVER names it. -1 when it cannot start.
inline pid_t StartPulse(const std::string &dir) {
    std::string socket = dir + "/native";
    setenv("PULSE_RUNTIME_PATH", dir.c_str(), 1);
    setenv("PULSE_STATE_PATH", dir.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    pid_t pid = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=5", "--use-pid-file=no",
                       "--disable-shm=no", "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                       "module-null-sink sink_name=test rate=48000 channels=1",
                       // As a desktop's server does: an idle device sleeps, so it starts afresh
                       // when a stream comes (a null sink left running idle renders seconds ahead).
                       "-L", "module-suspend-on-idle timeout=0"});
    if (pid > 0 && !WaitForFile(socket, 5000)) Stop(pid);
    // The socket is there before the server answers on it: wait until it does and has its sink (on a
    // loaded machine a client connecting at once may find no server yet).
    for (int i = 0; pid > 0 && i < 100; ++i) {
        if (std::system("pactl list short sinks 2>/dev/null | grep -q '\\btest\\b'") == 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop(pid);
    return -1;
}

// PipeWire, wireplumber and pipewire-pulse in DIR, the null sink made the default; PIPEWIRE_RUNTIME_DIR
// and PULSE_SERVER name them. -1 when they cannot start.
inline pid_t StartPipeWire(const std::string &dir) {
    for (const char *program : {"pipewire", "wireplumber", "pipewire-pulse", "dbus-run-session", "pactl"})
        if (!OnPath(program)) return -1;
    setenv("PIPEWIRE_RUNTIME_DIR", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir + "/pulse/native").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", (dir + "/pulse").c_str(), 1);
    pid_t pid = Spawn(
        {"dbus-run-session", "--", "sh", "-c", "pipewire & sleep 0.3; wireplumber & pipewire-pulse & wait"}, "", true);
    bool up = pid > 0 && WaitForFile(dir + "/pipewire-0", 5000) && WaitForFile(dir + "/pulse/native", 5000);
    // The session manager takes a moment to be ready to link streams to the new sink.
    for (int i = 0; up && i < 50; ++i) {
        if (std::system("pactl load-module module-null-sink sink_name=test rate=48000 channels=1 >/dev/null 2>&1 && "
                        "pactl set-default-sink test >/dev/null 2>&1") == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return pid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Stop(pid);
    return -1;
}

}  // namespace servers
