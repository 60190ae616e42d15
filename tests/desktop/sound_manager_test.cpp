// The desktop host's choice of output, through host::PlaySound and the host's own start-up, against
// sound servers of the test's own: a server that accepts and never answers holds nothing up, a server
// killed and started again is used again within 2 s, and with no server at all the host says sound
// does not work (the event that makes the navigation bar show it). Skipped when the servers are missing.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>

#include "host.h"
#include "sdl_host.h"
#include "sound_servers.h"

namespace {

using namespace servers;
using Clock = std::chrono::steady_clock;

class SoundManager : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("cadenzo-manager-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_ / "run");
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
        std::filesystem::permissions(dir_ / "run", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        setenv("CADENZO_TRACE", (dir_ / "trace.txt").c_str(), 1);
        unsetenv("SDL_AUDIODRIVER");
    }
    void TearDown() override {
        sdlhost::Close();
        recorder_.Heard();
        Stop(daemon_);
        unsetenv("CADENZO_AUDIO");
        unsetenv("PULSE_SERVER");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // Runs the host's loop (as the program's message loop does) until `done` or `ms` have passed.
    template <typename Done>
    bool RunUntil(Done done, int ms) {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        host::Event event;
        while (!done() && Clock::now() < end) {
            if (host::WaitEvent(true, host::Now() + 20, &event) && event.kind == host::Event::SoundChanged)
                ++soundChanges_;
        }
        return done();
    }
    std::string Trace() {
        std::ifstream in(dir_ / "trace.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static int Count(const std::string &text, const std::string &what) {
        int count = 0;
        for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++count;
        return count;
    }

    std::filesystem::path dir_;
    pid_t daemon_ = -1;
    Recorder recorder_;
    int soundChanges_ = 0;
};

// A 50 ms tone at the program's rate.
std::vector<std::int16_t> Tone() {
    std::vector<std::int16_t> tone(551);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = std::int16_t(16000 * std::sin(2 * M_PI * 1000 * double(i) / 11025));
    return tone;
}

TEST_F(SoundManager, AServerThatAcceptsAndNeverAnswersHoldsNothingUp) {
    // Sockets where PipeWire and PulseAudio would be, listening, never answering (a stopped server).
    std::vector<int> sockets;
    for (std::string path : {(dir_ / "pipewire-0").string(), (dir_ / "native").string()}) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ASSERT_EQ(listen(fd, 16), 0);
        sockets.push_back(fd);
    }
    setenv("PIPEWIRE_RUNTIME_DIR", dir_.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (dir_ / "native").string()).c_str(), 1);
    // ALSA with no devices at all (its default would lead to the same stopped server through its
    // PulseAudio plugin, and hold the last try up for as long again).
    std::ofstream((dir_ / "asound.conf").string()) << "\n";
    setenv("ALSA_CONFIG_PATH", (dir_ / "asound.conf").c_str(), 1);

    auto started = Clock::now();
    std::string error;
    ASSERT_TRUE(sdlhost::Open(sdlhost::Options{false, true}, &error)) << error;
    std::vector<std::int16_t> tone = Tone();
    host::PlaySound(1026, tone.data(), tone.size(), 11025, host::Now());
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500)) << "start-up and a sound never wait on it";
    EXPECT_TRUE(host::SoundWorks()) << "nothing is said before the first try has ended";
    // Once both servers have had their time, the host goes on; the sound did not wait to play late.
    EXPECT_TRUE(RunUntil([] { return sdlhost::AudioWorks() || !host::SoundWorks(); }, 8000)) << Trace();
    std::string trace = Trace();
    EXPECT_NE(trace.find("PipeWire: the daemon does not answer"), std::string::npos) << trace;
    EXPECT_NE(trace.find("PulseAudio: the server does not answer"), std::string::npos) << trace;
    EXPECT_EQ(Count(trace, "started 1026"), 0) << trace;
    started = Clock::now();
    sdlhost::Close();
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000)) << "nor does the exit";
    for (int fd : sockets) close(fd);
}

TEST_F(SoundManager, WithNoServerTheHostSaysSoundDoesNotWork) {
    setenv("CADENZO_AUDIO", "pulse", 1);
    setenv("PULSE_SERVER", ("unix:" + (dir_ / "none").string()).c_str(), 1);
    std::string error;
    ASSERT_TRUE(sdlhost::Open(sdlhost::Options{false, true}, &error)) << error;
    EXPECT_TRUE(RunUntil([] { return !host::SoundWorks(); }, 2000));
    RunUntil([this] { return soundChanges_ > 0; }, 500);
    EXPECT_EQ(soundChanges_, 1) << "one event, for the navigation bar to show it";
    std::vector<std::int16_t> tone = Tone();
    host::PlaySound(1026, tone.data(), tone.size(), 11025, host::Now());  // silently
    EXPECT_NE(Trace().find("audio-none PulseAudio: no server"), std::string::npos);
}

