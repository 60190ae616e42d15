// The platform's resource calls over the program's compiled resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "res_helpers.h"
#include "resource.h"

using namespace restest;

namespace {
// Module 1 is the program; any other module has no resources.
HMODULE const kProgram = reinterpret_cast<HMODULE>(1);
HMODULE const kOther = reinterpret_cast<HMODULE>(2);
}  // namespace

namespace core {
res::Bytes ModuleResources(HMODULE module) { return module == kProgram ? View(CompiledImage()) : res::Bytes{}; }
}  // namespace core

TEST(ResourceApi, FindLoadLockAndSizeADialog) {
    HRSRC found = FindResourceW(kProgram, MAKEINTRESOURCE(IDD_HELP), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    res::Bytes expected;
    ASSERT_TRUE(res::Find(View(CompiledImage()), res::Ordinal(res::kTypeDialog), res::Ordinal(IDD_HELP), &expected));
    EXPECT_EQ(SizeofResource(kProgram, found), expected.size);
    HGLOBAL loaded = LoadResource(kProgram, found);
    EXPECT_EQ(LockResource(loaded), expected.data);
    // The template is what the dialog manager reads.
    auto *dialogTemplate = static_cast<const DLGTEMPLATE *>(LockResource(loaded));
    EXPECT_EQ(dialogTemplate->style, 0x80C80040u);
    EXPECT_EQ(dialogTemplate->cdit, 4);
    // Finding it again hands out the same record.
    EXPECT_EQ(FindResourceW(kProgram, MAKEINTRESOURCE(IDD_HELP), RT_DIALOG), found);
}

TEST(ResourceApi, NamesAsOrdinalsNumberStringsAndCaseFreeStrings) {
    HRSRC byOrdinal = FindResourceW(kProgram, MAKEINTRESOURCE(IDW_CLICK_STRONG), u"WAVE");
    ASSERT_NE(byOrdinal, nullptr);
    EXPECT_EQ(FindResourceW(kProgram, MAKEINTRESOURCE(IDW_CLICK_STRONG), u"wave"), byOrdinal);
    EXPECT_EQ(FindResourceW(kProgram, u"#1025", u"Wave"), byOrdinal);
    EXPECT_EQ(FindResourceW(kProgram, MAKEINTRESOURCE(108), u"#10"),
              FindResourceW(kProgram, MAKEINTRESOURCE(108), RT_RCDATA));
    const unsigned char *riff = static_cast<const unsigned char *>(LockResource(LoadResource(kProgram, byOrdinal)));
    EXPECT_EQ(std::memcmp(riff, "RIFF", 4), 0);
}

TEST(ResourceApi, AbsentResourcesAndForeignHandles) {
    EXPECT_EQ(FindResourceW(kProgram, MAKEINTRESOURCE(IDW_LAST + 1), u"WAVE"), nullptr);
    EXPECT_EQ(FindResourceW(kProgram, MAKEINTRESOURCE(IDD_ABOUT), RT_MENU), nullptr);
    EXPECT_EQ(FindResourceW(kOther, MAKEINTRESOURCE(IDD_ABOUT), RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(kProgram, u"#", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(kProgram, u"#70000", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(kProgram, nullptr, RT_DIALOG), nullptr);
    int notAResource = 0;
    HRSRC bogus = reinterpret_cast<HRSRC>(&notAResource);
    EXPECT_EQ(LoadResource(kProgram, bogus), nullptr);
    EXPECT_EQ(SizeofResource(kProgram, bogus), 0u);
    EXPECT_EQ(LoadResource(kProgram, nullptr), nullptr);
}

TEST(ResourceApi, LoadStringCopiesTruncatesAndTerminates) {
    WCHAR buffer[100];
    EXPECT_EQ(LoadStringW(kProgram, IDS_CLASS, buffer, 100), 7);
    EXPECT_EQ(std::u16string(buffer), u"CADENZO");
    EXPECT_EQ(LoadStringW(kProgram, IDS_CLASS, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"CAD");
    EXPECT_EQ(LoadStringW(kProgram, IDS_CLASS, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);
    buffer[0] = u'x';
    EXPECT_EQ(LoadStringW(kProgram, IDS_CLASS, buffer, 0), 0);
    EXPECT_EQ(buffer[0], u'x');  // no room: untouched
    // The empty title and a number with no string both give 0 and an empty buffer.
    for (UINT id : {static_cast<UINT>(IDS_TITLE), 2u, 999u}) {
        buffer[0] = u'x';
        EXPECT_EQ(LoadStringW(kProgram, id, buffer, 100), 0) << id;
        EXPECT_EQ(buffer[0], 0) << id;
    }
    EXPECT_EQ(LoadStringW(kProgram, IDS_TOOLS, buffer, 100), 5);
    EXPECT_EQ(std::u16string(buffer), u"Tools");
    EXPECT_EQ(LoadStringW(kOther, IDS_TOOLS, buffer, 100), 0);
}
