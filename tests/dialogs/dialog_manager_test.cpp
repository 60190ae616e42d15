// The dialog manager on the test host: dialog units, the program's templates as windows, the modal
// loop and how it ends, full-screen sizing, message boxes, and the program without its menu bar.
#include <aygshell.h>

#include <cstring>

#include "access.h"
#include "app/cadenzo.h"
#include "dialog.h"
#include "dialogs_support.h"

namespace {

using dialogs_test::PatchedModule;
using dialogs_test::Words;

TEST(DialogUnits, RoundHalvesAwayFromZeroAndConvertEachValueOnItsOwn) {
    struct Case {
        int value, numerator, denominator, expected;
    } cases[] = {
        {1, 7, 4, 2},  {2, 7, 4, 4},      {6, 7, 4, 11},   {137, 7, 4, 240}, {-2, 7, 4, -4},  {-1, 7, 4, -2},
        {3, 14, 8, 5}, {172, 14, 8, 301}, {-3, 14, 8, -5}, {5, 7, -4, -9},   {9, 96, 72, 12}, {4, 7, 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(core::ScaleRounded(c.value, c.numerator, c.denominator), c.expected)
            << c.value << " * " << c.numerator << " / " << c.denominator;

    // The program's dialog items at the system font's base units (7 x 14): x, y, width, height.
    struct Item {
        int x, y, cx, cy;
        LONG px, py, pcx, pcy;
    } items[] = {
        {22, 2, 114, 18, 39, 4, 200, 32},    // About and Help: the title lines
        {4, 94, 128, 49, 7, 165, 224, 86},   // About: the maker's lines
        {3, 25, 130, 52, 5, 44, 228, 91},    // About: the description
        {3, 82, 131, 68, 5, 144, 229, 119},  // About: the group box
        {4, 22, 128, 66, 7, 39, 224, 116},   // Help: the metronome text
        {4, 87, 128, 65, 7, 152, 224, 114},  // Help: the tuning text
        {0, 0, 137, 172, 0, 0, 240, 301},    // the dialog itself
    };
    for (const Item &i : items) {
        RECT r = core::DialogUnitsToPixels(i.x, i.y, i.cx, i.cy, 7, 14);
        EXPECT_EQ(r.left, i.px);
        EXPECT_EQ(r.top, i.py);
        EXPECT_EQ(r.right, i.pcx);
        EXPECT_EQ(r.bottom, i.pcy);
    }
}

// ---- Modal dialogs from the program's templates ----

// A control of the dialog as WM_INITDIALOG found it.
struct ChildSeen {
    std::u16string cls;
    int id;
    RECT rect;  // in the dialog's client coordinates
};

// What a test's dialog procedure saw and what it should do, set by each test.
struct Script {
    LPARAM initParam = 0;
    bool endInInit = false;  // EndDialog(7) inside WM_INITDIALOG
    bool fullScreen = true;  // SHInitDialog as the program calls it
    UINT_PTR action = 0;     // what the 100-ms timer does: see DialogProcForTests
    bool sawShow = false;
    bool visibleAtTimer = false, activeAtTimer = false, ownerEnabledAtTimer = true;
    RECT rectAtTimer{};
    std::vector<ChildSeen> children;
    std::vector<a11y::Node> modelAtTimer;  // what a screen reader finds while the dialog is open
    HWND focusAtTimer = nullptr;
    HWND dialog = nullptr;
    HWND owner = nullptr;
};
Script g_script;

enum Action : UINT_PTR { kEnd42 = 1, kQuit5, kDestroyOwner, kPressOk };

BOOL CALLBACK DialogProcForTests(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        g_script.dialog = dialog;
        g_script.initParam = lParam;
        if (core::Window *w = core::FromHandle(dialog))
            for (core::Window *c : w->children) g_script.children.push_back(ChildSeen{c->cls->name, c->id, c->rect});
        if (g_script.fullScreen) {
            SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
            SHInitDialog(&info);
        }
        if (g_script.endInInit) EndDialog(dialog, 7);
        SetTimer(dialog, 1, 100, nullptr);
        return TRUE;
    }
    case WM_SHOWWINDOW: g_script.sawShow = true; return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK) return FALSE;
        EndDialog(dialog, IDOK);
        return TRUE;
    case WM_TIMER:
        KillTimer(dialog, 1);
        g_script.visibleAtTimer = IsWindowVisible(dialog);
        g_script.activeAtTimer = GetForegroundWindow() == dialog;
        g_script.ownerEnabledAtTimer = IsWindowEnabled(g_script.owner);
        GetWindowRect(dialog, &g_script.rectAtTimer);
        g_script.modelAtTimer = a11y::Snapshot();
        g_script.focusAtTimer = GetFocus();
        if (g_script.action == kPressOk)
            for (const a11y::Node &n : g_script.modelAtTimer)
                if (n.role == a11y::Role::PushButton && n.name == "ok") a11y::Press(n.id);
        if (g_script.action == kEnd42) EndDialog(dialog, 42);
        if (g_script.action == kQuit5) PostQuitMessage(5);
        if (g_script.action == kDestroyOwner) DestroyWindow(g_script.owner);
        return TRUE;
    default: return FALSE;
    }
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        g_script = Script{};
        g_script.owner = owner = dialogs_test::MakeOwner();
        ASSERT_NE(owner, nullptr);
        testhost::Pump();
    }
    void TearDown() override { testhost::TearDown(); }

    static LPCDLGTEMPLATEW Template(int number) {
        HRSRC found = FindResourceW(core::MainModule(), MAKEINTRESOURCE(number), RT_DIALOG);
        return static_cast<LPCDLGTEMPLATEW>(LoadResource(core::MainModule(), found));
    }
    INT_PTR Run(LPCDLGTEMPLATEW dialogTemplate, UINT_PTR action, LPARAM param = 0) {
        g_script.action = action;
        return DialogBoxIndirectParamW(core::MainModule(), dialogTemplate, owner, DialogProcForTests, param);
    }
    static std::u16string ClassOf(HWND window) {
        core::Window *w = core::FromHandle(window);
        return w ? w->cls->name : u"";
    }

    HWND owner = nullptr;
};

