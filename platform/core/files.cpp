// Files, the module's file name, and the host's paths in the platform's form.
//
// Implements: GetModuleFileNameW (a short path of the platform's own, \Program Files\Cadenzo\Cadenzo.exe,
// whose folder is the host's program folder), CreateFileW (names in that folder mapped to the host
// folder, other paths read as host paths with '\' separators: \home\a\f is /home/a/f; OPEN_ALWAYS,
// CREATE_ALWAYS, OPEN_EXISTING, CREATE_NEW, TRUNCATE_EXISTING; GENERIC_READ and GENERIC_WRITE),
// ReadFile, WriteFile, SetFilePointer, SetEndOfFile, CloseHandle, GetLastError.
// A file opened for writing is never changed in place: the handle writes a new file beside it, and
// CloseHandle puts that in the file's place only when every write succeeded, after it is on the disk
// (written, synced, renamed over the file, the folder synced). Any failure leaves the file byte for
// byte as it was and says so in one line on standard error; a process killed at any point leaves the
// old file or the new one, never a mix (and a new file of a copy that died is removed later).
// Host paths and the platform's form map both ways without loss: a host byte that is not part of valid
// UTF-8, and a '\' inside a host name, stand as the lone surrogate U+DC00 + that byte; the host folder
// behind the program's folder is joined as bytes. A name of MAX_PATH characters or more is refused, never cut.
// Only regular files open: a directory, a device or a pipe in a file's place fails as access denied,
// and opening never blocks. A symbolic link on the way is followed only when it is the user's (or the
// system's) and no folder on the whole way is one another user could change, and only to a regular file
// the user owns (a link to another user's file or to nothing is refused, and nothing is created for
// it). A file with other names (hard links) that another user owns is refused. A file the user may
// write but not read, or whose reading failed by an error (not "no such file"), is not opened for
// writing: what it holds never reached the program, so it is not replaced. Each such refusal is one
// line on standard error.
// Leaves out: sharing modes (files are not locked), attributes, overlapped I/O.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core.h"

namespace core {
namespace {

constexpr std::uint32_t kFileMagic = 0x46494C45;

// The executable as the program sees it; its folder stands for host::ProgramFolder().
constexpr char16_t kModuleName[] = u"\\Program Files\\Cadenzo\\Cadenzo.exe";
constexpr std::size_t kModuleFolderLength = std::u16string_view(kModuleName).rfind(u'\\') + 1;

// A host byte shown as itself cannot be: U+DC00 + the byte stands for it.
constexpr std::uint32_t kEscape = 0xDC00;

void AppendUtf8(std::string &out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::u16string &out, std::uint32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(char16_t(c));
    }
}

// The length of the well-formed UTF-8 sequence at s[i], its code point in *c; 0 when the bytes there
// are not one (a stray or cut-off byte, an overlong form, a surrogate, a value past U+10FFFF).
int DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t *c) {
    auto b = std::uint8_t(s[i]);
    if (b < 0x80) {
        *c = b;
        return 1;
    }
    int n = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + std::size_t(n) > s.size()) return 0;
    std::uint32_t v = b & (0x7F >> n);
    for (int k = 1; k < n; ++k) {
        auto t = std::uint8_t(s[i + std::size_t(k)]);
        if ((t & 0xC0) != 0x80) return 0;
        v = (v << 6) | (t & 0x3F);
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (v < kSmallest[n] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *c = v;
    return n;
}

// The host bytes of a name of the platform's, '\' as '/' and each escape as its byte. False for a
// lone surrogate that is no escape: it names no host file.
bool HostBytes(std::u16string_view name, std::string *out) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint32_t c = name[i];
        if (c == u'\\') {
            out->push_back('/');
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (c == kEscape + '\\' || (c >= kEscape + 0x80 && c <= kEscape + 0xFF)) {
            out->push_back(char(c - kEscape));
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        }
        AppendUtf8(*out, c);
    }
    return true;
}

// One line on standard error, the first time only: a file the platform would not open, and why.
void SayRefused(const std::string &path, const std::string &why) {
    static std::unordered_set<std::string> said;
    if (said.insert(path + why).second)
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, path.c_str(), why.c_str());
}

