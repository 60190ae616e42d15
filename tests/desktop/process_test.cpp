// The help viewer's stand-in: the page where the program is installed (or beside the executable in a
// build folder) opened at its anchor by a program started in its own session and never waited for;
// anything else is refused. The program's folder on the desktop.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host.h"
#include "sdl_host.h"

namespace {

class Help : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cadenzo help XXXXXX";  // a space, to be escaped in the address
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/Cadenzo.htm") << "<html></html>\n";
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string dir_;
};

std::string Escaped(const std::string &dir) {
    std::string out;
    for (char c : dir) out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
}

TEST_F(Help, ThePageBesideTheExecutableAtItsAnchor) {
    std::string page = "file://" + Escaped(dir_) + "/Cadenzo.htm";
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"file:Cadenzo.htm#Main_Contents"), page + "#Main_Contents");
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"FILE:Cadenzo.htm"), page);
    // A folder in the reference is the handheld's: the page is looked for beside the executable.
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"file:\\Windows\\Cadenzo.htm#Tempo"), page + "#Tempo");
}

TEST_F(Help, ThePageInstalledUnderShareIsFoundFromTheExecutablesFolder) {
    // prefix/bin/cadenzo and prefix/share/cadenzo/Cadenzo.htm, as the install rules lay them down.
    ASSERT_EQ(mkdir((dir_ + "/bin").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/share").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/share/cadenzo").c_str(), 0755), 0);
    std::ofstream(dir_ + "/share/cadenzo/Cadenzo.htm") << "<html>installed</html>\n";
    std::string installed = "file://" + Escaped(dir_) + "/share/cadenzo/Cadenzo.htm";
    EXPECT_EQ(sdlhost::HelpUrl(dir_ + "/bin", u"file:Cadenzo.htm#Main_Contents"), installed + "#Main_Contents");
    // The installed page comes first, even with a page beside the executable.
    std::ofstream(dir_ + "/bin/Cadenzo.htm") << "<html>stray</html>\n";
    EXPECT_EQ(sdlhost::HelpUrl(dir_ + "/bin", u"file:Cadenzo.htm"), installed);
    // A folder standing where the page should be is no page.
    ASSERT_EQ(std::remove((dir_ + "/share/cadenzo/Cadenzo.htm").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/share/cadenzo/Cadenzo.htm").c_str(), 0755), 0);
    EXPECT_EQ(sdlhost::HelpUrl(dir_ + "/bin", u"file:Cadenzo.htm"), "file://" + Escaped(dir_) + "/bin/Cadenzo.htm");
}

TEST_F(Help, NothingForAMissingPageOrAnotherKindOfCommandLine) {
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"file:Other.htm#Main_Contents"), "");
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"Cadenzo.htm#Main_Contents"), "");
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"file:"), "");
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u"file:..#x"), "");
    EXPECT_EQ(sdlhost::HelpUrl(dir_, u""), "");
    EXPECT_EQ(sdlhost::HelpUrl(dir_ + "/missing", u"file:Cadenzo.htm"), "");
}

TEST_F(Help, TheOpenerRunsDetachedAndLeavesNoChildBehind) {
    // A stand-in for the browser opener that records its argument and its session.
    std::string opener = dir_ + "/opener";
    std::string record = dir_ + "/record";
    std::ofstream(opener) << "#!/bin/sh\nps -o sid= -p $$ > '" << record << ".sid'\necho \"$1\" > '" << record
                          << ".tmp'\nmv '" << record << ".tmp' '" << record << "'\n";
    chmod(opener.c_str(), 0755);
    ASSERT_TRUE(sdlhost::LaunchDetached(opener, "file:///page.htm#Anchor"));
    // The started program's parent was reaped before LaunchDetached returned.
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    // Wait for the record to appear (a generous limit; nothing is timed).
    for (int i = 0; i < 2000 && access(record.c_str(), F_OK) != 0; ++i) usleep(10000);
    std::ifstream in(record);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "file:///page.htm#Anchor");
    std::ifstream sidFile(record + ".sid");
    long sid = 0;
    sidFile >> sid;
    EXPECT_NE(sid, long(getsid(0))) << "the opener runs in a session of its own";
}

TEST_F(Help, NothingStartsWithoutAnOpenerOrForAnotherProgram) {
    EXPECT_FALSE(sdlhost::LaunchDetached(dir_ + "/no-such-opener", "x"));
    EXPECT_FALSE(sdlhost::LaunchDetached(dir_ + "/Cadenzo.htm", "x")) << "not executable";
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", dir_.c_str(), 1);
    EXPECT_FALSE(sdlhost::LaunchDetached("xdg-open", "x")) << "not on the path";
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(host::StartProcess(u"notepad.exe", u"file:Cadenzo.htm#Main_Contents"));
    EXPECT_FALSE(host::StartProcess(u"PegHelp.exe", u"file:NoSuchPage.htm#Main_Contents"));
}

TEST(ProgramFolder, TheUsersConfigFolderAndMadePrivate) {
    char pattern[] = "/tmp/cadenzo-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    EXPECT_EQ(host::ProgramFolder(), dir + "/config/cadenzo");
    std::string error;
    ASSERT_TRUE(sdlhost::MakeConfigFolder(&error)) << error;
    struct stat info {};
    ASSERT_EQ(stat((dir + "/config/cadenzo").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(sdlhost::MakeConfigFolder(&error)) << "a second start finds it made";
    // A relative $XDG_CONFIG_HOME counts as unset: ~/.config.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(host::ProgramFolder(), dir + "/.config/cadenzo");
    // A file where the folder should be: refused with the reason.
    std::ofstream(dir + "/.config") << "not a folder";
    error.clear();
    EXPECT_FALSE(sdlhost::MakeConfigFolder(&error));
    EXPECT_NE(error.find(dir + "/.config"), std::string::npos) << error;
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(ExecutablePath, IsThisExecutable) {
    std::string path = sdlhost::ExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("desktop_host_tests"), std::string::npos);
}

}  // namespace