TEST_F(SoundManager, AServerKilledAndStartedAgainIsUsedWithinTwoSeconds) {
    if (!OnPath("pulseaudio") || !OnPath("parec")) GTEST_SKIP() << "needs the pulseaudio daemon and parec";
    setenv("CADENZO_AUDIO", "pulse", 1);
    std::string serverDir = (dir_ / "pulse").string();
    std::filesystem::create_directories(serverDir);
    daemon_ = StartPulse(serverDir);
    if (daemon_ < 0) GTEST_SKIP() << "the pulseaudio daemon does not start on this machine";
    std::string error;
    ASSERT_TRUE(sdlhost::Open(sdlhost::Options{false, true}, &error)) << error;
    ASSERT_TRUE(RunUntil([] { return sdlhost::AudioWorks(); }, 3000));

    // The server dies (a crash, a restart after resume): the host notices and says so.
    Stop(daemon_, SIGKILL);
    EXPECT_TRUE(RunUntil([] { return !host::SoundWorks(); }, 2000));
    RunUntil([] { return false; }, 1500);  // the retries back off meanwhile
    daemon_ = StartPulse(serverDir);
    ASSERT_GT(daemon_, 0);
    auto back = Clock::now();
    ASSERT_TRUE(RunUntil([] { return sdlhost::AudioWorks(); }, 4000));
    EXPECT_LT(Clock::now() - back, std::chrono::milliseconds(2000)) << "used again within 2 s of its return";

    // And a sound is heard through the new server.
    ASSERT_TRUE(recorder_.Start(dir_, false));
    RunUntil([] { return false; }, 300);
    std::vector<std::int16_t> tone = Tone();
    host::PlaySound(1026, tone.data(), tone.size(), 11025, host::Now());
    RunUntil([] { return false; }, 500);
    int loud = 0;
    for (std::int16_t v : recorder_.Heard()) loud += std::abs(int(v)) > 8000;
    EXPECT_GT(loud, 500) << "the tone in the new server's recording";
    std::string trace = Trace();
    EXPECT_EQ(Count(trace, "audio-open pulse"), 2) << trace;
    EXPECT_NE(trace.find("audio-removed pulse"), std::string::npos) << trace;
    EXPECT_EQ(Count(trace, "started 1026"), 1) << trace;
}

// The metronome ticks through a server's death and return (PulseAudio on the same socket, or a new
// PipeWire session in the same folder): from 2 s after the server is back, every click is heard
// exactly a beat (12000 frames) after the one before. The click is the same samples each time, so
// where it crosses a level is the same frame of it each time.
class ServerReturn : public SoundManager, public ::testing::WithParamInterface<const char *> {
protected:
    pid_t Start(const std::string &dir) {
        return std::string(GetParam()) == "pulse" ? StartPulse(dir) : StartPipeWire(dir);
    }
    // Runs the loop for `ms`, playing a click on every beat as the program's timer does: the loop
    // waits until the beat is due and the message carries its due time.
    void Tick(int ms) {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        host::Event event;
        while (Clock::now() < end) {
            if (std::int32_t(host::Now() - nextBeat_) >= 0) {
                host::PlaySound(1026, tone_.data(), tone_.size(), 11025, nextBeat_);
                nextBeat_ += 250;
            }
            host::WaitEvent(true, nextBeat_, &event);
        }
    }
    std::vector<std::int16_t> tone_ = Tone();
    std::uint32_t nextBeat_ = 0;
};

TEST_P(ServerReturn, TheBeatIsKeptFromTwoSecondsAfterTheServerIsBack) {
    const std::string kind = GetParam();
    for (const char *program : {kind == "pulse" ? "pulseaudio" : "pipewire", "parec"})
        if (!OnPath(program)) GTEST_SKIP() << "needs " << program;
    setenv("CADENZO_AUDIO", kind.c_str(), 1);
    std::string serverDir = (dir_ / "server").string();
    std::filesystem::create_directories(serverDir);
    std::filesystem::permissions(serverDir, std::filesystem::perms::owner_all);
    daemon_ = Start(serverDir);
    if (daemon_ < 0) GTEST_SKIP() << "the server does not start on this machine";
    std::string error;
    ASSERT_TRUE(sdlhost::Open(sdlhost::Options{false, true}, &error)) << error;
    ASSERT_TRUE(RunUntil([] { return sdlhost::AudioWorks(); }, 3000));
    nextBeat_ = host::Now() + 100;
    Tick(2000);
    Stop(daemon_, SIGKILL);
    Tick(1500);
    daemon_ = Start(serverDir);
    ASSERT_GT(daemon_, 0);
    ASSERT_TRUE(recorder_.Start(dir_, false));
    Tick(7000);
    std::vector<std::int16_t> samples = recorder_.Heard();
    std::vector<long> onsets;  // the first sample over the level after 100 ms below it
    long quiet = 4800;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > 8000) {
            if (quiet >= 4800) onsets.push_back(long(i));
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    std::string heard;
    int judged = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        heard.append(" ").append(std::to_string(onsets[i] - onsets[i - 1]));
        if (onsets[i - 1] < 2 * 48000) continue;  // the recording starts as the server does
        ++judged;
        EXPECT_EQ(onsets[i] - onsets[i - 1], 12000) << "click " << i;
    }
    EXPECT_GE(judged, 8) << "intervals heard:" << heard;
    EXPECT_EQ(Count(Trace(), "audio-open " + kind), 2) << Trace();
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerReturn, ::testing::Values("pulse", "pipewire"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return std::string(info.param) == "pulse" ? "PulseAudio" : "PipeWire";
                         });

}  // namespace
