// The shell's menu bar on the test host: the record it is built from, where it sits, what its
// Tools pop-up does with taps, and that it goes with its window.
#include <aygshell.h>

#include "dialogs_support.h"
#include "resource.h"

namespace {

using dialogs_test::Commands;
using dialogs_test::PatchedModule;
using dialogs_test::Words;

constexpr std::uint32_t kNavy = 0x000080;
constexpr std::uint32_t kBarGrey = 0xD6D3CE;
constexpr int kToolsX = 16, kToolsY = 307;  // the "Tools" caption on the bar

class MenuBar : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        Commands().clear();
        owner = dialogs_test::MakeOwner();
        ASSERT_NE(owner, nullptr);
        testhost::Pump();
    }
    void TearDown() override { testhost::TearDown(); }

    SHMENUBARINFO Info() const {
        SHMENUBARINFO info{};
        info.cbSize = sizeof info;
        info.hwndParent = owner;
        info.nToolBarId = IDR_MAINMENU;
        info.hInstRes = core::MainModule();
        return info;
    }
    HWND CreateBar() {
        SHMENUBARINFO info = Info();
        EXPECT_TRUE(SHCreateMenuBar(&info));
        testhost::Pump();
        return info.hwndMB;
    }
    // The open pop-up's rectangle; its rows from the top: About, Help (18 px each), a 7-px
    // separator, Exit, inside a one-pixel border.
    static bool PopupRect(RECT *r) {
        auto popups = dialogs_test::WindowsOfClass(u"menu_popup");
        return popups.size() == 1 && GetWindowRect(popups[0], r);
    }

    HWND owner = nullptr;
};

TEST_F(MenuBar, SitsAtTheBottomOwnedByItsWindowAndGoesWithIt) {
    HWND bar = CreateBar();
    ASSERT_NE(bar, nullptr);
    RECT r;
    ASSERT_TRUE(GetWindowRect(bar, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 294);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
    EXPECT_EQ(GetParent(bar), owner) << "a top-level window owned by the program's window, not a child";
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_EQ(GetForegroundWindow(), owner) << "the bar never takes the activation";
    // Grey with a dark line along its top; the caption in dark letters at the left, the keyboard
    // symbol of the input panel at the right.
    EXPECT_EQ(testhost::Pixel(120, 310), kBarGrey);
    EXPECT_EQ(testhost::Pixel(120, 294), 0x808080u);
    int caption = 0, keyboard = 0;
    for (int y = 296; y < 320; ++y) {
        for (int x = 0; x < 40; ++x) caption += testhost::Pixel(x, y) == 0;
        for (int x = 204; x < 240; ++x) keyboard += testhost::Pixel(x, y) == 0;
    }
    EXPECT_GT(caption, 20) << "\"Tools\"";
    EXPECT_GT(keyboard, 20) << "the input panel's button";

    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(bar));
}

TEST_F(MenuBar, HiddenWhenAskedAndWithoutButtonsForAnEmptyBar) {
    SHMENUBARINFO info = Info();
    info.dwFlags = SHCMBF_HIDDEN;
    ASSERT_TRUE(SHCreateMenuBar(&info));
    EXPECT_FALSE(IsWindowVisible(info.hwndMB));
    DestroyWindow(info.hwndMB);

    // An empty bar needs no record at all.
    info = Info();
    info.dwFlags = SHCMBF_EMPTYBAR;
    info.nToolBarId = 999;
    ASSERT_TRUE(SHCreateMenuBar(&info));
    testhost::Pump();
    testhost::Tap(kToolsX, kToolsY);
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MenuBar, ABadRequestOrRecordCreatesNothing) {
    std::size_t windows = core::TopLevels().size();
    EXPECT_FALSE(SHCreateMenuBar(nullptr));

    SHMENUBARINFO info = Info();
    info.cbSize = 16;  // too short to hold the answer: left alone
    info.hwndMB = reinterpret_cast<HWND>(1);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(info.hwndMB, reinterpret_cast<HWND>(1));

    info = Info();
    info.hwndParent = reinterpret_cast<HWND>(0x7777);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(info.hwndMB, nullptr);

    info = Info();
    info.hInstRes = nullptr;  // a module without resources
    EXPECT_FALSE(SHCreateMenuBar(&info));
    info = Info();
    info.nToolBarId = 999;  // no such record
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(info.hwndMB, nullptr);

    // Records that name what is not there, or ask for what the bar cannot show.
    struct Damage {
        int word;
        unsigned value;
        const char *what;
    } damages[] = {
        {0, 999, "a menu that does not exist"},
        {1, 200, "more buttons than the record holds"},
        {2, 0, "an image button"},
        {6, 40026, "a caption string that is empty"},
        {8, 5, "a pop-up the menu does not have"},
    };
    for (const Damage &d : damages) {
        PatchedModule module;
        long at = module.Find(dialogs_test::MenuBarRecord());
        ASSERT_GE(at, 0);
        module.Write(at + 2 * d.word, Words({d.value}));
        info = Info();
        EXPECT_FALSE(SHCreateMenuBar(&info)) << d.what;
        EXPECT_EQ(info.hwndMB, nullptr) << d.what;
    }
    EXPECT_EQ(core::TopLevels().size(), windows) << "no window was left behind";
}

