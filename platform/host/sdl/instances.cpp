// Other running copies, and the end of the process by a signal.
//
// Implements: a per-user registry of top-level window identities (class name, title) made of
// Unix-domain sockets in a private folder: $XDG_RUNTIME_DIR when it is the user's own with mode 0700,
// else /tmp/cadenzo-UID checked the same way (also when the runtime folder's name is too long for a
// socket's), else (another user made that first) the program's own folder when only the user may
// write in it; with none of them the copy ends, saying why, rather than risk a second window. A copy that binds the identity's socket holds it and listens; a later copy finds it by
// connecting, is greeted, and asks it to come to the front. Both sides check that the other end runs
// as the same user. A lock file held around the claim makes two copies started together end with one
// holder, and lets a copy that crashed be replaced (its socket file is left, but nobody answers).
// Knocking never waits more than kAnswerMs: a copy that is there but does not answer (stopped, hung)
// is reported in one line and counts as found, so this copy ends without touching anything.
// A watcher thread serves the knocking copies without ever blocking on one (each gets a short time
// limit) and turns SIGHUP, SIGINT and SIGTERM into a Close event; a signal while closing only asks
// again (the signal handler only writes a byte to a pipe), so nothing cuts the save short.
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
#include <cstdarg>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

constexpr char kGreeting[] = "cadenzo\n";
constexpr char kForegroundRequest[] = "foreground\n";
constexpr int kAnswerMs = 500;           // the longest a copy waits for the one holding the identity
constexpr int kClientMs = 1000;          // the longest the holder keeps one knocking copy
constexpr std::size_t kMaxClients = 16;  // beyond this the oldest knocking copy is let go

std::int64_t NowMs() { return NowNs() / 1000000; }

// One line on standard error: what this copy refused or could not do, and what it does instead.
void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line);
    Trace("%s", line);
}

// A copy that knocked: what it said so far, and when it is let go.
struct Client {
    int fd = -1;
    std::int64_t deadlineMs = 0;
    std::string said;
};

struct Watcher {
    std::thread thread;
    int wake[2] = {-1, -1};  // tells the thread to look again (new listener, or stop)
    std::atomic<bool> stop{false};
    std::mutex mutex;  // guards listeners
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
// Identities found held by another copy: socket path -> the connection, kept for the request
// (-1 when the other copy did not answer).
std::map<std::string, int> found;
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

bool SameUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

// Takes every copy waiting at `listener`, greets it, and keeps it until it has spoken.
void Accept(int listener, std::vector<Client> *clients) {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (!SameUser(fd) ||
            send(fd, kGreeting, sizeof kGreeting - 1, MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(sizeof kGreeting - 1)) {
            close(fd);
            continue;
        }
        if (clients->size() >= kMaxClients) {
            close(clients->front().fd);
            clients->erase(clients->begin());
        }
        clients->push_back(Client{fd, NowMs() + kClientMs, {}});
    }
}

// Reads what a knocking copy has sent; true when it is done with (asked, left or said too much).
bool Hear(Client *client) {
    char buffer[32];
    for (;;) {
        ssize_t n = read(client->fd, buffer, sizeof buffer);
        if (n > 0) {
            client->said.append(buffer, std::size_t(n));
            if (client->said.size() >= sizeof kForegroundRequest - 1) break;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
        break;  // closed
    }
    if (client->said.compare(0, sizeof kForegroundRequest - 1, kForegroundRequest) == 0) PushUserEvent(kUserForeground);
    return true;
}

void Watch() {
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{watcher.wake[0], POLLIN, 0});
        fds.push_back(pollfd{signalPipe[0], POLLIN, 0});
        std::size_t firstListener = fds.size();
        {
            std::lock_guard<std::mutex> lock(watcher.mutex);
            for (int fd : watcher.listeners) fds.push_back(pollfd{fd, POLLIN, 0});
        }
        std::size_t firstClient = fds.size();
        int timeout = -1;
        std::int64_t now = NowMs();
        for (const Client &client : clients) {
            fds.push_back(pollfd{client.fd, POLLIN, 0});
            int left = int(std::max<std::int64_t>(0, client.deadlineMs - now));
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        if (fds[0].revents) {
            Drain(watcher.wake[0]);
            if (watcher.stop) break;
        }
        if (fds[1].revents) {
            Drain(signalPipe[0]);
            PushUserEvent(kUserClose);
        }
        // Copies already waiting first, then the new ones: each is served by what has arrived.
        now = NowMs();
        std::vector<Client> kept;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            bool done = (fds[firstClient + i].revents && Hear(&clients[i])) || now >= clients[i].deadlineMs;
            if (done)
                close(clients[i].fd);
            else
                kept.push_back(clients[i]);
        }
        clients.swap(kept);
        for (std::size_t i = firstListener; i < firstClient; ++i)
            if (fds[i].revents & POLLIN) Accept(fds[i].fd, &clients);
    }
    for (const Client &client : clients) close(client.fd);
}

