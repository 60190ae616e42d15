// Other copies: a second copy finds the first and asks it to the front; copies started together end
// with one holder; a copy that crashed leaves nothing that blocks the next; signals end the loop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "sdl_host.h"

extern char **environ;

namespace {

// Each test gets its own runtime folder and an events-only host.
class Copies : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cadenzo-copies-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        chmod(dir_.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        std::string error;
        ASSERT_TRUE(sdlhost::Open(sdlhost::Options{false, false}, &error)) << error;
    }
    void TearDown() override {
        sdlhost::Close();
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string dir_;
};

// A helper copy, its first line of output read, its standard input kept open until Finish.
struct Helper {
    pid_t pid = -1;
    int input = -1;
    FILE *output = nullptr;
    Helper(const char *mode, const char *title) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const char *argv[] = {INSTANCE_HELPER, mode, "CadenzoTest", title, nullptr};
        posix_spawn(&pid, INSTANCE_HELPER, &actions, nullptr, const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = fdopen(out[0], "r");
    }
    std::string FirstLine() {
        char line[64] = {};
        if (!output || !fgets(line, sizeof line, output)) return "";
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    int Finish() {
        if (input >= 0) close(input);
        input = -1;
        if (output) fclose(output);
        output = nullptr;
        int status = 0;
        if (pid > 0) waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Waits (up to a generous limit, never measured) for an event of `kind`.
bool WaitFor(host::Event::Kind kind) {
    std::uint32_t limit = host::Now() + 20000;
    host::Event event;
    while (host::WaitEvent(true, limit, &event))
        if (event.kind == kind) return true;
    return false;
}

TEST_F(Copies, ASecondCopyFindsTheFirstAndAsksItToTheFront) {
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u""));
    Helper second("find", "");
    EXPECT_EQ(second.FirstLine(), "found");
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_TRUE(WaitFor(host::Event::Foreground));
}

TEST_F(Copies, ACopyHoldingAnIdentityKeepsItAndNeverFindsItself) {
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u"One"));
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u"One"));
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u"Two")) << "another title is another identity";
    EXPECT_FALSE(host::AskOtherToForeground(u"CadenzoTest", u"One")) << "nobody else holds it";
    EXPECT_NE(sdlhost::IdentityPath(u"CadenzoTest", u"One"), sdlhost::IdentityPath(u"CadenzoTest", u"Two"));
}

TEST_F(Copies, ACrashedCopyLeavesNothingThatBlocksTheNext) {
    Helper crashed("crash", "");
    EXPECT_EQ(crashed.FirstLine(), "held");
    EXPECT_EQ(crashed.Finish(), 0);
    struct stat info {};
    ASSERT_EQ(stat(sdlhost::IdentityPath(u"CadenzoTest", u"").c_str(), &info), 0) << "its socket file is left";
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u"")) << "this copy takes the identity over";
    Helper next("find", "");
    EXPECT_EQ(next.FirstLine(), "found");
    EXPECT_EQ(next.Finish(), 0);
}

TEST_F(Copies, CopiesStartedTogetherEndWithOneHolder) {
    std::vector<Helper *> copies;
    for (int i = 0; i < 5; ++i) copies.push_back(new Helper("hold", "Race"));
    int held = 0, found = 0;
    for (Helper *copy : copies) {
        std::string line = copy->FirstLine();
        held += line == "held";
        found += line == "found";
    }
    for (Helper *copy : copies) {
        EXPECT_EQ(copy->Finish(), 0);
        delete copy;
    }
    EXPECT_EQ(held, 1);
    EXPECT_EQ(found, 4);
}

// Closing the terminal, Ctrl+C and a polite kill all end the program as Exit does; a second signal
// while it closes asks again instead of killing the process before its settings are written.
TEST_F(Copies, TerminationSignalsBecomeACloseAndASecondCannotKill) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        raise(sig);
        EXPECT_TRUE(WaitFor(host::Event::Close)) << "signal " << sig;
    }
    raise(SIGTERM);
    raise(SIGTERM);
    EXPECT_TRUE(WaitFor(host::Event::Close)) << "still running after two in a row";
}

// A first copy that is stopped (a debugger, a frozen desktop) answers nobody: every later copy still
// ends after its short wait, and none hangs in connect. Bounds are generous: before, the fifth copy
// on hung for as long as the first stayed stopped.
TEST_F(Copies, LaterCopiesEndWhileTheFirstIsStopped) {
    Helper first("hold", "Stopped");
    ASSERT_EQ(first.FirstLine(), "held");
    ASSERT_EQ(kill(first.pid, SIGSTOP), 0);
    for (int i = 0; i < 10; ++i) {
        auto start = std::chrono::steady_clock::now();
        Helper later("find", "Stopped");
        EXPECT_EQ(later.FirstLine(), "found") << "copy " << i;
        later.Finish();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 5.0) << "copy " << i;
    }
    kill(first.pid, SIGCONT);
    EXPECT_EQ(first.Finish(), 0);
}

// Copies that knock and then send a byte every 200 ms, never finishing, are served without waiting on
// them: the first copy's shutdown on SIGTERM is not held back. Before, five such copies held it 5.9 s.
TEST_F(Copies, SlowCopiesDoNotHoldBackTheFirstCopysShutdown) {
    Helper first("serve", "Slow");
    ASSERT_EQ(first.FirstLine(), "held");
    std::string path = sdlhost::IdentityPath(u"CadenzoTest", u"Slow");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    std::vector<int> slow;
    for (int i = 0; i < 5; ++i) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0) << std::strerror(errno);
        slow.push_back(fd);
    }
    auto dribble = [&] {
        for (int fd : slow) send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    };
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
    for (int round = 0; round < 3; ++round) {
        dribble();
        usleep(200000);
    }
    ASSERT_EQ(kill(first.pid, SIGTERM), 0);
    auto asked = Clock::now(), lastByte = asked;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(first.pid, &status, WNOHANG)) == 0 && seconds(asked) < 20) {
        if (seconds(lastByte) >= 0.2) {
            dribble();
            lastByte = Clock::now();
        }
        usleep(5000);
    }
    double took = seconds(asked);
    ASSERT_EQ(ended, first.pid) << "still running " << took << " s after SIGTERM";
    first.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LT(took, 1.5) << "five slow copies held the shutdown back";
    first.Finish();
    for (int fd : slow) close(fd);
}

// A runtime folder that anyone but the user may enter, read or write is refused, however little
// is open: a socket planted there by anyone else can never pass for this user's first copy.
class RuntimeFolder : public Copies, public ::testing::WithParamInterface<mode_t> {};

TEST_P(RuntimeFolder, OpenToOthersIsNotUsed) {
    ASSERT_EQ(chmod(dir_.c_str(), GetParam()), 0);
    std::string path = sdlhost::IdentityPath(u"CadenzoTest", u"Open");
    EXPECT_NE(path, "");
    EXPECT_NE(path.rfind(dir_ + "/", 0), 0u) << path << " lies in a folder of mode " << std::oct << GetParam();
    EXPECT_FALSE(host::ClaimOrFind(u"CadenzoTest", u"Open"));
    chmod(dir_.c_str(), 0700);
}

INSTANTIATE_TEST_SUITE_P(Modes, RuntimeFolder, ::testing::Values(0777, 0770, 0750, 0710, 0707, 0701));

}  // namespace