// A handle. A reader works on the file itself. A writer works on a new file beside it (`temp`, holding
// a copy of the file unless the file is being replaced) and the file is replaced by it at CloseHandle,
// only when every write succeeded and it is on the disk: the file holds either what it held or all
// that was written, whatever fails and whenever the process dies.
struct File {
    std::uint32_t magic = kFileMagic;
    int fd = -1;
    bool canRead = false, canWrite = false;
    std::string path;        // the host path as given, for messages
    std::string target;      // the file replaced at CloseHandle (a link's target, never the link)
    std::string temp;        // the new contents; "" for a reader
    bool changed = false;    // something was written or cut: the file is replaced at close
    int failure = 0;         // errno of the first write that failed: the file is then left as it was
    bool keepOwner = false;  // the file existed: its new contents get its mode and owner
    struct stat was {};
};

std::unordered_set<File *> g_files;
DWORD g_lastError = 0;
// Host paths whose reading failed by an error (not "no such file"): the program never saw what they
// hold, so they are not replaced until a later read succeeds.
std::unordered_map<std::string, int> g_unread;

File *FileFrom(HANDLE h) {
    auto *f = static_cast<File *>(h);
    return f && g_files.count(f) ? f : nullptr;
}

DWORD ErrorFromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR: return ERROR_FILE_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EIO: return ERROR_WRITE_FAULT;
    default: return ERROR_INVALID_PARAMETER;
    }
}

void MarkUnread(const std::string &path, int error) { g_unread[path] = error; }

// Whether another user could change what name `entry` in `folder` leads to: the folder is open to
// others' writing, is not the user's, and is not a sticky folder (as /tmp) where only an entry's owner
// may move it and the entry is the user's or the system's.
bool OthersCanChange(const struct stat &folder, const struct stat &entry) {
    uid_t me = geteuid();
    if (!(folder.st_mode & (S_IWGRP | S_IWOTH)) || folder.st_uid == me) return false;
    bool sticky = (folder.st_mode & S_ISVTX) && (folder.st_uid == 0 || folder.st_uid == me);
    return !(sticky && (entry.st_uid == me || entry.st_uid == 0));
}

// Where `path` leads: the path of the file itself, no link in it (*target), and whether it is there
// (*exists). Every symbolic link on the way, in a folder or in the file's place, is followed only
// when it is the user's own (or the system's) and no folder on the whole way is one another user
// could change; otherwise "" is returned with *why, and nothing may be opened or created for it.
// A path that cannot be walked (a folder missing, not searchable) is given back as it is: opening it
// fails the same way.
bool Resolve(const std::string &path, std::string *target, bool *exists, bool *viaLink, std::string *why) {
    *exists = true;
    *viaLink = false;
    std::vector<std::string> pending;  // components still to walk, the next one last
    auto push = [&pending](const std::string &text) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t slash = text.find('/', start);
            if (slash == std::string::npos) slash = text.size();
            if (slash > start) parts.push_back(text.substr(start, slash - start));
            start = slash + 1;
        }
        pending.insert(pending.end(), parts.rbegin(), parts.rend());
    };
    push(path);
    std::string current;  // the folder reached, "" for the root
    if (path.empty() || path[0] != '/') {
        char *cwd = getcwd(nullptr, 0);
        if (!cwd) {
            *target = path;
            return true;
        }
        std::vector<std::string> rest;
        rest.swap(pending);
        push(cwd);
        std::free(cwd);
        pending.insert(pending.begin(), rest.begin(), rest.end());
    }
    struct stat folder {};
    if (lstat("/", &folder) != 0) {
        *target = path;
        return true;
    }
    bool changeable = false;
    int links = 0;
    while (!pending.empty()) {
        std::string part = pending.back();
        pending.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            current = current.substr(0, current.rfind('/') == std::string::npos ? 0 : current.rfind('/'));
            if (lstat(current.empty() ? "/" : current.c_str(), &folder) != 0) break;
            continue;
        }
        std::string next = current + "/" + part;
        struct stat entry {};
        if (lstat(next.c_str(), &entry) != 0) {
            if (errno == ENOENT && pending.empty()) {
                *exists = false;
                current = next;
                if (*viaLink) {
                    *why = "a link that leads to no file: not followed, nothing created";
                    return false;
                }
                break;
            }
            *target = path;  // opening it meets the same error
            return true;
        }
        changeable = changeable || OthersCanChange(folder, entry);
        if (S_ISLNK(entry.st_mode)) {
            *viaLink = true;
            if (entry.st_uid != geteuid() && entry.st_uid != 0) {
                *why = "a link another user made: not followed";
                return false;
            }
            std::string text(PATH_MAX, '\0');
            ssize_t n = readlink(next.c_str(), text.data(), text.size());
            if (++links > 40 || n <= 0 || std::size_t(n) >= text.size()) {
                *why = "a link that leads nowhere it can be followed: not followed";
                return false;
            }
            text.resize(std::size_t(n));
            push(text);
            if (text[0] == '/') {
                current.clear();
                if (lstat("/", &folder) != 0) break;
            }
            continue;
        }
        current = next;
        folder = entry;
        if (!pending.empty() && !S_ISDIR(entry.st_mode)) {
            *target = path;
            return true;
        }
    }
    if (*viaLink && changeable) {
        *why = "a link on a way other users may change: not followed";
        return false;
    }
    *target = current.empty() ? "/" : current;
    return true;
}

