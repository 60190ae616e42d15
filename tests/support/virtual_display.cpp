// Xvfb picks a free display itself (-displayfd) and writes its number on the descriptor it is given,
// so parallel runs never race for a display number.
#include "virtual_display.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace xdisplay {

pid_t Start(const std::string &geometry, std::string *display) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::string fd = std::to_string(fds[1]);
    const char *argv[] = {"Xvfb",           "-displayfd", fd.c_str(), "-screen", "0",
                          geometry.c_str(), "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        return -1;
    }
    // The number and its newline may arrive in two writes; Xvfb gives up if the pipe closes between.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (number.empty()) {
        Stop(pid);
        return -1;
    }
    *display = ":" + number;
    return pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

}  // namespace xdisplay