TEST_F(Dialogs, AboutBecomesAFullScreenModalDialogWithItsControlsInPixels) {
    std::size_t windows = core::TopLevels().size();
    ASSERT_NE(Template(IDD_ABOUT), nullptr);
    EXPECT_EQ(Run(Template(IDD_ABOUT), kEnd42, 1234), 42);
    EXPECT_EQ(g_script.initParam, 1234);

    // While the loop ran: shown, active, full screen between the two bars, the owner disabled.
    EXPECT_TRUE(g_script.visibleAtTimer);
    EXPECT_TRUE(g_script.activeAtTimer);
    EXPECT_FALSE(g_script.ownerEnabledAtTimer);
    EXPECT_EQ(g_script.rectAtTimer.left, 0);
    EXPECT_EQ(g_script.rectAtTimer.top, 26);
    EXPECT_EQ(g_script.rectAtTimer.right, 240);
    EXPECT_EQ(g_script.rectAtTimer.bottom, 294);

    // The five controls, in template order, placed by the base units 7 x 14.
    ASSERT_EQ(g_script.children.size(), 5u);
    const struct {
        const char16_t *cls;
        LONG x, y, w, h;  // w, h < 0: the icon sizes itself
    } expected[] = {
        {u"static", 2, 4, -1, -1},   {u"static", 39, 4, 200, 32},   {u"static", 7, 165, 224, 86},
        {u"static", 5, 44, 228, 91}, {u"button", 5, 144, 229, 119},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const ChildSeen &c = g_script.children[i];
        EXPECT_TRUE(c.cls == expected[i].cls) << i;
        EXPECT_EQ(c.id, -1) << "0xFFFF in the template";
        EXPECT_EQ(c.rect.left, expected[i].x) << i;
        EXPECT_EQ(c.rect.top, expected[i].y) << i;
        if (expected[i].w < 0) continue;
        EXPECT_EQ(c.rect.right - c.rect.left, expected[i].w) << i;
        EXPECT_EQ(c.rect.bottom - c.rect.top, expected[i].h) << i;
    }

    // Afterwards: the dialog is gone, the owner enabled and active again.
    EXPECT_FALSE(IsWindow(g_script.dialog));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetForegroundWindow(), owner);
    EXPECT_EQ(core::TopLevels().size(), windows);
}

