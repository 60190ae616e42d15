// The settings file where users keep it in odd ways, through the real program on the simulator: a link
// to their own file, a link to another user's file or to nothing, a file they cannot read, and
// folders whose names hold a '\' or bytes that are not UTF-8; and the file when the disk fails it,
// through a preloaded library that makes the chosen file call fail.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "sim_runner.h"

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kDefaults = {30, 0, 1, 0, 0, 1, 1};
const Bytes kStored = {80, 1, 3, 2, 3, 0, 0};  // every byte differs from the defaults
constexpr uid_t kOtherUser = 65534;

bool IsLink(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The stored record with the Sound box (off in kStored) tapped on: what a good save leaves.
const Bytes kChanged = {80, 1, 3, 2, 3, 1, 0};
const char kTapSound[] = "tap 140 81\nkey ctrl+q\n";

// The environment that makes the simulator's `call` on the settings file fail with `error` (only its
// `nth` such call when nth > 0).
std::string Fault(const std::string &call, const std::string &error, int nth = 0) {
    return std::string("LD_PRELOAD=" FAULT_SHIM " ASAN_OPTIONS=verify_asan_link_order=0 FAULT_SHIM_CALL=") + call +
           " FAULT_SHIM_ERRNO=" + error + (nth > 0 ? " FAULT_SHIM_NTH=" + std::to_string(nth) : "");
}

// The names in `dir` other than the settings file and the runner's own.
std::string Others(const std::string &dir) {
    std::string out;
    FILE *list = popen(("ls -A '" + dir + "'").c_str(), "r");
    char line[512];
    while (list && std::fgets(line, sizeof line, list))
        if (std::string(line) != "Cadenzo.ini\n") out += line;
    if (list) pclose(list);
    return out;
}

// Runs the program over `dir` as another user, exiting at once; its exit status.
int RunAs(uid_t user, const std::string &dir) {
    std::string script = dir + "/script.txt";
    std::ofstream(script) << "key ctrl+q\n";
    if (chown(dir.c_str(), user, user) != 0 || chown(script.c_str(), user, user) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (setgid(user) == 0 && setuid(user) == 0)
            execl(CADENZO_SIM, CADENZO_SIM, "--dir", dir.c_str(), script.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsFiles, ALinkToTheUsersOwnFileIsLoadedAndSavedAndStaysALink) {
    std::string dir = sim::MakeDir(), dots = sim::MakeDir();
    sim::WriteBytes(dots + "/Cadenzo.ini", kStored);
    ASSERT_EQ(symlink((dots + "/Cadenzo.ini").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    sim::Result r = sim::Run("key ctrl+q\n", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.errors, "");
    EXPECT_TRUE(IsLink(dir + "/Cadenzo.ini"));
    EXPECT_EQ(sim::ReadBytes(dots + "/Cadenzo.ini"), kStored) << "loaded (else the defaults) and saved through";
}

// Each refusal is one line on standard error; the program runs on with its defaults and exits as usual.
TEST(SettingsFiles, ALinkToNothingOrToAnotherUsersFileIsLeftAlone) {
    std::string dir = sim::MakeDir();
    ASSERT_EQ(symlink((dir + "/elsewhere").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    sim::Result r = sim::Run("tap 61 88\nwait 1000\nkey ctrl+q\n", dir);
    EXPECT_TRUE(r.Has("1000 exit 0"));
    EXPECT_FALSE(sim::Exists(dir + "/elsewhere")) << "the link's target was created";
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_NE(r.errors.find("Cadenzo.ini"), std::string::npos) << r.errors;

    if (geteuid() != 0) GTEST_SKIP() << "making a file another user owns needs root";
    std::string theirs = sim::MakeDir();
    chmod(theirs.c_str(), 0777);  // a folder others may write to
    const Bytes notes(37, 'n');
    sim::WriteBytes(theirs + "/notes", notes);
    ASSERT_EQ(chown((theirs + "/notes").c_str(), kOtherUser, kOtherUser), 0);
    dir = sim::MakeDir();
    ASSERT_EQ(symlink((theirs + "/notes").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    r = sim::Run("tap 61 88\nwait 1000\nkey ctrl+q\n", dir);
    EXPECT_TRUE(r.Has("1000 exit 0"));
    EXPECT_EQ(sim::ReadBytes(theirs + "/notes"), notes);
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
}

// Links someone else could have made, or redirected: a link another user planted in a folder open to
// others, pointing at the runner's own file; the runner's own link, in a folder another user may
// change; a hard link to another user's file that anyone may write. Each is left as it is, with one
// line on standard error; before, the file it led to was cut to seven bytes.
TEST(SettingsFiles, LinksAnotherUserCouldHaveMadeOrMovedAreNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "making files and links of another user needs root";
    const Bytes precious(40, 'p');
    struct stat before {
    }, after{};

    // Planted: the link is another user's, in a folder anyone may write (not sticky, so the kernel's
    // own guard for links in /tmp does not apply).
    std::string mine = sim::MakeDir(), shared = sim::MakeDir();
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    sim::WriteBytes(mine + "/precious", precious);
    ASSERT_EQ(symlink((mine + "/precious").c_str(), (shared + "/Cadenzo.ini").c_str()), 0);
    ASSERT_EQ(lchown((shared + "/Cadenzo.ini").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(stat((mine + "/precious").c_str(), &before), 0);
    sim::Result r = sim::Run(kTapSound, shared);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim::ReadBytes(mine + "/precious"), precious) << "planted link followed";
    ASSERT_EQ(stat((mine + "/precious").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
    EXPECT_TRUE(IsLink(shared + "/Cadenzo.ini"));
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;

    // The runner's own link, in a folder another user owns and anyone may write: that user may have
    // swapped it; it is not followed either.
    std::string theirs = sim::MakeDir();
    ASSERT_EQ(chown(theirs.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0777), 0);
    ASSERT_EQ(symlink((mine + "/precious").c_str(), (theirs + "/Cadenzo.ini").c_str()), 0);
    r = sim::Run(kTapSound, theirs);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim::ReadBytes(mine + "/precious"), precious) << "link in a folder others may change followed";
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;

    // A hard link to a file of another user's that anyone may write.
    std::string dir = sim::MakeDir(), other = sim::MakeDir();
    sim::WriteBytes(other + "/notes", precious);
    ASSERT_EQ(chown((other + "/notes").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod((other + "/notes").c_str(), 0666), 0);
    ASSERT_EQ(link((other + "/notes").c_str(), (dir + "/Cadenzo.ini").c_str()), 0);
    ASSERT_EQ(stat((other + "/notes").c_str(), &before), 0);
    r = sim::Run(kTapSound, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim::ReadBytes(other + "/notes"), precious) << "another user's file written through a hard link";
    ASSERT_EQ(stat((dir + "/Cadenzo.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the name is left as it was";
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;

    // The user's own file with a second name is the user's: read and saved as before.
    dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
    ASSERT_EQ(link((dir + "/Cadenzo.ini").c_str(), (dir + "/backup.ini").c_str()), 0);
    r = sim::Run(kTapSound, dir);
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kChanged);
    EXPECT_EQ(r.errors, "");
}

// A settings file the user may write but not read is kept byte for byte: the program never saw what
// it holds, so its defaults do not replace it. Root reads everything: as root the run is another user's.
TEST(SettingsFiles, AFileThatCannotBeReadIsKeptByteForByte) {
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
    ASSERT_EQ(chmod((dir + "/Cadenzo.ini").c_str(), 0200), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown((dir + "/Cadenzo.ini").c_str(), kOtherUser, kOtherUser), 0);
        EXPECT_EQ(RunAs(kOtherUser, dir), 0);
    } else {
        EXPECT_EQ(sim::Run("key ctrl+q\n", dir).status, 0);
    }
    chmod((dir + "/Cadenzo.ini").c_str(), 0600);
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kStored);
}

// The save at exit failing on the disk (full, a quota, an I/O error) at any of its steps: the stored
// record stays byte for byte, one line on standard error says so, nothing is left beside it. Before,
// the file was cut to nothing and nothing was said.
TEST(SettingsFiles, ASaveTheDiskFailsLeavesTheStoredRecordAndSaysSo) {
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
    sim::Result good = sim::Run(kTapSound, dir);
    ASSERT_EQ(good.status, 0);
    ASSERT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kChanged) << "the tap changes the record a good save writes";
    EXPECT_EQ(good.errors, "");
    EXPECT_EQ(Others(dir), "");
    struct Case {
        const char *call, *error;
        int nth;
    };
    const Case cases[] = {{"write", "ENOSPC", 0}, {"write", "EDQUOT", 0},  {"write", "EIO", 0},  {"write", "ENOSPC", 2},
                          {"write", "EIO", 2},    {"ftruncate", "EIO", 0}, {"fsync", "EIO", 0},  {"fsync", "ENOSPC", 0},
                          {"rename", "EIO", 0},   {"rename", "EDQUOT", 0}, {"open", "EMFILE", 2}};
    for (const Case &c : cases) {
        std::string name = std::string(c.call) + " " + c.error + " " + std::to_string(c.nth);
        sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
        sim::Result r = sim::Run(kTapSound, dir, "", Fault(c.call, c.error, c.nth));
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kStored) << name;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << name << ": " << r.errors;
        EXPECT_NE(r.errors.find("Cadenzo.ini"), std::string::npos) << name << ": " << r.errors;
        EXPECT_EQ(Others(dir), "") << name << ": left beside the file";
    }
}

// An error reading the record at start (not "no file", not "wrong size"): the program runs on its
// defaults, and they do not replace the record it could not read. Before, they did.
TEST(SettingsFiles, ARecordThatCouldNotBeReadIsNotOverwritten) {
    struct Case {
        const char *call, *error;
    };
    for (const Case &c : {Case{"read", "EIO"}, Case{"open", "EMFILE"}, Case{"open", "ENOMEM"}}) {
        std::string name = std::string(c.call) + " " + c.error;
        std::string dir = sim::MakeDir();
        sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
        sim::Result r = sim::Run(kTapSound, dir, "", Fault(c.call, c.error, 1));
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kStored) << name;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << name << ": " << r.errors;
        // The next start reads it: the record is the user's again and saved as usual.
        r = sim::Run(kTapSound, dir);
        EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kChanged) << name;
        EXPECT_EQ(r.errors, "") << name;
    }
    // No file, and a file of another size, are what they were: the defaults are saved.
    std::string dir = sim::MakeDir();
    EXPECT_EQ(sim::Run("key ctrl+q\n", dir).status, 0);
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kDefaults);
    sim::WriteBytes(dir + "/Cadenzo.ini", Bytes(5, 1));
    EXPECT_EQ(sim::Run("key ctrl+q\n", dir).status, 0);
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kDefaults);
}

// Before, the '\' became a separator and the Latin-1 byte U+FFFD: the file was never found or made.
TEST(SettingsFiles, FoldersWithABackslashOrALatin1NameKeepTheirSettings) {
    std::string parent = sim::MakeDir();
    for (const std::string name : {"back\\slash", "caf\xe9"}) {
        std::string dir = parent + "/" + name;
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        EXPECT_EQ(sim::Run("key ctrl+q\n", dir).status, 0);
        EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kDefaults) << name << ": the first run makes the file";
        sim::WriteBytes(dir + "/Cadenzo.ini", kStored);
        EXPECT_EQ(sim::Run("key ctrl+q\n", dir).status, 0);
        EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), kStored) << name << ": loaded, then saved back";
    }
}

}  // namespace
