// Files, the module's file name, and the host's paths in the platform's form.
//
// Implements: GetModuleFileNameW (a short path of the platform's own, \Program Files\Cadenzo\Cadenzo.exe,
// whose folder is the host's program folder), CreateFileW (names in that folder mapped to the host
// folder, other paths read as host paths with '\' separators: \home\a\f is /home/a/f; OPEN_ALWAYS,
// CREATE_ALWAYS, OPEN_EXISTING, CREATE_NEW, TRUNCATE_EXISTING; GENERIC_READ and GENERIC_WRITE),
// ReadFile, WriteFile, SetFilePointer, SetEndOfFile, CloseHandle, GetLastError.
// Host paths and the platform's form map both ways without loss: a host byte that is not part of valid
// UTF-8, and a '\' inside a host name, stand as the lone surrogate U+DC00 + that byte; the host folder
// behind the program's folder is joined as bytes. A name of MAX_PATH characters or more is refused, never cut.
// Only regular files open: a directory, a device or a pipe in a file's place fails as access denied,
// and opening never blocks. A symbolic link in a file's place is followed only to a regular file the
// user owns (a link to another user's file or to nothing is refused, and nothing is created for it), and
// a file the user may write but not read is not opened for writing (what it holds never reached the
// program, so it is not replaced). Each such refusal is one line on standard error.
// Leaves out: sharing modes (files are not locked), attributes, overlapped I/O.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

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
void SayRefused(const std::string &path, const char *why) {
    static std::unordered_set<std::string> said;
    if (said.insert(path + why).second)
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, path.c_str(), why);
}

struct File {
    std::uint32_t magic = kFileMagic;
    int fd = -1;
    bool canRead = false, canWrite = false;
};

std::unordered_set<File *> g_files;
DWORD g_lastError = 0;

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
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_INVALID_PARAMETER;
    }
}

// Opens host `path` with `flags` (O_TRUNC aside). A symbolic link in the file's place is followed only
// to an existing regular file the user owns; opening for writing asks for reading too, so a file the
// user cannot read is never written. -1 with the platform's error in g_lastError when it does not open.
int OpenChecked(const std::string &path, int flags) {
    std::string target = path;
    int fd = open(path.c_str(), flags | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == ELOOP) {
        char *real = realpath(path.c_str(), nullptr);
        if (!real) {
            SayRefused(path, "a link that leads to no file: not followed, nothing created");
            g_lastError = ERROR_ACCESS_DENIED;
            return -1;
        }
        target = real;
        std::free(real);
        fd = open(target.c_str(), (flags & ~(O_CREAT | O_EXCL)) | O_NOFOLLOW);
        struct stat st;
        if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_uid != geteuid())) {
            close(fd);
            SayRefused(path, "a link to a file another user owns: left as it is");
            g_lastError = ERROR_ACCESS_DENIED;
            return -1;
        }
    }
    if (fd < 0) {
        int e = errno;
        if (e == EACCES && (flags & O_ACCMODE) == O_RDWR &&
            faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 &&
            faccessat(AT_FDCWD, target.c_str(), R_OK, AT_EACCESS) != 0)
            SayRefused(path, "cannot be read, so it is not written either: what it holds is kept");
        g_lastError = ErrorFromErrno(e);
    }
    return fd;
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
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (write ? O_RDWR : O_RDONLY);
    bool truncate = false;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS:
        flags |= O_CREAT;
        truncate = true;
        break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: truncate = true; break;
    default: g_lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
    }
    if (truncate && !write) {  // cutting a file is writing it
        g_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    int fd = OpenChecked(path, flags);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    // Only regular files: a directory, device or pipe under the name is refused. The file is cut only
    // once it is known to be one the program may replace.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (truncate && ftruncate(fd, 0) != 0)) {
        close(fd);
        g_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto *f = new File;
    f->fd = fd;
    f->canRead = read;
    f->canWrite = write;
    g_files.insert(f);
    g_lastError = 0;
    return f;
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
            g_lastError = ErrorFromErrno(errno);
            if (read) *read = total;
            return FALSE;
        }
        if (n == 0) break;
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
    DWORD total = 0;
    while (total < toWrite) {
        ssize_t n = ::write(f->fd, static_cast<const char *>(buffer) + total, toWrite - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            g_lastError = ErrorFromErrno(errno);
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
    off_t pos = lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(f->fd, pos) != 0) {
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
    close(f->fd);
    g_files.erase(f);
    delete f;
    return TRUE;
}