TEST_F(Dialogs, AScreenReaderFindsAboutAsADialogAndItsOkEndsIt) {
    HWND focus = CreateWindowExW(0, u"button", u"Start", WS_CHILD | WS_VISIBLE, 4, 48, 100, 28, owner, nullptr, nullptr,
                                 nullptr);
    SetFocus(focus);
    EXPECT_EQ(Run(Template(IDD_ABOUT), kPressOk), IDOK) << "the navigation bar's ok, pressed through the model";

    const std::vector<a11y::Node> &model = g_script.modelAtTimer;
    const a11y::Node *dialog = nullptr;
    for (const a11y::Node &n : model)
        if (n.role == a11y::Role::Dialog) dialog = &n;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->name, "About Cadenzo");
    EXPECT_TRUE(dialog->states & a11y::Active);
    std::vector<std::pair<a11y::Role, std::string>> inside;
    for (const a11y::Node &n : model)
        if (n.parent == dialog->id) inside.push_back({n.role, n.name.substr(0, 12)});
    const std::vector<std::pair<a11y::Role, std::string>> expected = {
        {a11y::Role::Image, ""},
        {a11y::Role::Label, "Cadenzo v2.1"},
        {a11y::Role::Label, "Metronomes, "},
        {a11y::Role::Label, "Cadenzo is a"},
        {a11y::Role::Grouping, "Lyrebay Soft"},
        {a11y::Role::PushButton, "ok"},
    };
    EXPECT_EQ(inside, expected);
    EXPECT_EQ(g_script.focusAtTimer, g_script.dialog) << "no control of About takes the focus: the dialog has it";
    EXPECT_EQ(GetFocus(), focus) << "the owner's control has the focus back afterwards";
}

TEST_F(Dialogs, WithoutTheShellsSizingTheDialogKeepsItsTemplateSizeBelowItsOwner) {
    g_script.fullScreen = false;
    EXPECT_EQ(Run(Template(IDD_ABOUT), kEnd42), 42);
    EXPECT_EQ(g_script.rectAtTimer.left, 0);
    EXPECT_EQ(g_script.rectAtTimer.top, 26) << "placed relative to its owner's client area";
    EXPECT_EQ(g_script.rectAtTimer.right, 240);
    EXPECT_EQ(g_script.rectAtTimer.bottom, 26 + 301);
}