// The new contents of a file are written to ".NAME.PID.N.new" beside it. Such files of copies that
// are gone (killed while writing) are removed when the file is next written.
// A long name is cut in them so they stay within a name's length.
// (Built with append: GCC 12 at -O3 warns falsely about a literal + a string here.)
std::string TempName(const std::string &target) {
    std::string name(1, '.');
    name.append(target, target.rfind('/') + 1, 200);
    name.push_back('.');
    return name;
}

std::string TempPrefix(const std::string &target) { return target.substr(0, target.rfind('/') + 1) + TempName(target); }

void RemoveLeftovers(const std::string &target) {
    std::size_t slash = target.rfind('/');
    std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    std::string prefix = TempName(target);
    DIR *dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".new") != 0)
            continue;
        char *end = nullptr;
        long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '.' || pid == long(getpid()) || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        std::string full = folder + "/" + name;
        if (lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) unlink(full.c_str());
    }
    closedir(dir);
}

// Makes the file that will hold `f`'s new contents, with a copy of `source` (-1: starts empty).
// False with errno set when it cannot be made.
bool MakeTemp(File *f, int source) {
    static unsigned serial = 0;
    RemoveLeftovers(f->target);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        f->temp = TempPrefix(f->target) + std::to_string(getpid()) + "." + std::to_string(++serial) + ".new";
        // No more open to others than the file itself, even before its mode is copied at the end.
        fd = open(f->temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  f->keepOwner ? f->was.st_mode & 0777 : 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        f->temp.clear();
        return false;
    }
    f->fd = fd;
    char buffer[65536];
    for (;;) {
        if (source < 0) break;
        ssize_t n = ::read(source, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        bool copied = n >= 0;
        for (ssize_t done = 0; copied && done < n;) {
            ssize_t w = ::write(fd, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            copied = w > 0;
            done += w > 0 ? w : 0;
        }
        if (!copied) {
            int e = errno;
            close(fd);
            unlink(f->temp.c_str());
            f->temp.clear();
            f->fd = -1;
            errno = e;
            return false;
        }
        if (n == 0) break;
    }
    lseek(fd, 0, SEEK_SET);
    return true;
}

// Puts `f`'s new contents in the file's place: on the disk first, then renamed over it, then the
// folder's entry on the disk. 0, or the errno of the step that failed (the file is then as it was,
// unless only the folder could not be synced).
int Commit(File *f, bool *replaced) {
    *replaced = false;
    if (f->keepOwner) {
        if (fchmod(f->fd, f->was.st_mode & 07777) != 0) return errno;
        if (f->was.st_uid != geteuid() || f->was.st_gid != getegid()) {
            // The file's owner and group where the user may give them; else the user's own stand.
            bool kept =
                fchown(f->fd, f->was.st_uid, f->was.st_gid) == 0 || fchown(f->fd, uid_t(-1), f->was.st_gid) == 0;
            (void)kept;
        }
    }
    if (fsync(f->fd) != 0) return errno;
    int fd = f->fd;
    f->fd = -1;
    if (close(fd) != 0) return errno;
    if (rename(f->temp.c_str(), f->target.c_str()) != 0) return errno;
    *replaced = true;
    std::size_t slash = f->target.rfind('/');
    std::string folder = slash == 0 ? "/" : f->target.substr(0, slash);
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno;
    int e = fsync(dir) == 0 || errno == EINVAL || errno == ENOTSUP ? 0 : errno;
    close(dir);
    return e;
}

}  // namespace

std::string ToUtf8(const std::u16string &s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string FromUtf8(const std::string &s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t c = 0xFFFD;
        int n = DecodeUtf8(s, i, &c);
        AppendUtf16(out, n ? c : 0xFFFD);
        i += n ? std::size_t(n) : 1;
    }
    return out;
}

bool HostPath(const std::u16string &name, std::string *out) {
    out->clear();
    bool inFolder = name.size() > kModuleFolderLength;
    for (std::size_t i = 0; inFolder && i < kModuleFolderLength; ++i) {
        char16_t a = name[i], b = kModuleName[i];
        inFolder = a == b || (a < 128 && b < 128 && std::tolower(a) == std::tolower(b));
    }
    std::u16string_view rest = name;
    if (inFolder) {
        *out = host::ProgramFolder() + "/";
        rest.remove_prefix(kModuleFolderLength);
    }
    return HostBytes(rest, out);
}

bool PlatformPath(const std::string &hostPath, std::u16string *out) {
    out->clear();
    for (std::size_t i = 0; i < hostPath.size();) {
        std::uint32_t c = 0;
        int n = DecodeUtf8(hostPath, i, &c);
        if (hostPath[i] == 0) return false;
        if (hostPath[i] == '/') {
            out->push_back(u'\\');
        } else if (hostPath[i] == '\\' || n == 0) {
            out->push_back(char16_t(kEscape + std::uint8_t(hostPath[i])));
        } else {
            AppendUtf16(*out, c);
        }
        i += n ? std::size_t(n) : 1;
    }
    return out->size() < MAX_PATH;
}

}  // namespace core

