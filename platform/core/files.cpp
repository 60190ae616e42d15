// Files, the module's file name, and the host's paths in the platform's form.
//
// Implements: GetModuleFileNameW (a short path of the platform's own, \Program Files\Cadenzo\Cadenzo.exe,
// whose folder is the host's program folder), CreateFileW (names in that folder mapped to the host
// folder, other paths read as host paths with '\' separators: \home\a\f is /home/a/f; OPEN_ALWAYS,
// CREATE_ALWAYS, OPEN_EXISTING, CREATE_NEW, TRUNCATE_EXISTING; GENERIC_READ and GENERIC_WRITE),
// ReadFile, WriteFile, SetFilePointer, SetEndOfFile, CloseHandle, GetLastError.
// Only regular files open: a directory, a device or a pipe in a file's place fails as access denied,
// and opening never blocks. Leaves out: sharing modes (files are not locked), attributes, overlapped I/O.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>
#include <unordered_set>

#include "core.h"

namespace core {
namespace {

constexpr std::uint32_t kFileMagic = 0x46494C45;

// The executable as the program sees it; its folder stands for host::ProgramFolder().
constexpr char16_t kModuleName[] = u"\\Program Files\\Cadenzo\\Cadenzo.exe";
constexpr std::size_t kModuleFolderLength = std::u16string_view(kModuleName).rfind(u'\\') + 1;

// The host path for a name of the platform's: in the program's folder (compared as the platform
// does, ignoring case), the rest of the name under the host's program folder.
std::string HostPath(std::u16string name) {
    bool inFolder = name.size() > kModuleFolderLength;
    for (std::size_t i = 0; inFolder && i < kModuleFolderLength; ++i) {
        char16_t a = name[i], b = kModuleName[i];
        inFolder = a == b || (a < 128 && b < 128 && std::tolower(a) == std::tolower(b));
    }
    if (inFolder) name.replace(0, kModuleFolderLength, FromUtf8(host::ProgramFolder() + "/"));
    for (auto &c : name)
        if (c == u'\\') c = u'/';
    return ToUtf8(name);
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
    default: return ERROR_INVALID_PARAMETER;
    }
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
            c = 0xFFFD;   // a lone surrogate
        }
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
    return out;
}

std::u16string FromUtf8(const std::string &s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = std::uint8_t(s[i]);
        std::uint32_t c = 0xFFFD;
        int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + std::size_t(n) > s.size()) {
            ++i;
        } else {
            c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
            bool ok = true;
            for (int k = 1; k < n; ++k) {
                auto t = std::uint8_t(s[i + k]);
                if ((t & 0xC0) != 0x80) ok = false;
                c = (c << 6) | (t & 0x3F);
            }
            i += ok ? std::size_t(n) : 1;
            if (!ok || c > 0x10FFFF) c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
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
    std::string path = HostPath(name);
    bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default:
        g_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) {
        g_lastError = ErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    // Only regular files: a directory, device or pipe under the name is refused.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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