TEST_F(Dialogs, EndedDuringInitDialogItIsNeverShown) {
    g_script.endInInit = true;
    EXPECT_EQ(Run(Template(IDD_ABOUT), 0), 7);
    EXPECT_FALSE(g_script.sawShow);
    EXPECT_FALSE(IsWindow(g_script.dialog));
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(Dialogs, AQuitMessageEndsTheDialogAndReachesTheLoopOutside) {
    Run(Template(IDD_ABOUT), kQuit5);
    EXPECT_FALSE(IsWindow(g_script.dialog));
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(Dialogs, DestroyingTheOwnerMeanwhileEndsTheLoopCleanly) {
    Run(Template(IDD_ABOUT), kDestroyOwner);
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(g_script.dialog)) << "the dialog went with its owner";
    EXPECT_EQ(dialogs_test::WindowsOfClass(u"Dialog").size(), 0u);
}

TEST_F(Dialogs, ATemplateOutsideTheModuleOrDamagedShowsNothing) {
    std::size_t windows = core::TopLevels().size();
    g_script.action = kEnd42;
    EXPECT_EQ(DialogBoxIndirectParamW(core::MainModule(), nullptr, owner, DialogProcForTests, 0), -1);

    // A well-formed template in the program's memory is not a resource: its end is unknown.
    struct {
        DLGTEMPLATE header;
        WORD menu, cls, title;
    } local{{0x80C80000u, 0, 0, 0, 0, 100, 100}, 0, 0, 0};
    EXPECT_EQ(DialogBoxIndirectParamW(core::MainModule(), &local.header, owner, DialogProcForTests, 0), -1);

    // The last bytes of a resource cannot hold a template.
    HRSRC found = FindResourceW(core::MainModule(), MAKEINTRESOURCE(IDD_ABOUT), RT_DIALOG);
    auto *bytes = static_cast<const std::uint8_t *>(LoadResource(core::MainModule(), found));
    DWORD size = SizeofResource(core::MainModule(), found);
    ASSERT_GT(size, 8u);
    EXPECT_EQ(DialogBoxIndirectParamW(core::MainModule(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes + size - 6), owner,
                                      DialogProcForTests, 0),
              -1);

    {
        // More items than the template holds: reading would run past its end.
        PatchedModule module;
        long about = module.OffsetOf(Template(IDD_ABOUT));
        ASSERT_GE(about, 0);
        ASSERT_EQ(module.Find(Words({0x0040, 0x80C8, 0, 0x8000, 5}), about), about);  // style, extended style, 5 items
        module.Write(about + 8, Words({60}));
        EXPECT_EQ(DialogBoxIndirectParamW(core::MainModule(), Template(IDD_ABOUT), owner, DialogProcForTests, 0), -1);
    }
    {
        // A control of a class the platform does not have: the dialog is not made at all.
        PatchedModule module;
        long about = module.OffsetOf(Template(IDD_ABOUT));
        ASSERT_GE(about, 0);
        // The only button of About is its group box.
        ASSERT_TRUE(module.Replace(Words({0xFFFF, 0x0080}), Words({0xFFFF, 0x0099}), about));
        EXPECT_EQ(DialogBoxIndirectParamW(core::MainModule(), Template(IDD_ABOUT), owner, DialogProcForTests, 0), -1);
    }
    EXPECT_EQ(g_script.dialog, nullptr) << "no dialog procedure ever ran";
    EXPECT_EQ(core::TopLevels().size(), windows);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
    EXPECT_FALSE(EndDialog(nullptr, 1));
}

TEST_F(Dialogs, TheShellSizesAnyTopLevelWindowAndShowsOk) {
    HWND window = CreateWindowExW(0, u"TestOwner", u"Popup", WS_POPUP | WS_VISIBLE, 10, 40, 100, 100, owner, nullptr,
                                  nullptr, nullptr);
    SHINITDLGINFO info{SHIDIM_FLAGS, window, SHIDIF_SIZEDLGFULLSCREEN};
    ASSERT_TRUE(SHInitDialog(&info));
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.bottom, 294) << "room is left for a menu bar";
    EXPECT_FALSE(core::FromHandle(window)->okButton);

    info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR | SHIDIF_DONEBUTTON;
    ASSERT_TRUE(SHInitDialog(&info));
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
    EXPECT_TRUE(core::FromHandle(window)->okButton);
    testhost::Pump();
    EXPECT_EQ(testhost::Pixel(215, 6), 0xFFFFFFu) << "the navigation bar shows \"ok\" for the active window";
    testhost::Tap(223, 13);
    ASSERT_FALSE(dialogs_test::Commands().empty());
    EXPECT_EQ(LOWORD(dialogs_test::Commands().back().first), IDOK);

    info.dwMask = 0;  // nothing asked: nothing done
    info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
    MoveWindow(window, 10, 40, 100, 100, FALSE);
    EXPECT_TRUE(SHInitDialog(&info));
    GetWindowRect(window, &r);
    EXPECT_EQ(r.top, 40);

    EXPECT_FALSE(SHInitDialog(nullptr));
    SHINITDLGINFO stale{SHIDIM_FLAGS, reinterpret_cast<HWND>(0x7777), SHIDIF_DONEBUTTON};
    EXPECT_FALSE(SHInitDialog(&stale));
}

// ---- Message boxes ----

// Taps the OK button of the message box in front, as a user would, from inside its modal loop.
struct BoxSeen {
    std::u16string caption;
    RECT rect{};
    bool ownerEnabled = true;
    bool hasButton = false;
};
BoxSeen g_box;

void CALLBACK PressOk(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND box = GetForegroundWindow();
    WCHAR caption[32];
    GetWindowTextW(box, caption, 32);
    g_box.caption = caption;
    GetWindowRect(box, &g_box.rect);
    g_box.ownerEnabled = app.mainWindow ? IsWindowEnabled(app.mainWindow) : IsWindowEnabled(g_script.owner);
    RECT button{};
    HWND ok = GetDlgItem(box, IDOK);
    g_box.hasButton = ok && GetWindowRect(ok, &button);
    host::Event e;
    if (!g_box.hasButton) {
        // No button to tap: Return closes the box all the same, so the test fails without hanging.
        e.kind = host::Event::KeyDown;
        e.key = VK_RETURN;
        core::PostInput(e);
        return;
    }
    e.time = GetTickCount();
    e.x = (button.left + button.right) / 2;
    e.y = (button.top + button.bottom) / 2;
    e.kind = host::Event::StylusDown;
    core::PostInput(e);
    e.kind = host::Event::StylusUp;
    core::PostInput(e);
}

