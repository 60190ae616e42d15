// The main window procedure's routing, the exit path and the single-instance rule.
#include "program_fixture.h"

namespace {

using Routing = ProgramTest;

TEST_F(Routing, ComboNotificationsOtherThanSelEndOkChangeNothing) {
    SendMessageW(app.timeSignatureCombo, CB_SETCURSEL, 3, 0);  // "4/4", chosen from code: no notification
    for (int code : {CBN_SELCHANGE, CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDCANCEL}) {
        Command(IDC_TIME_SIGNATURE, code);
        EXPECT_EQ(app.timeSignatureIndex, 0) << code;
        EXPECT_EQ(app.beatsPerMeasure, 2) << code;
    }
    Command(IDC_TIME_SIGNATURE, CBN_SELENDOK);
    EXPECT_EQ(app.timeSignatureIndex, 3);
    EXPECT_EQ(app.beatsPerMeasure, 4);
    EXPECT_EQ(app.secondaryAccentBeat, 3);

    SendMessageW(app.instrumentCombo, CB_SETCURSEL, 1, 0);  // "Guitar"
    Command(IDC_INSTRUMENT, CBN_SELCHANGE);
    EXPECT_EQ(Text(app.noteButtons[0]), u"A1");
    EXPECT_FALSE(IsWindowVisible(app.allButton));
    Command(IDC_INSTRUMENT, CBN_SELENDOK);
    EXPECT_EQ(Text(app.noteButtons[0]), u"E1");
    EXPECT_TRUE(IsWindowVisible(app.allButton));
}

TEST_F(Routing, AnUnknownCommandChangesNothing) {
    const int tempo = app.tempoPosition, beat = app.metronomeBeat, index = app.instrumentIndex, delay = app.noteDelayMs;
    EXPECT_EQ(SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(200, 0), 0), 0);
    EXPECT_EQ(SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TOOLS, 0), 0), 0);
    testhost::Advance(3000);
    EXPECT_TRUE(testhost::Record().empty()) << "no sound, no process, no message box";
    EXPECT_EQ(app.tempoPosition, tempo);
    EXPECT_EQ(app.metronomeBeat, beat);
    EXPECT_EQ(app.instrumentIndex, index);
    EXPECT_EQ(app.noteDelayMs, delay);
    EXPECT_EQ(Text(app.startStopButton), u"Start Metronome");
}

TEST_F(Routing, ExitLeavesThroughCloseAndDestroyWithQuitCodeZero) {
    Command(IDC_START_STOP);  // a running metronome's timer dies with the window
    Command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(app.mainWindow));
    testhost::Advance(2000);
    ASSERT_EQ(testhost::Record().size(), 1u);
    EXPECT_NE(testhost::Record()[0].find("quit 0"), std::string::npos) << testhost::Record()[0];
}

TEST_F(Routing, ASecondCopyFindsTheWindowBringsItForwardAndLeaves) {
    HWND first = app.mainWindow;
    std::size_t windows = core::TopLevels().size();
    EXPECT_FALSE(InitInstance(core::MainModule(), SW_SHOW));
    app.mainWindow = first;  // the second copy's own record; the first copy's is its own
    EXPECT_EQ(core::TopLevels().size(), windows) << "no second window";
    ASSERT_EQ(testhost::Record().size(), 1u);
    EXPECT_NE(testhost::Record()[0].find("foreground"), std::string::npos);
}

TEST_F(Routing, WithAMenuBarTheWindowIsShortenedBy26Pixels) {
    RECT r;
    GetWindowRect(app.mainWindow, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 240);
    ASSERT_NE(app.menuBar, nullptr);
    EXPECT_EQ(r.bottom, 294);
}

}  // namespace
