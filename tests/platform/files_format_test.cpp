// Files in the platform's path form, and the platform's own text formatter.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core.h"

namespace {

std::u16string PlatformPath(const std::string &host) {
    std::u16string out;
    core::PlatformPath(host, &out);
    return out;
}

std::string TempDir() {
    char pattern[] = "/tmp/cadenzo-files-XXXXXX";
    return mkdtemp(pattern);
}

TEST(Files, OpenAlwaysCreatesAndReadWriteRoundTripsThroughPlatformPaths) {
    std::string dir = TempDir();
    std::u16string path = PlatformPath(dir + "/Cadenzo.ini");
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    BYTE buffer[16];
    DWORD read = 99;
    EXPECT_TRUE(ReadFile(f, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u) << "a new file is empty";
    EXPECT_FALSE(WriteFile(f, buffer, 1, &read, nullptr)) << "opened for reading only";
    CloseHandle(f);

    f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const BYTE data[3] = {1, 2, 3};
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(f, data, 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(SetEndOfFile(f));
    EXPECT_TRUE(CloseHandle(f));
    EXPECT_FALSE(CloseHandle(f)) << "a closed handle is refused";
    struct stat st;
    ASSERT_EQ(stat((dir + "/Cadenzo.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3);
}

TEST(Files, OnlyRegularFilesOpenAndNothingBlocks) {
    std::string dir = TempDir();
    mkdir((dir + "/adir").c_str(), 0755);
    mkfifo((dir + "/apipe").c_str(), 0644);
    for (const char *name : {"/adir", "/apipe"}) {
        std::u16string path = PlatformPath(dir + name);
        HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(f, INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << name;
    }
    std::u16string missing = PlatformPath(dir + "/no/such/dir/Cadenzo.ini");
    EXPECT_EQ(CreateFileW(missing.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    DWORD n = 5;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, nullptr, 0, &n, nullptr));
    EXPECT_EQ(n, 0u);
}

TEST(Files, TheModuleIsAShortPathWhoseFolderIsTheHostsProgramFolder) {
    WCHAR buffer[254];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 254);
    EXPECT_EQ(std::u16string(buffer, n), u"\\Program Files\\Cadenzo\\Cadenzo.exe");
    WCHAR small[6];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 6), 6u);  // cut to the buffer and terminated
    EXPECT_EQ(std::u16string(small), u"\\Prog");
    // A name in that folder opens in the test host's program folder, /nonexistent, in any case.
    for (const char16_t *name : {u"\\Program Files\\Cadenzo\\Cadenzo.ini", u"\\PROGRAM FILES\\cadenzo\\x"}) {
        EXPECT_EQ(CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    }
}

TEST(Files, Utf8ConversionRoundTripsAndReplacesBrokenSequences) {
    std::u16string text = u"Stra\u00dfe \U0001D11E";
    EXPECT_EQ(core::FromUtf8(core::ToUtf8(text)), text);
    EXPECT_EQ(core::FromUtf8("a\xff"
                             "b"),
              u"a\ufffdb");
    EXPECT_EQ(core::ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(Format, LongIsThirtyTwoBitsAndStringsAreWide) {
    WCHAR out[1100];
    EXPECT_EQ(wsprintfW(out, u"Metronome Speed = %ld Beats/Minute", LONG(240)), 34);
    EXPECT_EQ(std::u16string(out), u"Metronome Speed = 240 Beats/Minute");
    wsprintfW(out, u"%ld|%d|%u|%x|%X", LONG(INT_MIN), -7, 4000000000u, 255u, 255u);
    EXPECT_EQ(std::u16string(out), u"-2147483648|-7|4000000000|ff|FF");
    wsprintfW(out, u"[%5d][%-4d][%05d][%s][%.2s]", 42, 7, -3, u"wide", u"abc");
    EXPECT_EQ(std::u16string(out), u"[   42][7   ][-0003][wide][ab]");
    wsprintfW(out, u"%%%c%", int(u'x'));
    EXPECT_EQ(std::u16string(out), u"%x");
    // Output stops at 1024 characters, terminated.
    std::u16string longText(2000, u'a');
    EXPECT_EQ(wsprintfW(out, u"%s", longText.c_str()), 1023);
    EXPECT_EQ(out[1023], 0);
}

}  // namespace
