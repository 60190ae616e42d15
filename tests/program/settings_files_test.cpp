// The settings file where users keep it in odd ways, through the real program on the simulator: a link
// to their own file, a link to another user's file or to nothing, a file they cannot read, and
// folders whose names hold a '\' or bytes that are not UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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
