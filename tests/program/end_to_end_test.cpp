// The whole program through the simulator: real taps and keys through the message loop and its
// accelerators, the screen as probed pixels, and the output stream as the device would play it.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "sim_runner.h"

namespace {

// Reads the samples of a mono 16-bit WAVE file: the rate from its fmt chunk, the samples from its data
// chunk, walking the chunks in between.
std::vector<std::int16_t> ReadSamples(const std::string &path, int *rate) {
    std::vector<unsigned char> b = sim::ReadBytes(path);
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24));
    };
    std::vector<std::int16_t> samples;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        std::string id(b.begin() + long(at), b.begin() + long(at) + 4);
        std::size_t size = u32(at + 4), body = at + 8;
        if (body + size > b.size()) break;
        if (id == "fmt ") *rate = int(u32(body + 4));
        if (id == "data")
            for (std::size_t i = body; i + 1 < body + size; i += 2)
                samples.push_back(std::int16_t(b[i] | (b[i + 1] << 8)));
        at = body + size + (size & 1);
    }
    return samples;
}

TEST(EndToEnd, StartTapClicksOnTheBeatAndTheBarsFlash) {
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", {30, 0, 1, 0, 3, 1, 1});  // 60 beats per minute, 4/4
    sim::Result r = sim::Run("tap 61 88\nwait 1000\nprobe 6 29\nwait 1000\nprobe 6 29\nwait 1000\nprobe 6 107\n"
                             "tap 61 88\nprobe 6 276\nkey ctrl+q\n",
                             dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.Sounds(), (std::vector<std::pair<std::uint32_t, int>>{{1000, 1025}, {2000, 1027}, {3000, 1026}}));
    EXPECT_EQ(r.ProbeAt(1000, 6, 29), "400000") << "beat 1: very dark red";
    EXPECT_EQ(r.ProbeAt(2000, 6, 29), "0000C0") << "beat 2: blue";
    EXPECT_EQ(r.ProbeAt(3000, 6, 107), "C00000") << "beat 3: red";
    EXPECT_EQ(r.ProbeAt(3000, 6, 276), "0000C0") << "stopped: blue again";
    EXPECT_TRUE(r.Has("3000 exit 0"));
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini"), (std::vector<unsigned char>{30, 0, 1, 0, 3, 1, 1}));
}

// The sample of the 11025-Hz output stream at which a sound started at `ms` plays its first sample.
std::size_t StreamSample(std::uint32_t ms) { return (std::size_t(ms) * 11025 + 500) / 1000; }

// At 240 beats per minute in 4/4 every click is heard exactly one beat after the one before: the
// attacks found in the output stream (the first sound after silence) fall on the samples the beats
// were scheduled for, whichever of the three clicks plays, and the accents come in their order.
TEST(EndToEnd, EveryClickIsHeardOneBeatAfterTheOneBefore) {
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", {210, 0, 1, 0, 3, 1, 1});  // 240 beats per minute, 4/4
    std::string wav = dir + "/out.wav";
    sim::Result r = sim::Run("tap 61 88\nwait 10100\ntap 61 88\nkey ctrl+q\n", dir, "--wav '" + wav + "' ");
    ASSERT_EQ(r.status, 0) << r.errors;
    int rate = 0;
    std::vector<std::int16_t> out = ReadSamples(wav, &rate);
    ASSERT_EQ(rate, 11025);

    // Attacks: a sample above -60 dBFS after at least 5 ms of silence.
    std::vector<std::size_t> attacks;
    std::size_t quiet = 1000;
    for (std::size_t i = 0; i < out.size(); ++i) {
        bool loud = out[i] > 32 || out[i] < -32;
        if (loud && quiet >= 55) attacks.push_back(i);
        quiet = loud ? 0 : quiet + 1;
    }
    auto played = r.Sounds();
    ASSERT_EQ(played.size(), 40u);
    ASSERT_EQ(attacks.size(), played.size());
    const int accents[4] = {1025, 1027, 1026, 1027};
    for (std::size_t k = 0; k < played.size(); ++k) {
        EXPECT_EQ(played[k].second, accents[k % 4]) << "beat " << k % 4 + 1;
        EXPECT_EQ(attacks[k], StreamSample(played[k].first)) << "click " << k << " (" << played[k].second << ")";
        if (k > 0) {
            EXPECT_EQ(played[k].first - played[k - 1].first, 250u) << "click " << k;
        }
        if (k >= 4) {
            EXPECT_EQ(attacks[k] - attacks[k - 4], 11025u) << "a bar of 4/4 at 240 is exactly one second";
        }
    }
}

TEST(EndToEnd, AcceleratorsNeedExactlyTheirModifiersAndReachTheWindowAfterAControlWasTapped) {
    // Each modifier must match: Ctrl+Shift+Q and Ctrl+Alt+Q are no command either.
    sim::Result r = sim::Run("tap 140 81\nkey q\nkey a\nkey ctrl+shift+q\nkey ctrl+alt+q\nwait 100\nkey ctrl+q\n");
    EXPECT_TRUE(r.Has("100 exit 0")) << "Q alone is no command; Ctrl+Q exits after the Sound box was tapped";
}

TEST(EndToEnd, TheHelpKeyStartsTheHelpViewer) {
    sim::Result r = sim::Run("key f1\nkey ctrl+q\n");
    EXPECT_TRUE(r.Has("0 process peghelp.exe file:Cadenzo.htm#Main_Contents"));
}

TEST(EndToEnd, EachSoundPlaysToItsEndUnlessALaterSoundStarts) {
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", {210, 0, 3, 0, 0, 1, 1});  // 240 beats per minute, repeat 3x
    std::string wav = dir + "/out.wav";
    // A note, cut by the metronome's first click; then a lone note that rings to its end. The stream
    // is the hosts' one schedule's, so this is its cut: a new sound ends the one playing at its start.
    sim::Result r = sim::Run("tap 31 139\nwait 100\ntap 61 88\nwait 300\ntap 61 88\nwait 3500\nkey ctrl+q\n", dir,
                             "--wav '" + wav + "' ");
    ASSERT_EQ(r.status, 0) << r.errors;
    std::string sounds = dir + "/sounds";
    ASSERT_EQ(std::system(("mkdir -p '" + sounds + "' && '" CADENZO_SIM "' --export-sounds '" + sounds + "'").c_str()),
              0);
    int rate = 0;
    std::vector<std::int16_t> out = ReadSamples(wav, &rate);
    ASSERT_EQ(rate, 11025);
    auto played = r.Sounds();
    ASSERT_GE(played.size(), 4u);
    for (std::size_t i = 0; i < played.size(); ++i) {
        int id = played[i].second;
        int ignored;
        std::vector<std::int16_t> sound = ReadSamples(sounds + "/" + std::to_string(id) + ".wav", &ignored);
        std::size_t begin =
            std::size_t(played[i].first) * 11025 / 1000 + (played[i].first * 11025 % 1000 >= 500 ? 1 : 0);
        std::size_t end = begin + sound.size();
        if (i + 1 < played.size()) {
            std::size_t next =
                std::size_t(played[i + 1].first) * 11025 / 1000 + (played[i + 1].first * 11025 % 1000 >= 500 ? 1 : 0);
            end = std::min(end, next);
        }
        ASSERT_LE(end, out.size());
        std::size_t mismatches = 0;
        for (std::size_t k = begin; k < end; ++k) mismatches += out[k] != sound[k - begin];
        EXPECT_EQ(mismatches, 0u) << "sound " << id << " at " << played[i].first;
    }
}

}  // namespace
