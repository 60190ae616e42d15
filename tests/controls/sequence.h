// Expected message-sequence tables for the control classes.
//
// A parent window records what its controls tell it (WM_COMMAND with the notification and the control's
// identifier, WM_HSCROLL with the code and position, the window text of the control at that moment)
// together with the clock; a test compares the record with a const table ended by kEnd and sees both
// side by side when they differ.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_host.h"

namespace seq {

constexpr DWORD kAnyTime = 0xFFFFFFFF;
constexpr int kTop = 26;  // the parent's client area starts at this screen row

// One expected message: WM_COMMAND(code = notification, value = identifier), WM_HSCROLL(code = scroll
// code, value = position), WM_LBUTTONDOWN(code = x, value = y in the parent), WM_ERASEBKGND / WM_PAINT
// (code = value = 0). `text`, when given, is the sending control's window text at that moment.
struct Expected {
    UINT message;
    int code;
    int value;
    DWORD time;
    const char16_t *text;
};
constexpr Expected kEnd = {0, 0, 0, 0, nullptr};  // ends a table
// The rows the tables hold most, at any time: a button's click, and a notification of the combo box
// (identifier 103, as the time-signature list).
constexpr Expected Clicked(int id, const char16_t *text) { return {WM_COMMAND, BN_CLICKED, id, kAnyTime, text}; }
constexpr Expected Combo(int code, const char16_t *text) { return {WM_COMMAND, code, 103, kAnyTime, text}; }

struct Logged {
    UINT message;
    int code;
    int value;
    DWORD time;
    std::u16string text;
};

// Times are milliseconds since the last Clear().
std::vector<Logged> &Log();
void Clear();
::testing::AssertionResult SequenceIs(const Expected *expected);

// The parent: a top-level window over the application area (screen rows 26 to 293), painted in
// kParentColor. It records the messages above; taps and paints only while asked to.
constexpr std::uint32_t kParentColor = 0xFFFFC0;  // pale yellow, 0xRRGGBB
HWND CreateParent();
void LogTaps(bool on);
void LogPaints(bool on);
RECT LastPaintRect();
// When set, the parent moves a scroll bar as an owner would: a line is 1, a page 10, the thumb codes
// set the position they carry; everything else keeps it.
void EchoScrolling(bool on);
// Called after a WM_COMMAND is recorded (for tests where the parent acts on a notification).
void OnCommand(std::function<void(WPARAM, LPARAM)> action);

// Colours the controls draw with, 0xRRGGBB.
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kNavy = 0x000080;  // a selected item

// What every control test starts from: the test host set up and the parent made; the test's
// windows are destroyed after it. Fixtures make their controls in their own SetUp, then Settle().
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        parent = CreateParent();
    }
    void TearDown() override { testhost::TearDown(); }
    // Lets the controls made so far draw, then forgets what they sent.
    static void Settle() {
        testhost::Pump();
        Clear();
    }

    HWND parent = nullptr;
};

HWND Make(HWND parent, const char16_t *windowClass, const char16_t *text, DWORD style, int x, int y, int width,
          int height, int id);

// Screen pixels.
std::uint32_t Pixel(int x, int y);
// Pixels of a screen rectangle in `color`.
int CountColor(const RECT &screen, std::uint32_t color);
// The leftmost/rightmost/top/bottom screen column or row in `screen` holding `color`; -1 when none.
RECT InkBounds(const RECT &screen, std::uint32_t color);
// The pixels of a screen rectangle, row by row, for comparing two drawings.
std::vector<std::uint32_t> Grab(const RECT &screen);

}  // namespace seq
