// The real `cadenzo` in a virtual X display: its window, Ctrl+Q ending it with the settings
// written, the close request from a signal, a second copy handing over to the first, and a clear
// refusal without a display. Skipped where Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "virtual_display.h"

extern char **environ;

namespace {

bool OnPath(const std::string &program) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a command line through the shell and returns its standard output.
std::string Capture(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}

// Waits for a child without timing anything: polls up to `tenths` tenths of a second.
bool WaitExit(pid_t pid, int *code, int tenths) {
    for (int i = 0; i < tenths; ++i) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        usleep(100000);
    }
    return false;
}

bool WaitForText(const std::string &path, const std::string &text, int tenths) {
    for (int i = 0; i < tenths; ++i) {
        if (ReadFile(path).find(text) != std::string::npos) return true;
        usleep(100000);
    }
    return false;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("Xvfb") || !OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
        char pattern[] = "/tmp/cadenzo-desktop-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(mkdir((dir_ + "/run").c_str(), 0700), 0);
        // The program runs from a copy, so its settings land here and not in the build folder.
        std::string copy = "cp '" CADENZO_EXE "' '" + dir_ + "/cadenzo'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        StartDisplay();
    }
    void TearDown() override {
        for (pid_t pid : programs_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        xdisplay::Stop(xvfb_);
        if (!dir_.empty()) {
            std::string command = "rm -rf '" + dir_ + "'";
            EXPECT_EQ(std::system(command.c_str()), 0);
        }
    }

    void StartDisplay() {
        xvfb_ = xdisplay::Start("800x600x24", &display_);
        ASSERT_GT(xvfb_, 0) << "Xvfb did not start";
    }

    // Starts a copy of the program; its trace goes to trace<N>.txt.
    pid_t Launch(bool withDisplay = true) {
        std::string trace = dir_ + "/trace" + std::to_string(programs_.size()) + ".txt";
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                entry.rfind("SDL_", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 ||
                entry.rfind("CADENZO_", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0)
                continue;
            if (!firstOnPath_.empty() && entry.rfind("PATH=", 0) == 0)
                entry = "PATH=" + firstOnPath_ + ":" + entry.substr(5);
            env.push_back(entry);
        }
        if (withDisplay) env.push_back("DISPLAY=" + display_);
        env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("XDG_RUNTIME_DIR=" + dir_ + "/run");
        env.push_back("XDG_CONFIG_HOME=" + dir_ + "/config");
        env.push_back("CADENZO_SCALE=1");
        env.push_back("CADENZO_TRACE=" + trace);
        std::vector<char *> envp;
        for (auto &entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string exe = dir_ + "/cadenzo";
        std::string errors = dir_ + "/stderr" + std::to_string(programs_.size()) + ".txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char *argv[] = {exe.data(), nullptr};
        pid_t pid = -1;
        posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        programs_.push_back(pid);
        return pid;
    }
    std::string Trace(int copy) { return dir_ + "/trace" + std::to_string(copy) + ".txt"; }
    std::string X(const std::string &arguments) {
        return Capture("DISPLAY=" + display_ + " xdotool " + arguments + " 2>/dev/null");
    }
    void Forget(pid_t pid) { programs_.erase(std::remove(programs_.begin(), programs_.end(), pid), programs_.end()); }

    // The window titled Cadenzo once the first copy has shown a frame, "" when none appears.
    std::string MainWindow() {
        if (!WaitForText(Trace(0), " present ", 300)) return "";
        std::string window;
        for (int i = 0; i < 100 && window.empty(); ++i, usleep(100000)) window = X("search --name '^Cadenzo$'");
        return window.substr(0, window.find('\n'));
    }
    // The window's pixels as 8-bit RGB triples, row by row ("" when the capture failed).
    std::string Shot(const std::string &window) {
        std::string shot = dir_ + "/shot.rgb";
        std::string command = "import -display " + display_ + " -window " + window + " -depth 8 rgb:'" + shot + "'";
        if (std::system(command.c_str()) != 0) return "";
        return ReadFile(shot);
    }
    static unsigned Rgb(const std::string &pixels, int x, int y) {
        std::size_t at = (std::size_t(y) * 240 + std::size_t(x)) * 3;
        if (at + 2 >= pixels.size()) return 0xFFFFFFFFu;
        return unsigned((unsigned char)pixels[at]) << 16 | unsigned((unsigned char)pixels[at + 1]) << 8 |
               unsigned((unsigned char)pixels[at + 2]);
    }
    // Presses `keys` (xdotool's names) in the focused window until `done` holds: keys reach the
    // window once it has the focus, and a busy machine may need a second try.
    template <typename Done>
    bool PressUntil(const std::string &window, const std::string &keys, Done done) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            X("windowfocus --sync " + window);
            X("key --clearmodifiers " + keys);
            for (int i = 0; i < 40; ++i, usleep(100000))
                if (done()) return true;
        }
        return false;
    }

    std::string dir_, display_, firstOnPath_;
    pid_t xvfb_ = -1;
    std::vector<pid_t> programs_;
};

