// The settings file, through the real program on the simulator: where it lives, what each byte does on
// load, what the save writes, and what happens with files that are not a settings record at all.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sim_runner.h"

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kDefaults = {30, 0, 1, 0, 0, 1, 1};

// Starts the program over a settings file holding `stored` (none when empty), exits with Ctrl+Q and
// returns what it wrote.
Bytes RoundTrip(const Bytes &stored, bool writeFile = true) {
    std::string dir = sim::MakeDir();
    if (writeFile) sim::WriteBytes(dir + "/Cadenzo.ini", stored);
    sim::Result r = sim::Run("key ctrl+q\n", dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_FALSE(r.Events("exit 0").empty()) << "the program leaves through its loop with exit code 0";
    return sim::ReadBytes(dir + "/Cadenzo.ini");
}

TEST(Settings, FirstStartCreatesAnEmptyFileAndTheExitWritesTheDefaults) {
    std::string dir = sim::MakeDir();
    sim::Result running = sim::Run("wait 10\n", dir);  // the script ends while the program runs
    EXPECT_TRUE(running.Has("10 end"));
    ASSERT_TRUE(sim::Exists(dir + "/Cadenzo.ini")) << "the load creates the file";
    EXPECT_TRUE(sim::ReadBytes(dir + "/Cadenzo.ini").empty()) << "and leaves it empty until the exit";
    EXPECT_EQ(RoundTrip({}, false), kDefaults);
}

TEST(Settings, EachByteIsAppliedOnlyWhenItsValueIsAccepted) {
    // Tempo always (even above 210); delay 1 and 2; repeat 1, 3, 5; indexes below their counts; flags.
    EXPECT_EQ(RoundTrip({0, 1, 3, 5, 6, 1, 0}), (Bytes{0, 1, 3, 5, 6, 1, 0}));
    EXPECT_EQ(RoundTrip({210, 2, 5, 1, 3, 7, 255}), (Bytes{210, 2, 5, 1, 3, 1, 1}));
    EXPECT_EQ(RoundTrip({250, 3, 2, 6, 7, 0, 1}), (Bytes{250, 0, 1, 0, 0, 0, 1}));
    // Both indicators off are taken as they are.
    EXPECT_EQ(RoundTrip({40, 0, 1, 2, 4, 0, 0}), (Bytes{40, 0, 1, 2, 4, 0, 0}));
}

TEST(Settings, AnyOtherLengthLeavesTheDefaultsAndTheSaveLeavesExactlySevenBytes) {
    for (std::size_t size : {1u, 6u, 8u, 254u, 255u, 5000u}) {
        Bytes stored(size, 2);
        EXPECT_EQ(RoundTrip(stored), kDefaults) << size << " bytes";
    }
}

TEST(Settings, ADirectoryInPlaceOfTheFileIsLeftAloneAndNothingElseIsWritten) {
    std::string dir = sim::MakeDir();
    ASSERT_EQ(mkdir((dir + "/Cadenzo.ini").c_str(), 0755), 0);
    sim::Result r = sim::Run("tap 61 88\nwait 1000\nkey ctrl+q\n", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.Has("1000 exit 0")) << "the program runs on with its defaults";
    EXPECT_EQ(r.Sounds().size(), 1u) << "and its metronome clicks";
    struct stat st;
    ASSERT_EQ(stat((dir + "/Cadenzo.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // Nothing but the script's own files appeared beside it.
    std::string listing = dir + "/listing.txt";
    ASSERT_EQ(std::system(("ls -A '" + dir + "' > '" + listing + "'").c_str()), 0);
    Bytes names = sim::ReadBytes(listing);
    EXPECT_EQ(std::string(names.begin(), names.end()), "Cadenzo.ini\nlisting.txt\n");
}

// A directory standing where the settings file should be: the load finds no record (the defaults
// stand), the save cannot be made, and the program ends normally without a word about it.
TEST(Settings, AnUnwritableSettingsFileLosesTheSaveQuietly) {
    std::string dir = sim::MakeDir();
    ASSERT_EQ(mkdir((dir + "/Cadenzo.ini").c_str(), 0755), 0);
    sim::Result r = sim::Run("key ctrl+q\n", dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(r.Has("0 exit 0"));
    for (const std::string &line : r.trace) EXPECT_EQ(line.find("messagebox"), std::string::npos) << line;
    struct stat info {};
    ASSERT_EQ(stat((dir + "/Cadenzo.ini").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode)) << "the directory is left as it was";
    EXPECT_EQ(rmdir((dir + "/Cadenzo.ini").c_str()), 0) << "and still empty";
}

TEST(Settings, TheSimulatorRejectsAMalformedScriptByLine) {
    sim::Result r = sim::Run("wait 10\ntap 5\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("line 2"), std::string::npos) << r.errors;
    EXPECT_TRUE(r.trace.empty()) << "nothing ran";
}

}  // namespace