void Wake() {
    char byte = 'w';
    ssize_t written = write(watcher.wake[1], &byte, 1);
    (void)written;
}

// Why `dir` is not a private folder of this user ("" when it is one).
std::string NotPrivate(const std::string &dir, bool followLink) {
    struct stat info {};
    if ((followLink ? stat(dir.c_str(), &info) : lstat(dir.c_str(), &info)) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return "not a folder";
    if (info.st_uid != getuid()) return "it belongs to another user";
    if ((info.st_mode & 077) != 0) {
        char reason[64];
        std::snprintf(reason, sizeof reason, "it is open to other users (mode %04o)", unsigned(info.st_mode & 07777));
        return reason;
    }
    return "";
}

constexpr std::size_t kSocketNameLength = sizeof "/cadenzo-0123456789abcdef.sock" - 1;

bool FitsSocket(const std::string &dir) { return dir.size() + kSocketNameLength < sizeof sockaddr_un{}.sun_path; }

// The folder for this user's sockets, "" when there is none. Says once per choice what it refused.
std::string RuntimeDir() {
    static std::mutex mutex;
    static std::string lastXdg = "\x01", lastDir;
    std::lock_guard<std::mutex> lock(mutex);
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    std::string xdgText = xdg ? xdg : "";
    if (xdgText == lastXdg) return lastDir;
    lastXdg = xdgText;
    std::string refused;
    if (!xdgText.empty()) {
        std::string why = xdgText[0] != '/' ? "not a full path" : NotPrivate(xdgText, true);
        if (why.empty() && !FitsSocket(xdgText)) why = "its name is too long for a socket's";
        if (why.empty()) return lastDir = xdgText;
        refused = "not using XDG_RUNTIME_DIR " + xdgText + " for the single-instance rule (" + why + ")";
    }
    // A private folder in /tmp that names the user, trusted only when it is ours and closed to others.
    std::string dir = "/tmp/cadenzo-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    std::string why = NotPrivate(dir, false);
    if (why.empty()) {
        if (!refused.empty()) Say("%s; using %s", refused.c_str(), dir.c_str());
        return lastDir = dir;
    }
    refused += (refused.empty() ? "" : "; ") + dir + " is not private (" + why + ")";
    // Someone else took that name first: the program's own folder, which only the user may change.
    std::string own = host::ProgramFolder();
    struct stat info {};
    if (stat(own.c_str(), &info) != 0)
        why = std::strerror(errno);
    else if (!S_ISDIR(info.st_mode))
        why = "not a folder";
    else if (info.st_uid != getuid())
        why = "it belongs to another user";
    else if (info.st_mode & 022)
        why = "others may write in it";
    else
        why.clear();
    if (!why.empty()) {
        Say("%s; nor is %s (%s): this copy ends, as it cannot tell whether another is running", refused.c_str(),
            own.c_str(), why.c_str());
        return lastDir = "";
    }
    Say("%s; using %s", refused.c_str(), own.c_str());
    if (FitsSocket(own)) return lastDir = own;
    // Too long a name for a socket's address: the folder is reached through a descriptor held open.
    static int ownFd = open(own.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return lastDir = ownFd < 0 ? "" : "/proc/self/fd/" + std::to_string(ownFd);
}

bool MakeAddress(const std::string &path, sockaddr_un *address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// What knocking at an identity's socket found.
enum class Knocked {
    Answered,  // the copy holding it greeted this one (fd is the connection)
    Silent,    // a copy holds it but did not answer in time
    Free,      // nobody holds it (no socket, or one that a crashed copy left)
    Foreign,   // the socket is someone else's: never taken for another copy
};

// Knocks at `path`, waiting until `deadlineMs` at most.
Knocked Knock(const std::string &path, std::int64_t deadlineMs, int *fdOut) {
    *fdOut = -1;
    sockaddr_un address;
    if (!MakeAddress(path, &address)) return Knocked::Free;
    for (;;) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) return Knocked::Free;
        if (!S_ISSOCK(info.st_mode) || info.st_uid != getuid()) return Knocked::Foreign;
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return Knocked::Free;
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            int error = errno;
            close(fd);
            if (error != EAGAIN && error != EINTR)
                return Knocked::Free;  // refused: the socket file of a copy that is gone
            // Its queue of knocking copies is full: it is there but not taking them.
            if (NowMs() >= deadlineMs) return Knocked::Silent;
            usleep(10000);
            continue;
        }
        if (!SameUser(fd)) {
            close(fd);
            return Knocked::Foreign;
        }
        std::string heard;
        for (;;) {
            int left = int(deadlineMs - NowMs());
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) == 0) {
                close(fd);
                return Knocked::Silent;
            }
            char buffer[16];
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) break;  // let go unheard (the holder is closing, or had too many): knock again
            heard.append(buffer, std::size_t(n));
            if (heard.size() >= sizeof kGreeting - 1) {
                if (heard.compare(0, sizeof kGreeting - 1, kGreeting) != 0) {
                    close(fd);
                    return Knocked::Foreign;
                }
                *fdOut = fd;
                return Knocked::Answered;
            }
        }
        close(fd);
        if (NowMs() >= deadlineMs) return Knocked::Silent;
        usleep(10000);
    }
}

