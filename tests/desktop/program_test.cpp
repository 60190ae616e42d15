// The real `cadenzo` in a virtual X display: its window, Ctrl+Q ending it with the settings
// written, the close request from a signal, a second copy handing over to the first, and a clear
// refusal without a display. Skipped where Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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

// How a copy is started: the default is a display, the dummy audio driver, standard error in
// stderr<N>.txt, the test's own runtime folder, and the test's user.
struct How {
    bool display = true;
    bool dummyAudio = true;       // false: no sound server and the real ALSA driver (no sound)
    int errorFd = -1;             // standard error onto this descriptor instead of the file
    uid_t user = uid_t(-1);       // run as this user (the test runs as root)
    std::string runtime = "run";  // XDG_RUNTIME_DIR, under the test's folder
};

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
    pid_t Launch(const How &how = How{}) {
        std::string trace = dir_ + "/trace" + std::to_string(programs_.size()) + ".txt";
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                entry.rfind("SDL_", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 ||
                entry.rfind("CADENZO_", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
                entry.rfind("PULSE_", 0) == 0 || entry.rfind("PIPEWIRE_", 0) == 0)
                continue;
            if (!firstOnPath_.empty() && entry.rfind("PATH=", 0) == 0)
                entry = "PATH=" + firstOnPath_ + ":" + entry.substr(5);
            env.push_back(entry);
        }
        if (how.display) env.push_back("DISPLAY=" + display_);
        if (how.dummyAudio) env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("XDG_RUNTIME_DIR=" + dir_ + "/" + how.runtime);
        env.push_back("XDG_CONFIG_HOME=" + dir_ + "/config");
        env.push_back("CADENZO_SCALE=1");
        env.push_back("CADENZO_TRACE=" + trace);
        std::vector<char *> envp;
        for (auto &entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string exe = dir_ + "/cadenzo";
        std::string errors = dir_ + "/stderr" + std::to_string(programs_.size()) + ".txt";
        char *argv[] = {exe.data(), nullptr};
        pid_t pid = fork();
        if (pid == 0) {
            int fd = how.errorFd >= 0 ? how.errorFd : open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (fd < 0 || dup2(fd, 2) < 0) _exit(126);
            if (how.user != uid_t(-1) && (setgroups(0, nullptr) != 0 || setgid(how.user) != 0 || setuid(how.user) != 0))
                _exit(126);
            execve(exe.c_str(), argv, envp.data());
            _exit(127);
        }
        programs_.push_back(pid);
        return pid;
    }
    std::string Errors(int copy) { return ReadFile(dir_ + "/stderr" + std::to_string(copy) + ".txt"); }
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
    // The theme's icons where a build folder has them, beside the copy.
    std::string theme = "mkdir '" + dir_ + "/data' && cp -r '" CADENZO_THEME_DIR "' '" + dir_ + "/data/'";
    ASSERT_EQ(std::system(theme.c_str()), 0);
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
    // The window's icon at every size the theme has, for the window manager to choose from.
    // (-len: xprop reads only the start of a property this long unless told more.)
    std::string icons = Capture("DISPLAY=" + display_ + " xprop -len 4000000 -id " + window +
                                " _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr -d 'Icon ()' | tr '\\n' ,");
    EXPECT_EQ(icons, "16x16,32x32,48x48,64x64,128x128,256x256,");

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

// The window destroyed by another X client (as `xdotool windowclose` does) ends the program as
// closing it does: the settings are saved and it exits 0. Before, Xlib's default handler of the
// BadWindow errors ended it at once with exit code 1 and nothing saved.
TEST_F(Desktop, TheWindowDestroyedByAnotherClientEndsItAsAClose) {
    pid_t pid = Launch();
    std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << ReadFile(Trace(0));
    X("windowclose " + window);
    int code = -1;
    ASSERT_TRUE(WaitExit(pid, &code, 200)) << "still running after its window was destroyed";
    Forget(pid);
    EXPECT_EQ(code, 0) << Errors(0);
    EXPECT_EQ(Errors(0).find("X Error"), std::string::npos) << Errors(0);
    struct stat info {};
    ASSERT_EQ(stat((dir_ + "/config/cadenzo/Cadenzo.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 7) << "the settings were not saved";
}

// Standard error a pipe whose reader has gone, and a line written to it (here why there is no
// sound): the write fails and the program runs on; the Sound box tapped off is saved at Ctrl+Q.
// Before, SIGPIPE ended it (exit 141) and the change was lost.
TEST_F(Desktop, AClosedPipeOnStandardErrorDoesNotEndIt) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    close(pipeFds[0]);
    How how;
    how.dummyAudio = false;
    how.errorFd = pipeFds[1];
    pid_t pid = Launch(how);
    close(pipeFds[1]);
    std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << "no window: " << ReadFile(Trace(0));
    if (ReadFile(Trace(0)).find("audio-open") != std::string::npos) GTEST_SKIP() << "this machine has sound";
    ASSERT_TRUE(WaitForText(Trace(0), "audio-none", 300)) << ReadFile(Trace(0));
    X("mousemove --window " + window + " 140 81 click 1");  // the Sound box: on by default
    int code = -1;
    ASSERT_TRUE(PressUntil(window, "ctrl+q", [&] { return WaitExit(pid, &code, 1); }))
        << "Ctrl+Q did not end the program";
    Forget(pid);
    EXPECT_EQ(code, 0);
    std::string record = ReadFile(dir_ + "/config/cadenzo/Cadenzo.ini");
    ASSERT_EQ(record.size(), 7u);
    EXPECT_EQ(record[5], 0) << "the Sound box's change was lost";
}

// No sound server and no sound device: libasound's own lines (a dozen at every try) never reach
// standard error and the program says why there is no sound once while the cause stays the same;
// the browser the help key starts says what it likes, but not on the program's standard error.
// Before, about 200 lines a minute.
TEST_F(Desktop, WithoutSoundStandardErrorHoldsOneLineAndNothingOfTheBrowsers) {
    ASSERT_EQ(std::system(("cp '" CADENZO_HELP_PAGE "' '" + dir_ + "/Cadenzo.htm'").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/bin").c_str(), 0700), 0);
    std::string opened = dir_ + "/opened.txt";
    std::ofstream(dir_ + "/bin/xdg-open") << "#!/bin/sh\necho 'browser: hello on standard output'\n"
                                          << "echo 'browser: hello on standard error' >&2\n"
                                          << "echo \"$1\" >> '" << opened << "'\n";
    ASSERT_EQ(chmod((dir_ + "/bin/xdg-open").c_str(), 0700), 0);
    firstOnPath_ = dir_ + "/bin";
    How how;
    how.dummyAudio = false;
    pid_t pid = Launch(how);
    std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << ReadFile(Trace(0));
    if (ReadFile(Trace(0)).find("audio-open") != std::string::npos) GTEST_SKIP() << "this machine has sound";
    // Tries at 0.1, 0.2, 0.4, 0.8, 1.6 s and then every 2 s: wait for eight of them.
    auto tries = [&] {
        std::string trace = ReadFile(Trace(0));
        int n = 0;
        for (std::size_t at = trace.find("audio-none"); at != std::string::npos; at = trace.find("audio-none", at + 1))
            ++n;
        return n;
    };
    for (int i = 0; i < 300 && tries() < 8; ++i) usleep(100000);
    ASSERT_GE(tries(), 8) << ReadFile(Trace(0));
    ASSERT_TRUE(PressUntil(window, "F1", [&] { return !ReadFile(opened).empty(); })) << ReadFile(Trace(0));
    int code = -1;
    ASSERT_TRUE(PressUntil(window, "ctrl+q", [&] { return WaitExit(pid, &code, 1); }));
    Forget(pid);
    EXPECT_EQ(code, 0);
    std::string errors = Errors(0);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("cadenzo: no sound ("), std::string::npos) << errors;
    EXPECT_EQ(errors.find("ALSA lib"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("browser:"), std::string::npos) << errors;
}

// A second copy, with no sound, says in one line that Cadenzo runs already and was brought to the
// front. Before, it said only that there was no sound.
TEST_F(Desktop, ASecondCopySaysCadenzoIsAlreadyRunning) {
    How how;
    how.dummyAudio = false;
    pid_t first = Launch(how);
    ASSERT_TRUE(WaitForText(Trace(0), " present ", 300));
    pid_t second = Launch(how);
    int code = -1;
    ASSERT_TRUE(WaitExit(second, &code, 200)) << "the second copy kept running";
    Forget(second);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(WaitForText(Trace(0), " foreground", 100)) << "the first copy was not asked to the front";
    std::string errors = Errors(1);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("Cadenzo is already running"), std::string::npos) << errors;
    EXPECT_NE(errors.find("brought to the front"), std::string::npos) << errors;
    int status = 0;
    EXPECT_EQ(waitpid(first, &status, WNOHANG), 0) << "the first copy is still running";
}

// The runtime folder unusable and /tmp/cadenzo-UID made first by another user: copies of this user
// still find each other (in the user's own settings folder), so there is one window. Before, each
// copy ran on its own.
TEST_F(Desktop, WithTheSharedFallbackTakenByAnotherUserThereIsStillOneWindow) {
    if (geteuid() != 0) GTEST_SKIP() << "running as two other users needs root";
    // Two users with no other trace on this machine: ids with no account and no folder in /tmp.
    uid_t user = 0;
    for (uid_t candidate = 61000 + uid_t(getpid() % 2000); candidate < 65000; candidate += 2) {
        struct stat info {};
        std::string taken = "/tmp/cadenzo-" + std::to_string(candidate);
        if (!getpwuid(candidate) && !getpwuid(candidate + 1) && stat(taken.c_str(), &info) != 0) {
            user = candidate;
            break;
        }
    }
    ASSERT_NE(user, 0u);
    const std::string taken = "/tmp/cadenzo-" + std::to_string(user);
    ASSERT_EQ(mkdir(taken.c_str(), 0700), 0);
    ASSERT_EQ(chown(taken.c_str(), user + 1, user + 1), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);  // the user writes its settings, traces and errors here
    How how;
    how.user = user;
    how.runtime = "run";  // root's, so not this user's: unusable
    pid_t first = Launch(how);
    bool shown = WaitForText(Trace(0), " present ", 300);
    pid_t second = Launch(how);
    int code = -1;
    bool ended = WaitExit(second, &code, 100);
    std::string windows = X("search --name '^Cadenzo$'");
    rmdir(taken.c_str());
    ASSERT_TRUE(shown) << Errors(0) << ReadFile(Trace(0));
    EXPECT_TRUE(ended) << "a second copy runs beside the first: " << Errors(1);
    EXPECT_EQ(code, 0) << Errors(1);
    EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
    int status = 0;
    EXPECT_EQ(waitpid(first, &status, WNOHANG), 0) << "the first copy is still running";
    // With the settings folder open to others' writing too there is nowhere to meet: a copy ends at
    // once, in one line, rather than run beside another.
    ASSERT_EQ(chmod((dir_ + "/config/cadenzo").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(taken.c_str(), 0700), 0);
    ASSERT_EQ(chown(taken.c_str(), user + 1, user + 1), 0);
    pid_t third = Launch(how);
    ended = WaitExit(third, &code, 100);
    rmdir(taken.c_str());
    ASSERT_TRUE(ended) << Errors(2);
    Forget(third);
    EXPECT_EQ(code, 0);
    std::string errors = Errors(2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("this copy ends"), std::string::npos) << errors;
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
    // A display number no server has, held for the test: X servers do not start on a number whose
    // lock file exists, so taking the lock file keeps it free until the test ends.
    std::string lock;
    for (int number = 1077; number < 2077 && lock.empty(); ++number) {
        std::string name = "/tmp/.X" + std::to_string(number) + "-lock";
        struct stat existing {};
        if (stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &existing) == 0) continue;
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
        if (fd < 0) continue;
        close(fd);
        lock = name;
    }
    ASSERT_FALSE(lock.empty()) << "no free display number from 1077 to 2076";
    std::string display = ":" + lock.substr(7, lock.size() - 7 - 5);
    std::string command = "env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=" + display +
                          " SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR='" + runtime + "' XDG_CONFIG_HOME='" + runtime +
                          "/config' '" CADENZO_EXE "' 2>&1; echo \"exit=$?\"";
    std::string out = Capture(command);
    EXPECT_NE(out.find("cadenzo: no display found"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=1"), std::string::npos) << out;
    std::string sockets = Capture("find '" + runtime + "' -type s");
    EXPECT_EQ(sockets, "") << "a socket was left behind";
    EXPECT_EQ(std::system(("rm -rf '" + runtime + "'").c_str()), 0);
    EXPECT_EQ(unlink(lock.c_str()), 0) << lock;
}

// The program takes no command line; the desktop executable answers --help and --version itself
// and refuses anything else without opening a window.
TEST(DesktopCommandLine, HelpAndVersionPrintAndAnythingElseIsRefused) {
    std::string help = Capture("env -u DISPLAY '" CADENZO_EXE "' --help 2>&1; echo \"exit=$?\"");
    EXPECT_NE(help.find("Usage: cadenzo [-h | --help | --version]"), std::string::npos) << help;
    EXPECT_NE(help.find("exit=0"), std::string::npos) << help;
    EXPECT_EQ(Capture("env -u DISPLAY '" CADENZO_EXE "' -h 2>&1; echo \"exit=$?\""), help) << "-h is --help";
    // Every CADENZO_ variable the host reads is named in the help text.
    std::istringstream knobs(CADENZO_KNOBS);
    int named = 0;
    for (std::string knob; knobs >> knob; ++named) EXPECT_NE(help.find("  " + knob + " "), std::string::npos) << knob;
    EXPECT_GE(named, 5) << "the knobs were found in the host's sources: " CADENZO_KNOBS;
    std::string version = Capture("env -u DISPLAY '" CADENZO_EXE "' --version 2>&1; echo \"exit=$?\"");
    EXPECT_EQ(version.rfind("cadenzo ", 0), 0u) << version;
    EXPECT_NE(version.find("exit=0"), std::string::npos) << version;
    std::string other = Capture("env -u DISPLAY '" CADENZO_EXE "' --bogus 2>&1; echo \"exit=$?\"");
    EXPECT_NE(other.find("unknown argument '--bogus'"), std::string::npos) << other;
    EXPECT_NE(other.find("exit=2"), std::string::npos) << other;
    EXPECT_EQ(std::count(other.begin(), other.end(), '\n'), 2) << "one line, then the exit code";
}

}  // namespace
