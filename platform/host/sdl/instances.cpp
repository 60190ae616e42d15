// Other running copies, and the end of the process by a signal.
//
// Implements: a per-user registry of top-level window identities (class name, title) made of
// Unix-domain sockets in $XDG_RUNTIME_DIR (else a private folder in /tmp): a copy that binds the
// identity's socket holds it and listens; a later copy finds it by connecting and asks it to come
// to the front. A lock file held around the claim makes two copies started together end with one
// holder, and lets a copy that crashed be replaced (its socket file is left, but nobody answers).
// A watcher thread accepts those requests and turns SIGINT and SIGTERM into a Close event
// (the signal handler only writes a byte to a pipe).
// Leaves out: copies run by other users, messages other than "foreground".
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "host.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

constexpr char kForegroundRequest[] = "foreground\n";

struct Watcher {
    std::thread thread;
    int wake[2] = {-1, -1};     // tells the thread to look again (new listener, or stop)
    std::atomic<bool> stop{false};
    std::mutex mutex;           // guards listeners
    std::vector<int> listeners;
    ~Watcher() {
        // A process that ends without closing the host still ends cleanly.
        if (thread.joinable()) {
            stop = true;
            char byte = 'w';
            ssize_t written = write(wake[1], &byte, 1);
            (void)written;
            thread.join();
        }
    }
} watcher;

int signalPipe[2] = {-1, -1};

// Identities this copy holds: socket path -> listening socket.
std::map<std::string, int> held;
std::mutex heldMutex;

void OnSignal(int) {
    int saved = errno;
    char byte = 's';
    ssize_t written = write(signalPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

void Drain(int fd) {
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

// Reads what a knocking copy says (it says it at once, or closes).
void Answer(int listener) {
    int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0)
        return;
    char buffer[32] = {};
    std::size_t got = 0;
    while (got < sizeof buffer - 1) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 250) <= 0)
            break;
        ssize_t n = read(client, buffer + got, sizeof buffer - 1 - got);
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    close(client);
    if (std::strncmp(buffer, kForegroundRequest, sizeof kForegroundRequest - 1) == 0)
        PushUserEvent(kUserForeground);
}

void Watch() {
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{watcher.wake[0], POLLIN, 0});
        fds.push_back(pollfd{signalPipe[0], POLLIN, 0});
        {
            std::lock_guard<std::mutex> lock(watcher.mutex);
            for (int fd : watcher.listeners)
                fds.push_back(pollfd{fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents) {
            Drain(watcher.wake[0]);
            if (watcher.stop)
                return;
        }
        if (fds[1].revents) {
            Drain(signalPipe[0]);
            PushUserEvent(kUserClose);
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                Answer(fds[i].fd);
    }
}

void Wake() {
    char byte = 'w';
    ssize_t written = write(watcher.wake[1], &byte, 1);
    (void)written;
}

std::string RuntimeDir() {
    struct stat info{};
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/' && stat(xdg, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid())
        return xdg;
    // A private folder in /tmp, trusted only when it is ours and closed to others.
    std::string dir = "/tmp/cadenzo-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return "";
    return dir;
}

bool MakeAddress(const std::string &path, sockaddr_un *address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Connects to the copy holding `path`: the socket, or -1 when nobody answers.
int Knock(const std::string &path) {
    sockaddr_un address;
    if (!MakeAddress(path, &address))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Holds the lock file beside the socket while it lives (released on every path out, and by the
// kernel if the process dies).
struct ClaimLock {
    int fd = -1;
    explicit ClaimLock(const std::string &path) {
        fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        // A copy holds the lock only for a few system calls: wait for it, but not forever.
        for (int tries = 0; tries < 200; ++tries) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0)
                return;
            usleep(10000);
        }
    }
    ~ClaimLock() {
        if (fd >= 0)
            close(fd);
    }
};

}  // namespace

std::string IdentityPath(const std::u16string &className, const std::u16string &title) {
    std::string dir = RuntimeDir();
    if (dir.empty())
        return "";
    std::string identity = Utf8(className) + '\n' + Utf8(title);
    std::uint64_t hash = 1469598103934665603ull;   // FNV-1a
    for (unsigned char c : identity)
        hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/cadenzo-%016llx.sock", (unsigned long long)hash);
    return dir + name;
}

void StartWatcher() {
    if (watcher.thread.joinable())
        return;
    if (pipe2(watcher.wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action{};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART | SA_RESETHAND;   // a second signal ends the process at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    watcher.stop = false;
    watcher.thread = std::thread(Watch);
}

void StopWatcher() {
    if (!watcher.thread.joinable())
        return;
    watcher.stop = true;
    Wake();
    watcher.thread.join();
    close(watcher.wake[0]);
    close(watcher.wake[1]);
    watcher.wake[0] = watcher.wake[1] = -1;
    std::lock_guard<std::mutex> lock(watcher.mutex);
    watcher.listeners.clear();
}

void WatchListener(int fd) {
    {
        std::lock_guard<std::mutex> lock(watcher.mutex);
        watcher.listeners.push_back(fd);
    }
    if (watcher.thread.joinable())
        Wake();
}

void ReleaseIdentities() {
    std::lock_guard<std::mutex> lock(heldMutex);
    for (auto &[path, fd] : held) {
        ClaimLock claim(path);   // a copy starting now sees either this one answering or no socket
        unlink(path.c_str());
        close(fd);
    }
    held.clear();
}

}  // namespace sdlhost

bool host::ClaimOrFind(const std::u16string &className, const std::u16string &title) {
    using namespace sdlhost;
    std::string path = IdentityPath(className, title);
    if (path.empty())
        return false;   // no private folder: this copy acts alone
    std::lock_guard<std::mutex> lock(heldMutex);
    if (held.count(path))
        return false;   // this copy already holds it
    ClaimLock claim(path);
    int other = Knock(path);
    if (other >= 0) {
        close(other);
        Trace("copy found %s", path.c_str());
        return true;
    }
    // Nobody answers: a file left by a copy that crashed, or none. Take the identity.
    unlink(path.c_str());
    sockaddr_un address;
    if (!MakeAddress(path, &address))
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return false;
    }
    held[path] = fd;
    Trace("copy held %s", path.c_str());
    StartWatcher();
    WatchListener(fd);
    return false;
}

bool host::AskOtherToForeground(const std::u16string &className, const std::u16string &title) {
    using namespace sdlhost;
    std::string path = IdentityPath(className, title);
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        if (path.empty() || held.count(path))
            return false;
    }
    int fd = Knock(path);
    if (fd < 0) {
        Trace("copy asked to the front: nobody answers");
        return false;
    }
    bool sent = send(fd, kForegroundRequest, sizeof kForegroundRequest - 1, MSG_NOSIGNAL) ==
                ssize_t(sizeof kForegroundRequest - 1);
    close(fd);
    Trace("copy asked to the front: %s", sent ? "sent" : "failed");
    return sent;
}