TEST_F(Dialogs, AMessageBoxIsModalCentredAndClosedByItsOkButton) {
    g_box = BoxSeen{};
    testhost::ClearRecord();
    SetTimer(nullptr, 77, 100, PressOk);
    EXPECT_EQ(MessageBoxW(owner, u"Something to say", u"Note", MB_OK), IDOK);
    EXPECT_EQ(g_box.caption, u"Note") << "its caption is the title the navigation bar shows";
    EXPECT_TRUE(g_box.hasButton);
    EXPECT_FALSE(g_box.ownerEnabled);
    EXPECT_EQ(g_box.rect.left + g_box.rect.right, 240) << "centred across the screen";
    EXPECT_GT(g_box.rect.top, 26);
    EXPECT_LT(g_box.rect.bottom, 294);
    ASSERT_FALSE(testhost::Record().empty());
    EXPECT_NE(testhost::Record()[0].find("messagebox Note | Something to say"), std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetForegroundWindow(), owner);
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"MessageBox").empty());
}

// ---- The program with a dialog open ----

std::u16string g_activeTitle;

// Closes the desktop window, as its close button does, from inside the dialog's loop.
void CALLBACK PushClose(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    WCHAR title[32];
    GetWindowTextW(GetForegroundWindow(), title, 32);
    g_activeTitle = title;
    host::Event e;
    e.kind = host::Event::Close;
    e.time = GetTickCount();
    core::PostInput(e);
}

TEST_F(Dialogs, ClosingTheProgramWhileAboutIsOpenEndsTheDialogAndThenTheProgram) {
    DestroyWindow(owner);
    g_script.owner = nullptr;
    LoadSettings(core::MainModule());
    ASSERT_TRUE(InitInstance(core::MainModule(), SW_SHOW));
    testhost::Pump();
    HWND main = app.mainWindow, bar = app.menuBar;
    ASSERT_NE(bar, nullptr);
    SetTimer(nullptr, 79, 100, PushClose);
    // Ctrl+A's command; it returns when About's loop has ended.
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 1), 0);
    EXPECT_EQ(g_activeTitle, u"About Cadenzo") << "About was open when the window was closed";
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(bar)) << "the menu bar went with its window";
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"Dialog").empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT)) << "the program's own loop ends next";
    EXPECT_EQ(msg.wParam, 0u);
}

// ---- The program without its menu bar ----

TEST_F(Dialogs, WithoutItsMenuBarRecordTheProgramTellsAndKeepsTheDefaultSize) {
    DestroyWindow(owner);
    g_script.owner = nullptr;
    g_box = BoxSeen{};
    testhost::ClearRecord();
    {
        PatchedModule module;
        // Renumber the menu-bar record (type RCDATA, name 108) so that the shell cannot find it.
        ASSERT_TRUE(module.Replace(Words({0xFFFF, 10, 0xFFFF, IDR_MAINMENU}), Words({0xFFFF, 10, 0xFFFF, 9999})));
        LoadSettings(core::MainModule());
        app.menuBar = nullptr;
        SetTimer(nullptr, 78, 100, PressOk);
        // The message box runs its loop inside WM_CREATE, before the window is shown.
        ASSERT_TRUE(InitInstance(core::MainModule(), SW_SHOW));
    }
    testhost::Pump();
    EXPECT_EQ(g_box.caption, u"Error");
    EXPECT_TRUE(g_box.hasButton);
    bool logged = false;
    for (const std::string &line : testhost::Record())
        logged |= line.find("messagebox Error | SHCreateMenuBar Failed") != std::string::npos;
    EXPECT_TRUE(logged);

    EXPECT_EQ(app.menuBar, nullptr);
    RECT r;
    GetWindowRect(app.mainWindow, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320) << "the default rectangle: nothing was made room for";
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_TRUE(IsWindowEnabled(app.mainWindow));
    EXPECT_EQ(GetForegroundWindow(), app.mainWindow);
    EXPECT_NE(app.startStopButton, nullptr) << "the controls were made after the message box";
    EXPECT_TRUE(dialogs_test::WindowsOfClass(u"menu_worker").empty());
    DestroyWindow(app.mainWindow);
    testhost::Pump();
}

}  // namespace