using namespace core;

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

DWORD GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const std::u16string path = kModuleName;
    // Too long: the name is cut to fit and terminated, and the full size is returned.
    DWORD n = DWORD(std::min<std::size_t>(path.size(), size - 1));
    std::copy_n(path.data(), n, buffer);
    buffer[n] = 0;
    return path.size() >= size ? size : n;
}

namespace {

// Opens host `path` for CreateFileW. A missing file is made at once for a reader, and by the first
// CloseHandle for a writer (the new file appears whole); CREATE_NEW takes the name at once.
HANDLE OpenFile(const std::string &path, bool read, bool write, bool create, bool exclusive, bool truncate) {
    struct stat st {};
    if (exclusive && lstat(path.c_str(), &st) == 0) {  // the name is taken, by whatever holds it
        g_lastError = ERROR_ALREADY_EXISTS;
        return INVALID_HANDLE_VALUE;
    }
    std::string target, why;
    bool exists = true, viaLink = false;
    if (!Resolve(path, &target, &exists, &viaLink, &why)) {
        SayRefused(path, why);
        g_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (write) {
        auto unread = g_unread.find(path);
        if (unread != g_unread.end()) {
            SayRefused(path, std::string("could not be read (") + std::strerror(unread->second) +
                                 "), so it is not written either: what it holds is kept");
            g_lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!exists && !create) {
        g_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    int fd = -1;
    if (exists || !write || exclusive) {
        // Opening for writing asks for reading too, so a file the user cannot read is never written.
        int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | (write ? O_RDWR : O_RDONLY);
        if (!exists) flags |= O_CREAT | (exclusive ? O_EXCL : 0);
        fd = open(target.c_str(), flags, 0644);
        if (fd < 0) {
            int e = errno;
            if (e == EACCES && write && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 &&
                faccessat(AT_FDCWD, target.c_str(), R_OK, AT_EACCESS) != 0)
                SayRefused(path, "cannot be read, so it is not written either: what it holds is kept");
            else if (write && e != EISDIR && e != ENOENT && e != ENOTDIR)  // (no folder: said where it is made)
                SayRefused(path, std::string("cannot be written (") + std::strerror(e) + "): what it holds is kept");
            if (read && e != ENOENT && e != ENOTDIR) MarkUnread(path, e);
            g_lastError = ErrorFromErrno(e);
            return INVALID_HANDLE_VALUE;
        }
        // Only regular files: a directory, device or pipe under the name is refused.
        bool known = fstat(fd, &st) == 0;
        if (!known || !S_ISREG(st.st_mode)) {
            if (!known && read) MarkUnread(path, errno);
            close(fd);
            g_lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        const char *refused = viaLink && st.st_uid != geteuid() ? "a link to a file another user owns: left as it is"
                              : st.st_nlink > 1 && st.st_uid != geteuid()
                                  ? "another name of a file another user owns: left as it is"
                                  : nullptr;
        if (refused) {
            close(fd);
            SayRefused(path, refused);
            g_lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    auto *f = new File;
    f->canRead = read;
    f->canWrite = write;
    f->path = path;
    f->target = target;
    if (write) {
        f->keepOwner = fd >= 0;
        f->was = st;
        if (!MakeTemp(f, truncate || fd < 0 ? -1 : fd)) {
            int e = errno;
            if (fd >= 0) close(fd);
            delete f;
            SayRefused(path, std::string("cannot be written (") + std::strerror(e) + "): what it holds is kept");
            g_lastError = ErrorFromErrno(e);
            return INVALID_HANDLE_VALUE;
        }
        if (fd >= 0) close(fd);
        f->changed = truncate || !exists;  // cut or made: so it is at close, even with nothing written
    } else {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        f->fd = fd;
    }
    g_files.insert(f);
    g_lastError = 0;
    return f;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES *, DWORD disposition, DWORD, HANDLE) {
    if (!name || IS_INTRESOURCE(name) || !name[0]) {
        g_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    std::u16string platformName(name);
    if (platformName.size() >= MAX_PATH) {
        g_lastError = ERROR_FILENAME_EXCED_RANGE;
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    if (!HostPath(platformName, &path)) {
        g_lastError = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
    bool create = false, exclusive = false, truncate = false;
    switch (disposition) {
    case CREATE_NEW: create = exclusive = true; break;
    case CREATE_ALWAYS: create = truncate = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: create = true; break;
    case TRUNCATE_EXISTING: truncate = true; break;
    default: g_lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
    }
    if (truncate && !write) {  // cutting a file is writing it
        g_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    return OpenFile(path, read, write, create, exclusive, truncate);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED *) {
    if (read) *read = 0;
    File *f = FileFrom(file);
    if (!f || !f->canRead || (!buffer && toRead)) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD total = 0;
    while (total < toRead) {
        ssize_t n = ::read(f->fd, static_cast<char *>(buffer) + total, toRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (!f->canWrite) MarkUnread(f->path, errno);
            g_lastError = errno == EIO ? ERROR_READ_FAULT : ErrorFromErrno(errno);
            if (read) *read = total;
            return FALSE;
        }
        if (n == 0) {
            if (!f->canWrite) g_unread.erase(f->path);  // read to its end: what it holds is known
            break;
        }
        total += DWORD(n);
    }
    if (read) *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED *) {
    if (written) *written = 0;
    File *f = FileFrom(file);
    if (!f || !f->canWrite || (!buffer && toWrite)) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    f->changed = true;
    DWORD total = 0;
    while (total < toWrite) {
        ssize_t n = ::write(f->fd, static_cast<const char *>(buffer) + total, toWrite - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int e = n < 0 ? errno : ENOSPC;
            if (!f->failure) f->failure = e;
            g_lastError = ErrorFromErrno(e);
            if (written) *written = total;
            return FALSE;
        }
        total += DWORD(n);
    }
    if (written) *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG *distanceHigh, DWORD method) {
    File *f = FileFrom(file);
    if (!f || method > FILE_END) {
        g_lastError = ERROR_INVALID_HANDLE;
        return 0xFFFFFFFF;
    }
    std::int64_t offset = distance;
    if (distanceHigh) offset = (std::int64_t(*distanceHigh) << 32) | std::uint32_t(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t pos = lseek(f->fd, off_t(offset), whence);
    if (pos < 0) {
        g_lastError = ErrorFromErrno(errno);
        return 0xFFFFFFFF;
    }
    if (distanceHigh) *distanceHigh = LONG(std::int64_t(pos) >> 32);
    return DWORD(pos);
}

BOOL SetEndOfFile(HANDLE file) {
    File *f = FileFrom(file);
    if (!f || !f->canWrite) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    f->changed = true;
    off_t pos = lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(f->fd, pos) != 0) {
        if (!f->failure) f->failure = errno;
        g_lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    File *f = FileFrom(handle);
    if (!f) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    g_files.erase(f);
    int error = 0;
    bool replaced = false;
    if (f->temp.empty()) {
        close(f->fd);
    } else if (!f->changed || f->failure) {
        close(f->fd);
        unlink(f->temp.c_str());
        error = f->failure;
    } else {
        error = Commit(f, &replaced);
        if (error && !replaced) {
            if (f->fd >= 0) close(f->fd);
            unlink(f->temp.c_str());
        }
    }
    if (error) {
        SayRefused(f->path,
                   replaced ? std::string("written, but its folder could not be synced (") + std::strerror(error) +
                                  "): a power cut may still undo it"
                            : std::string("not saved (") + std::strerror(error) + "): it holds what it held before");
        g_lastError = ErrorFromErrno(error);
    }
    delete f;
    return error ? FALSE : TRUE;
}