TEST_F(MenuBar, ToolsOpensItsPopupAboveTheBarAndAnItemSendsItsCommand) {
    HWND bar = CreateBar();
    testhost::Tap(kToolsX, kToolsY);
    RECT r;
    ASSERT_TRUE(PopupRect(&r)) << "the tap opened the pop-up and it stays open";
    EXPECT_EQ(r.left, 0) << "left-aligned with its button";
    EXPECT_EQ(r.bottom, 294) << "right above the bar";
    EXPECT_EQ(r.bottom - r.top, 1 + 18 + 18 + 7 + 18 + 1);
    EXPECT_GE(r.right, 80);
    EXPECT_EQ(testhost::Pixel(3, 300), kNavy) << "the button shows that its pop-up is open";
    EXPECT_EQ(testhost::Pixel(r.left, r.top + 30), 0u) << "black border";
    EXPECT_TRUE(Commands().empty()) << "opening the pop-up sends nothing";

    testhost::Tap(30, r.top + 10);  // About
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty());
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].first, MAKEWPARAM(IDM_ABOUT, 0)) << "notification 0: from a menu";
    EXPECT_EQ(Commands()[0].second, 0);
    EXPECT_EQ(testhost::Pixel(3, 300), kBarGrey) << "the button looks released again";

    testhost::Tap(kToolsX, kToolsY);
    ASSERT_TRUE(PopupRect(&r));
    testhost::Tap(30, r.top + 53);  // Exit
    testhost::Tap(kToolsX, kToolsY);
    ASSERT_TRUE(PopupRect(&r));
    testhost::Tap(30, r.top + 28);  // Help
    ASSERT_EQ(Commands().size(), 3u);
    EXPECT_EQ(Commands()[1].first, MAKEWPARAM(IDM_EXIT, 0));
    EXPECT_EQ(Commands()[2].first, MAKEWPARAM(IDM_HELP, 0));
    EXPECT_TRUE(IsWindow(bar));
}

TEST_F(MenuBar, TheStylusCanPressDragAndReleaseOnAnItem) {
    CreateBar();
    testhost::Down(kToolsX, kToolsY);
    RECT r;
    ASSERT_TRUE(PopupRect(&r));
    testhost::Move(30, r.top + 10);
    EXPECT_EQ(testhost::Pixel(60, r.top + 3), kNavy) << "the row under the stylus is highlighted";
    testhost::Move(30, r.top + 28);
    EXPECT_EQ(testhost::Pixel(60, r.top + 3), 0xFFFFFFu) << "About no longer highlighted";
    EXPECT_EQ(testhost::Pixel(60, r.top + 21), kNavy) << "Help is";
    testhost::Up(30, r.top + 28);
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].first, MAKEWPARAM(IDM_HELP, 0));
}

TEST_F(MenuBar, ASeparatorIsNotChosenAndATapElsewhereClosesWithoutACommand) {
    CreateBar();
    testhost::Tap(kToolsX, kToolsY);
    RECT r;
    ASSERT_TRUE(PopupRect(&r));
    testhost::Tap(30, r.top + 40);  // the separator
    EXPECT_TRUE(PopupRect(&r)) << "still open";
    testhost::Tap(200, 100);  // the window above
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty());
    // The Tools button toggles its pop-up.
    testhost::Tap(kToolsX, kToolsY);
    ASSERT_TRUE(PopupRect(&r));
    testhost::Tap(kToolsX, kToolsY);
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty());
    // The input panel's button does nothing the program would notice.
    testhost::Tap(225, 307);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(GetForegroundWindow(), owner);
}

TEST_F(MenuBar, TakesNoTapsWhileItsWindowIsDisabledAndClosesWhenItsWindowGoes) {
    HWND bar = CreateBar();
    EnableWindow(owner, FALSE);
    testhost::Tap(kToolsX, kToolsY);
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty()) << "a dialog is open: the bar waits";
    EnableWindow(owner, TRUE);

    testhost::Tap(kToolsX, kToolsY);
    ASSERT_EQ(dialogs_test::WindowsOfClass(u"menu_popup").size(), 1u);
    DestroyWindow(owner);
    testhost::Pump();
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_popup").empty());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(Commands().empty());
}

}  // namespace
