// Files the user keeps safe: links in a file's place, files that cannot be read, and host folder names
// the platform's form must carry without loss (a '\' inside a name, bytes that are not UTF-8, length).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core.h"

namespace {

constexpr uid_t kOtherUser = 65534;

std::string TempDir() {
    char pattern[] = "/tmp/cadenzo-safety-XXXXXX";
    return mkdtemp(pattern);
}

std::u16string Platform(const std::string &host) {
    std::u16string out;
    EXPECT_TRUE(core::PlatformPath(host, &out)) << host;
    return out;
}

void Store(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool IsLink(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

HANDLE Open(const std::string &host, DWORD access, DWORD disposition) {
    return CreateFileW(Platform(host).c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The settings save as the program does it: open, write the record, cut the file after it.
bool SaveRecord(const std::string &host, const std::string &record) {
    HANDLE f = Open(host, GENERIC_WRITE, OPEN_ALWAYS);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(f, record.data(), DWORD(record.size()), &written, nullptr) && SetEndOfFile(f);
    CloseHandle(f);
    return ok;
}

TEST(FileSafety, ALinkToTheUsersOwnFileIsReadAndWrittenThroughAndStaysALink) {
    std::string dir = TempDir();
    Store(dir + "/kept.ini", "0123456789");
    ASSERT_EQ(symlink((dir + "/kept.ini").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    HANDLE f = Open(dir + "/Cadenzo.ini", GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char buffer[16];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(f, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "0123456789");
    CloseHandle(f);
    EXPECT_TRUE(SaveRecord(dir + "/Cadenzo.ini", "seven!!"));
    EXPECT_TRUE(IsLink(dir + "/Cadenzo.ini"));
    EXPECT_EQ(Contents(dir + "/kept.ini"), "seven!!");
    // Replacing the file through the link replaces the target's contents, not the link.
    f = Open(dir + "/Cadenzo.ini", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    EXPECT_TRUE(IsLink(dir + "/Cadenzo.ini"));
    EXPECT_EQ(Contents(dir + "/kept.ini"), "");
}

TEST(FileSafety, ALinkToNothingIsNotFollowedAndNothingIsCreated) {
    std::string dir = TempDir();
    ASSERT_EQ(symlink((dir + "/elsewhere.ini").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    for (DWORD disposition : {DWORD(OPEN_ALWAYS), DWORD(CREATE_ALWAYS), DWORD(OPEN_EXISTING)}) {
        EXPECT_EQ(Open(dir + "/Cadenzo.ini", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE) << disposition;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << disposition;
    }
    EXPECT_EQ(Open(dir + "/Cadenzo.ini", GENERIC_READ, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(access((dir + "/elsewhere.ini").c_str(), F_OK), -1) << "the link's target was created";
    EXPECT_TRUE(IsLink(dir + "/Cadenzo.ini"));
    EXPECT_EQ(Open(dir + "/Cadenzo.ini", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << "the name is taken, by the link";
}

TEST(FileSafety, ALinkToAFileAnotherUserOwnsLeavesThatFileAsItIs) {
    if (geteuid() != 0) GTEST_SKIP() << "making a file another user owns needs root";
    std::string dir = TempDir();
    ASSERT_EQ(mkdir((dir + "/theirs").c_str(), 0777), 0);
    const std::string target = dir + "/theirs/notes.txt", stored = "someone else's notes, 37 bytes long\n";
    Store(target, stored);
    ASSERT_EQ(chown(target.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(symlink(target.c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    for (DWORD disposition : {DWORD(OPEN_ALWAYS), DWORD(CREATE_ALWAYS), DWORD(TRUNCATE_EXISTING)}) {
        EXPECT_EQ(Open(dir + "/Cadenzo.ini", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE) << disposition;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << disposition;
    }
    EXPECT_EQ(Open(dir + "/Cadenzo.ini", GENERIC_READ, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SaveRecord(dir + "/Cadenzo.ini", "seven!!"));
    EXPECT_EQ(Contents(target), stored);
    // The file itself, named directly, is not a link and opens as before.
    HANDLE f = Open(target, GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
}

// Links anywhere on the way, not only in the file's place: the user's own link to a folder (as a
// config folder kept elsewhere) is followed, relative or not, and the file it leads to is replaced
// with the links left as links; a link another user made, or one in a folder another user may
// change, is not followed and nothing is made where it leads.
TEST(FileSafety, LinksOnTheWayAreFollowedOnlyWhenNoOtherUserCouldHaveMadeOrMovedThem) {
    std::string dir = TempDir();
    ASSERT_EQ(mkdir((dir + "/real").c_str(), 0700), 0);
    ASSERT_EQ(symlink((dir + "/real").c_str(), (dir + "/via").c_str()), 0);
    ASSERT_EQ(symlink("../via/kept.ini", (dir + "/real/Cadenzo.ini").c_str()), 0);
    Store(dir + "/real/kept.ini", "old");
    EXPECT_TRUE(SaveRecord(dir + "/via/Cadenzo.ini", "seven!!"));
    EXPECT_EQ(Contents(dir + "/real/kept.ini"), "seven!!");
    EXPECT_TRUE(IsLink(dir + "/via"));
    EXPECT_TRUE(IsLink(dir + "/real/Cadenzo.ini"));

    if (geteuid() != 0) GTEST_SKIP() << "links and folders of another user need root";
    ASSERT_EQ(symlink((dir + "/real").c_str(), (dir + "/theirs").c_str()), 0);
    ASSERT_EQ(lchown((dir + "/theirs").c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(Open(dir + "/theirs/new.ini", GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(dir + "/theirs/kept.ini", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SaveRecord(dir + "/theirs/kept.ini", "changed"));
    EXPECT_EQ(Contents(dir + "/real/kept.ini"), "seven!!");
    EXPECT_EQ(access((dir + "/real/new.ini").c_str(), F_OK), -1) << "made through another user's link";

    // The user's own link, in a folder another user owns and anyone may write.
    ASSERT_EQ(mkdir((dir + "/open").c_str(), 0777), 0);
    ASSERT_EQ(chmod((dir + "/open").c_str(), 0777), 0);
    ASSERT_EQ(chown((dir + "/open").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(symlink((dir + "/real/kept.ini").c_str(), (dir + "/open/Cadenzo.ini").c_str()), 0);
    EXPECT_FALSE(SaveRecord(dir + "/open/Cadenzo.ini", "changed"));
    EXPECT_EQ(Contents(dir + "/real/kept.ini"), "seven!!");
    // A plain file there, no link on the way, is written as any file is.
    EXPECT_TRUE(SaveRecord(dir + "/open/plain.ini", "seven!!"));
    EXPECT_EQ(Contents(dir + "/open/plain.ini"), "seven!!");
}

// A file the user may write but not read: opening it for writing fails and what it holds is kept.
// Root reads every file, so as root the check runs in a child that has become another user.
TEST(FileSafety, AFileThatCannotBeReadIsNotWritten) {
    std::string dir = TempDir();
    const std::string path = dir + "/Cadenzo.ini", stored = std::string("\x50\x01\x03\x02\x03\x00\x00", 7);
    Store(path, stored);
    ASSERT_EQ(chmod(path.c_str(), 0200), 0);
    bool asRoot = geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(chown(dir.c_str(), kOtherUser, kOtherUser), 0);
        ASSERT_EQ(chown(path.c_str(), kOtherUser, kOtherUser), 0);
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (asRoot && (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)) _exit(10);
        int failures = 0;
        for (DWORD disposition : {DWORD(OPEN_ALWAYS), DWORD(CREATE_ALWAYS), DWORD(TRUNCATE_EXISTING)}) {
            HANDLE f = Open(path, GENERIC_WRITE, disposition);
            failures += f == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
        }
        failures += !SaveRecord(path, "defaults");
        // A new file beside it is still created and written.
        failures += SaveRecord(dir + "/new.ini", "seven!!");
        _exit(failures == 5 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not become another user; 1: a refusal or the new file went wrong";
    EXPECT_EQ(Contents(path), stored);
    EXPECT_EQ(Contents(dir + "/new.ini"), "seven!!");
}

TEST(HostPaths, EveryHostPathRoundTripsThroughThePlatformsForm) {
    const std::string paths[] = {
        "/home/a/Cadenzo.ini",
        "/tmp/back\\slash/x",                           // a '\' inside a name
        "/tmp/caf\xe9/x",                               // Latin-1, not UTF-8
        "/tmp/\xc3\xa9t\xc3\xa9/\xf0\x9d\x84\x9e",      // UTF-8, also outside the basic plane
        "/tmp/\xc0\xaf/\xed\xa0\x80/\xf4\x90\x80\x80",  // an overlong '/', a surrogate, past U+10FFFF
        "/tmp/\xe2\x82/\x80",                           // a cut-off sequence
    };
    for (const std::string &host : paths) {
        std::u16string shown;
        ASSERT_TRUE(core::PlatformPath(host, &shown)) << host;
        std::string back;
        ASSERT_TRUE(core::HostPath(shown, &back)) << host;
        EXPECT_EQ(back, host);
    }
    std::u16string shown;
    core::PlatformPath("/a\\b/c\xe9", &shown);
    EXPECT_EQ(shown, std::u16string(u"\\a\xdc5c"
                                    u"b\\c\xdce9"));
    core::PlatformPath("/\xc3\xa9", &shown);
    EXPECT_EQ(shown, u"\\\u00e9") << "valid UTF-8 is shown as its characters";
}

TEST(HostPaths, NamesTooLongOrNamingNoHostFileAreRefusedNotCut) {
    std::string dir = TempDir();
    std::u16string shown;
    EXPECT_TRUE(core::PlatformPath(std::string(259, 'a'), &shown));
    EXPECT_FALSE(core::PlatformPath(std::string(260, 'a'), &shown)) << "the platform's MAX_PATH";
    EXPECT_FALSE(core::PlatformPath(std::string("/a\0b", 4), &shown));
    // A name of MAX_PATH characters names a file in `dir` on the host, but the platform cannot hold it.
    std::string longName = dir + "/" + std::string(MAX_PATH - dir.size() - 1, 'n');
    std::u16string longShown(longName.begin(), longName.end());
    EXPECT_EQ(CreateFileW(longShown.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(access(longName.c_str(), F_OK), -1);
    EXPECT_EQ(access(longName.substr(0, longName.size() - 1).c_str(), F_OK), -1) << "not cut either";
    // A lone surrogate that stands for no host byte ('/' cannot be escaped, nor ASCII) names nothing.
    for (char16_t lone : {char16_t(0xDC2F), char16_t(0xDC41), char16_t(0xD800)}) {
        std::u16string name = Platform(dir) + u"\\x" + lone;
        EXPECT_EQ(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
    }
}

TEST(HostPaths, FoldersWithABackslashOrALatin1NameHoldTheirOwnFiles) {
    std::string dir = TempDir();
    ASSERT_EQ(mkdir((dir + "/a").c_str(), 0755), 0);
    for (const std::string name : {"a\\b", "caf\xe9"}) {
        ASSERT_EQ(mkdir((dir + "/" + name).c_str(), 0755), 0);
        const std::string file = dir + "/" + name + "/Cadenzo.ini";
        EXPECT_TRUE(SaveRecord(file, "seven!!")) << name;
        EXPECT_EQ(Contents(file), "seven!!") << name;
        HANDLE f = Open(file, GENERIC_READ, OPEN_EXISTING);
        ASSERT_NE(f, INVALID_HANDLE_VALUE) << name;
        char buffer[16];
        DWORD read = 0;
        ReadFile(f, buffer, sizeof buffer, &read, nullptr);
        EXPECT_EQ(std::string(buffer, read), "seven!!") << name;
        CloseHandle(f);
    }
    EXPECT_EQ(access((dir + "/a/b").c_str(), F_OK), -1) << "the '\\' was taken as a separator";
}

}  // namespace
