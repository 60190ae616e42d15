// Other programs started by this one, and the program's folder.
//
// Implements: host::ProgramFolder, the user's $XDG_CONFIG_HOME/cadenzo (default ~/.config/cadenzo),
// made private at start-up; host::StartProcess for the help viewer only: "peghelp.exe" with
// "file:NAME#ANCHOR" opens NAME at ANCHOR in the user's browser (xdg-open), in its own session and
// never waited for (no zombie is left), its standard input and output on /dev/null. NAME is looked for where the program is installed
// (share/cadenzo/ beside the executable's bin/), then beside the executable (a build folder).
// Leaves out: every other program (StartProcess returns false for them).
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host.h"
#include "sdl_host.h"

#ifndef CADENZO_HELP_FROM_BIN
#define CADENZO_HELP_FROM_BIN "../share/cadenzo"
#endif

namespace sdlhost {

namespace {

std::u16string Lower(std::u16string text) {
    for (auto &c : text)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return text;
}

// The last part of a path written with either separator.
std::u16string BaseName(const std::u16string &path) {
    std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::string PercentEncode(const std::string &text, bool keepSlash) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.' || c == '~' || (keepSlash && c == '/');
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string FindInPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + program;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return "";
}

}  // namespace

std::string HelpUrl(const std::string &executableDir, const std::u16string &commandLine) {
    const std::u16string scheme = u"file:";
    if (commandLine.size() <= scheme.size() || Lower(commandLine.substr(0, scheme.size())) != scheme) return "";
    std::u16string reference = commandLine.substr(scheme.size());
    std::u16string anchor;
    std::size_t hash = reference.find(u'#');
    if (hash != std::u16string::npos) {
        anchor = reference.substr(hash + 1);
        reference = reference.substr(0, hash);
    }
    std::u16string name = BaseName(reference);
    if (name.empty() || name == u"." || name == u"..") return "";
    std::string file;
    for (const char *folder : {"/" CADENZO_HELP_FROM_BIN "/", "/"}) {
        file = executableDir + folder + Utf8(name);
        struct stat info {};
        char resolved[PATH_MAX];
        if (stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && realpath(file.c_str(), resolved)) {
            file = resolved;  // the address without bin/.. in it
            break;
        }
        file.clear();
    }
    if (file.empty()) return "";
    std::string url = "file://" + PercentEncode(file, true);
    if (!anchor.empty()) {
        url += '#';
        url += PercentEncode(Utf8(anchor), false);
    }
    return url;
}

bool LaunchDetached(const std::string &program, const std::string &argument) {
    std::string path = program.find('/') == std::string::npos ? FindInPath(program) : program;
    if (path.empty() || access(path.c_str(), X_OK) != 0) return false;
    // Everything the children need is made before fork: after it only async-signal-safe calls.
    std::vector<char *> argv{const_cast<char *>(path.c_str()), const_cast<char *>(argument.c_str()), nullptr};
    int status[2];  // the grandchild reports a failed exec here; a successful one closes it
    if (pipe2(status, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(status[0]);
        close(status[1]);
        return false;
    }
    if (child == 0) {
        // The child starts a session and leaves at once; its child, orphaned, is the program.
        close(status[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // What the browser says goes nowhere: not onto our standard output or error.
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            if (devnull > 2) close(devnull);
        }
        signal(SIGPIPE, SIG_DFL);                  // ignored by us; the browser gets the default
        close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);  // nothing of ours leaks into the browser
        execv(argv[0], argv.data());
        int error = errno;
        ssize_t written = write(status[1], &error, sizeof error);
        (void)written;
        _exit(127);
    }
    close(status[1]);
    int childStatus = 0;
    while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = read(status[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(status[0]);
    return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0 && got == 0;
}

}  // namespace sdlhost

std::string sdlhost::ConfigFolder() {
    // A relative $XDG_CONFIG_HOME is to be ignored, as an unset one.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/cadenzo";
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd *user = getpwuid(getuid());
        home = user && user->pw_dir ? user->pw_dir : "";
    }
    return std::string(home) + "/.config/cadenzo";
}

bool sdlhost::MakeConfigFolder(std::string *error) {
    std::string folder = ConfigFolder();
    // Each missing folder on the way is made private to the user, as the folder itself.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot make " + part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = folder + " is not a folder";
        return false;
    }
    return true;
}

std::string host::ProgramFolder() { return sdlhost::ConfigFolder(); }

std::string sdlhost::ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "";
    return std::string(buffer, std::size_t(length));
}

bool host::StartProcess(const std::u16string &application, const std::u16string &commandLine) {
    using namespace sdlhost;
    if (Lower(BaseName(application)) != u"peghelp.exe") return false;
    std::string module = ExecutablePath();
    std::size_t slash = module.rfind('/');
    if (slash == std::string::npos) return false;
    std::string url = HelpUrl(module.substr(0, slash), commandLine);
    if (url.empty()) return false;
    bool started = LaunchDetached("xdg-open", url);
    Trace("process peghelp.exe %s %s", url.c_str(), started ? "started" : "failed");
    return started;
}