TEST_F(Desktop, TheWindowShowsTheScreenAndCtrlQEndsWithTheSettingsWritten) {
    pid_t pid = Launch();
    std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << "no window titled Cadenzo on " << display_ << ": " << ReadFile(Trace(0));
    // At scale 1 the window is the 240 x 320 screen.
    std::string geometry = X("getwindowgeometry " + window);
    EXPECT_NE(geometry.find("240x320"), std::string::npos) << geometry;
    // The screenshot of the window: the application area's background is white, and the screen
    // is not blank (the navigation bar and the controls are drawn).
    // A frame is shown a constant latency after it was made: look again until it is there.
    std::string pixels;
    auto white = [&](int x, int y) { return Rgb(pixels, x, y) == 0xFFFFFFu; };
    int whites = 0;
    for (int attempt = 0; attempt < 50; ++attempt, usleep(100000)) {
        pixels = Shot(window);
        ASSERT_EQ(pixels.size(), 240u * 320 * 3);
        whites = 0;
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 240; ++x) whites += white(x, y);
        if (whites > 240 * 320 / 4 && !white(120, 10)) break;
    }
    EXPECT_GT(whites, 240 * 320 / 4) << "mostly white, as the handheld's look is";
    EXPECT_LT(whites, 240 * 320) << "but something is drawn";
    EXPECT_FALSE(white(120, 10)) << "the navigation bar at the top is dark";

    int code = -1;
    ASSERT_TRUE(PressUntil(window, "ctrl+q", [&] { return WaitExit(pid, &code, 1); }))
        << "Ctrl+Q did not end the program";
    Forget(pid);
    EXPECT_EQ(code, 0);
    struct stat info {};
    ASSERT_EQ(stat((dir_ + "/config/cadenzo/Cadenzo.ini").c_str(), &info), 0)
        << "no settings file in the config folder";
    EXPECT_EQ(info.st_size, 7);
    EXPECT_NE(stat((dir_ + "/Cadenzo.ini").c_str(), &info), 0) << "nothing beside the executable";
    ASSERT_EQ(stat((dir_ + "/config/cadenzo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the folder is private";
}

// The desktop's keys as the program receives them: F1 asks for the help page, Ctrl+A shows About
// (full screen, with the "ok" box in the navigation bar) and Escape closes it again, Ctrl+Q ends.
TEST_F(Desktop, TheKeysOfTheKeyboardDoWhatTheProgramSays) {
    // The help page beside the executable, opened through xdg-open: here a script that notes the
    // address it is given.
    ASSERT_EQ(std::system(("cp '" CADENZO_HELP_PAGE "' '" + dir_ + "/Cadenzo.htm'").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/bin").c_str(), 0700), 0);
    std::string opened = dir_ + "/opened.txt";
    std::ofstream(dir_ + "/bin/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << opened << "'\n";
    ASSERT_EQ(chmod((dir_ + "/bin/xdg-open").c_str(), 0700), 0);
    firstOnPath_ = dir_ + "/bin";

    pid_t pid = Launch();
    std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << ReadFile(Trace(0));
    // Where About's "ok" box is white, the main window's navigation bar is dark.
    auto okShown = [&] { return Rgb(Shot(window), 222, 5) == 0xFFFFFFu; };
    auto okGone = [&] { return Rgb(Shot(window), 222, 5) == 0x000080u; };
    ASSERT_TRUE(PressUntil(window, "F1", [&] {
        return ReadFile(opened).find("Cadenzo.htm#Main_Contents") != std::string::npos;
    })) << ReadFile(Trace(0));
    EXPECT_EQ(ReadFile(opened).rfind("file://" + dir_ + "/Cadenzo.htm#Main_Contents", 0), 0u) << ReadFile(opened);
    ASSERT_TRUE(okGone()) << "help opens outside: the program's screen stays as it was";
    ASSERT_TRUE(PressUntil(window, "ctrl+a", okShown)) << "Ctrl+A did not show About";
    ASSERT_TRUE(PressUntil(window, "Escape", okGone)) << "Escape did not close About";
    int code = -1;
    ASSERT_TRUE(PressUntil(window, "ctrl+q", [&] { return WaitExit(pid, &code, 1); }))
        << "Ctrl+Q did not end the program";
    Forget(pid);
    EXPECT_EQ(code, 0);
}

// The record a user's earlier run left in the config folder is read at start and written back at
// exit, here after a polite kill: the choices come back unchanged (defaults would differ).
TEST_F(Desktop, ATerminationSignalEndsItAsExitDoesAndTheChoicesAreKept) {
    ASSERT_EQ(mkdir((dir_ + "/config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ + "/config/cadenzo").c_str(), 0700), 0);
    const std::string record = {char(210), 0, 3, 0, 3, 1, 1};  // 240 bpm, repeat 3x, 4/4
    std::ofstream((dir_ + "/config/cadenzo/Cadenzo.ini").c_str(), std::ios::binary) << record;
    pid_t pid = Launch();
    ASSERT_TRUE(WaitForText(Trace(0), " present ", 300));
    kill(pid, SIGTERM);
    int code = -1;
    ASSERT_TRUE(WaitExit(pid, &code, 200));
    Forget(pid);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(dir_ + "/config/cadenzo/Cadenzo.ini"), record);
}

TEST_F(Desktop, ASecondCopyHandsOverToTheFirstAndEnds) {
    pid_t first = Launch();
    ASSERT_TRUE(WaitForText(Trace(0), " present ", 300));
    pid_t second = Launch();
    int code = -1;
    ASSERT_TRUE(WaitExit(second, &code, 200)) << "the second copy kept running";
    Forget(second);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(WaitForText(Trace(0), " foreground", 100)) << "the first copy was not asked to the front";
    int status = 0;
    EXPECT_EQ(waitpid(first, &status, WNOHANG), 0) << "the first copy is still running";
    EXPECT_EQ(X("search --name '^Cadenzo$'").find('\n'), X("search --name '^Cadenzo$'").rfind('\n')) << "one window";
}

TEST(DesktopWithoutDisplay, SaysSoInOneLineAndFails) {
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy '" CADENZO_EXE
                          "' 2>&1; echo \"exit=$?\"";
    std::string out = Capture(command);
    EXPECT_NE(out.find("cadenzo: no display found"), std::string::npos) << out;
    EXPECT_EQ(out.find("exit=0"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << "one line, then the exit code";
}

// A DISPLAY naming a display that does not exist once let SDL fall back to an invisible offscreen
// window that held the single-instance socket: now it is refused like no display, and no socket is
// left behind for later copies to find.
TEST(DesktopWithoutDisplay, AStaleDisplayIsRefusedAndLeavesNoSocket) {
    char pattern[] = "/tmp/cadenzo-stale-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string runtime = pattern;
    chmod(runtime.c_str(), 0700);
    std::string command =
        "env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:77 SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR='" + runtime +
        "' XDG_CONFIG_HOME='" + runtime + "/config' '" CADENZO_EXE "' 2>&1; echo \"exit=$?\"";
    std::string out = Capture(command);
    EXPECT_NE(out.find("cadenzo: no display found"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=1"), std::string::npos) << out;
    std::string sockets = Capture("find '" + runtime + "' -type s");
    EXPECT_EQ(sockets, "") << "a socket was left behind";
    EXPECT_EQ(std::system(("rm -rf '" + runtime + "'").c_str()), 0);
}

// The program takes no command line; the desktop executable answers --help and --version itself
// and refuses anything else without opening a window.
TEST(DesktopCommandLine, HelpAndVersionPrintAndAnythingElseIsRefused) {
    std::string help = Capture("env -u DISPLAY '" CADENZO_EXE "' --help 2>&1; echo \"exit=$?\"");
    EXPECT_NE(help.find("Usage: cadenzo [--help | --version]"), std::string::npos) << help;
    EXPECT_NE(help.find("exit=0"), std::string::npos) << help;
    std::string version = Capture("env -u DISPLAY '" CADENZO_EXE "' --version 2>&1; echo \"exit=$?\"");
    EXPECT_EQ(version.rfind("cadenzo ", 0), 0u) << version;
    EXPECT_NE(version.find("exit=0"), std::string::npos) << version;
    std::string other = Capture("env -u DISPLAY '" CADENZO_EXE "' --bogus 2>&1; echo \"exit=$?\"");
    EXPECT_NE(other.find("unknown argument '--bogus'"), std::string::npos) << other;
    EXPECT_NE(other.find("exit=2"), std::string::npos) << other;
    EXPECT_EQ(std::count(other.begin(), other.end(), '\n'), 2) << "one line, then the exit code";
}

}  // namespace