// Holds the lock file beside the socket while it lives (released on every path out, and by the
// kernel if the process dies). A copy holds it only for a few system calls: wait for it until
// `deadlineMs`, not longer.
struct ClaimLock {
    int fd = -1;
    bool locked = false;
    ClaimLock(const std::string &path, std::int64_t deadlineMs) {
        fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return;
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                return;
            }
            if (NowMs() >= deadlineMs) return;
            usleep(5000);
        }
    }
    ~ClaimLock() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

std::string IdentityPath(const std::u16string &className, const std::u16string &title) {
    std::string dir = RuntimeDir();
    if (dir.empty()) return "";
    std::string identity = Utf8(className) + '\n' + Utf8(title);
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : identity) hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/cadenzo-%016llx.sock", (unsigned long long)hash);
    return dir + name;
}

void StartWatcher() {
    if (watcher.thread.joinable()) return;
    if (pipe2(watcher.wake, O_CLOEXEC | O_NONBLOCK) != 0) return;
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    // Closing the terminal, Ctrl+C and a request to end all end the program as its Exit does. The
    // handler stays: a second signal while the program closes asks again and cannot cut the save short.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
    watcher.stop = false;
    watcher.thread = std::thread(Watch);
}

void StopWatcher() {
    if (!watcher.thread.joinable()) return;
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
    if (watcher.thread.joinable()) Wake();
}

void ReleaseIdentities() {
    std::lock_guard<std::mutex> lock(heldMutex);
    for (auto &[path, fd] : held) {
        // A copy starting now sees either this one answering or no socket; a copy stuck holding the
        // lock does not hold this one's end up.
        ClaimLock claim(path, NowMs() + 50);
        unlink(path.c_str());
        close(fd);
    }
    held.clear();
    for (auto &[path, fd] : found)
        if (fd >= 0) close(fd);
    found.clear();
}

}  // namespace sdlhost

bool host::ClaimOrFind(const std::u16string &className, const std::u16string &title) {
    using namespace sdlhost;
    std::string path = IdentityPath(className, title);
    // No folder to meet other copies in: this copy cannot tell whether another runs, and ends as if
    // one did rather than risk a second window (it has said why).
    if (path.empty()) return true;
    std::lock_guard<std::mutex> lock(heldMutex);
    if (held.count(path)) return false;  // this copy already holds it
    std::int64_t deadline = NowMs() + kAnswerMs;
    int fd = -1;
    Knocked knocked = Knock(path, deadline, &fd);
    std::optional<ClaimLock> claim;
    if (knocked == Knocked::Free) {
        // Nobody there: claim it under the lock, knocking once more in case a copy just did.
        claim.emplace(path, deadline);
        knocked = claim->locked ? Knock(path, deadline, &fd) : Knocked::Silent;
    }
    switch (knocked) {
    case Knocked::Answered:
        if (found.count(path) && found[path] >= 0) close(found[path]);
        found[path] = fd;
        Trace("copy found %s", path.c_str());
        return true;
    case Knocked::Silent:
        claim.reset();
        found[path] = -1;
        Say("another copy is running but does not answer; this one ends");
        return true;
    case Knocked::Foreign:
        Say("not trusting %s (not a socket of this user's copies); this copy runs on its own", path.c_str());
        return false;
    case Knocked::Free: break;
    }
    // Take the identity (a file left by a copy that crashed is replaced).
    unlink(path.c_str());
    sockaddr_un address;
    if (!MakeAddress(path, &address)) return false;
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, SOMAXCONN) != 0) {
        Say("cannot listen at %s (%s); this copy runs on its own", path.c_str(), std::strerror(errno));
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
    std::lock_guard<std::mutex> lock(heldMutex);
    if (path.empty() || held.count(path)) return false;
    int fd = -1;
    auto known = found.find(path);
    if (known != found.end()) {
        fd = known->second;  // the connection the search made, or -1: that copy did not answer
        found.erase(known);
    } else if (Knock(path, NowMs() + kAnswerMs, &fd) != Knocked::Answered) {
        Trace("copy asked to the front: nobody answers");
        return false;
    }
    if (fd < 0) return false;
    bool sent = send(fd, kForegroundRequest, sizeof kForegroundRequest - 1, MSG_NOSIGNAL | MSG_DONTWAIT) ==
                ssize_t(sizeof kForegroundRequest - 1);
    close(fd);
    Trace("copy asked to the front: %s", sent ? "sent" : "failed");
    if (sent)
        Say("Cadenzo is already running; its window was brought to the front");
    else
        Say("Cadenzo is already running; it did not take the request to come to the front");
    return sent;
}
