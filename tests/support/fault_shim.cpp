// A preloaded library that makes chosen file calls fail, for tests and benchmarks of what a program
// does when its files fail: LD_PRELOAD=libfault_shim.so with
//   FAULT_SHIM_MATCH   the calls on paths holding this text are watched (default "Cadenzo.ini"); a
//                      call on a descriptor is matched by the path the descriptor was opened with
//   FAULT_SHIM_CALL    open, read, write, ftruncate, fsync or rename: that call fails ...
//   FAULT_SHIM_ERRNO   ... with this error (ENOSPC, EIO, EDQUOT, EMFILE, ENOMEM, EACCES or a number)
//   FAULT_SHIM_NTH     ... only its Nth watched call from the start (1 = the first; default: every one)
//   FAULT_SHIM_KILL_AT the process kills itself (SIGKILL) just before its Nth watched call of any kind
//   FAULT_SHIM_LOG     a file that gets one line per watched call: "N CALL PATH"
// Calls made inside the C library itself (its own stdio writes) are not seen, only the program's.

// The hardened build's fortified headers define read() inline; this file defines the real symbol.
#undef _FORTIFY_SOURCE

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int counter = 0;    // watched calls so far, of any kind
int callCount = 0;  // watched calls of the failing kind so far

const char *Env(const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

int ErrorNumber(const char *name) {
    struct Known {
        const char *name;
        int value;
    };
    static const Known known[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EDQUOT", EDQUOT},
                                  {"EMFILE", EMFILE}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}};
    for (const Known &k : known)
        if (std::strcmp(k.name, name) == 0) return k.value;
    int value = std::atoi(name);
    return value > 0 ? value : EIO;
}

bool Watched(const char *path) {
    if (!path) return false;
    const char *match = Env("FAULT_SHIM_MATCH");
    return std::strstr(path, match ? match : "Cadenzo.ini") != nullptr;
}

// The path descriptor `fd` was opened with ("" when unknown).
void FdPath(int fd, char *out, std::size_t size) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = 0;
}

// Counts a watched call; true when it is to fail (errno is then set).
bool Fails(const char *call, const char *path) {
    if (!Watched(path)) return false;
    ++counter;
    if (const char *log = Env("FAULT_SHIM_LOG")) {
        int saved = errno;
        if (FILE *f = std::fopen(log, "a")) {
            std::fprintf(f, "%d %s %s\n", counter, call, path);
            std::fclose(f);
        }
        errno = saved;
    }
    if (const char *kill = Env("FAULT_SHIM_KILL_AT"))
        if (std::atoi(kill) == counter) raise(SIGKILL);
    const char *failing = Env("FAULT_SHIM_CALL");
    if (!failing || std::strcmp(failing, call) != 0) return false;
    ++callCount;
    const char *nth = Env("FAULT_SHIM_NTH");
    if (nth && std::atoi(nth) != callCount) return false;
    const char *error = Env("FAULT_SHIM_ERRNO");
    errno = ErrorNumber(error ? error : "EIO");
    return true;
}

bool FdFails(const char *call, int fd) {
    char path[4096];
    FdPath(fd, path, sizeof path);
    return Fails(call, path);
}

template <typename F>
F Next(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// Declares `mode`: the argument after `flags` that the open calls take only when they may create a
// file (read in the variadic call itself, where the arguments are).
#define READ_MODE_AFTER(flags)                                                                                         \
    mode_t mode = 0;                                                                                                   \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                                             \
        va_list args;                                                                                                  \
        va_start(args, flags);                                                                                         \
        mode = mode_t(va_arg(args, int));                                                                              \
        va_end(args);                                                                                                  \
    }

extern "C" {

int open(const char *path, int flags, ...) {
    READ_MODE_AFTER(flags);
    if (Fails("open", path)) return -1;
    static auto next = Next<int (*)(const char *, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char *path, int flags, ...) {
    READ_MODE_AFTER(flags);
    if (Fails("open", path)) return -1;
    static auto next = Next<int (*)(const char *, int, ...)>("open64");
    return next(path, flags, mode);
}

int openat(int dir, const char *path, int flags, ...) {
    READ_MODE_AFTER(flags);
    if (Fails("open", path)) return -1;
    static auto next = Next<int (*)(int, const char *, int, ...)>("openat");
    return next(dir, path, flags, mode);
}

int __open_2(const char *path, int flags) {
    if (Fails("open", path)) return -1;
    static auto next = Next<int (*)(const char *, int)>("__open_2");
    return next(path, flags);
}

int __openat_2(int dir, const char *path, int flags) {
    if (Fails("open", path)) return -1;
    static auto next = Next<int (*)(int, const char *, int)>("__openat_2");
    return next(dir, path, flags);
}

ssize_t read(int fd, void *buffer, size_t size) {
    if (FdFails("read", fd)) return -1;
    static auto next = Next<ssize_t (*)(int, void *, size_t)>("read");
    return next(fd, buffer, size);
}

ssize_t write(int fd, const void *buffer, size_t size) {
    if (FdFails("write", fd)) return -1;
    static auto next = Next<ssize_t (*)(int, const void *, size_t)>("write");
    return next(fd, buffer, size);
}

int ftruncate(int fd, off_t length) {
    if (FdFails("ftruncate", fd)) return -1;
    static auto next = Next<int (*)(int, off_t)>("ftruncate");
    return next(fd, length);
}

int fsync(int fd) {
    if (FdFails("fsync", fd)) return -1;
    static auto next = Next<int (*)(int)>("fsync");
    return next(fd);
}

int fdatasync(int fd) {
    if (FdFails("fsync", fd)) return -1;
    static auto next = Next<int (*)(int)>("fdatasync");
    return next(fd);
}

int rename(const char *from, const char *to) {
    if (Fails("rename", to)) return -1;
    static auto next = Next<int (*)(const char *, const char *)>("rename");
    return next(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to) {
    if (Fails("rename", to)) return -1;
    static auto next = Next<int (*)(int, const char *, int, const char *)>("renameat");
    return next(fromDir, from, toDir, to);
}

}  // extern "C"
