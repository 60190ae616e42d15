// A host for in-process tests of the platform: a clock that only the test moves, input the test
// pushes, and a record of what the platform asked the outside world to do.
//
// Tests drive the message loop with Pump() (PeekMessageW/DispatchMessageW until nothing is pending) and
// Advance(ms), which moves the clock a millisecond at a time so every timer fires at its due time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "host.h"

namespace testhost {

// Sets up the platform as start-up does (font, control classes, screen furniture), once per process,
// and resets the clock and the record. Windows a test made are destroyed by TearDown().
void SetUp();
void TearDown();

void Pump();
void Advance(std::uint32_t ms);
// Moves the clock without running the loop, as when the program was busy: the next Pump() finds every
// timer that fell due meanwhile.
void Jump(std::uint32_t ms);
std::uint32_t Now();
void Tap(int x, int y);
void Down(int x, int y);
void Move(int x, int y);
void Up(int x, int y);
void Key(unsigned vk, bool ctrl = false, bool shift = false, bool alt = false);  // pressed and released
void KeyDown(unsigned vk, bool alt = false);
void KeyUp(unsigned vk, bool alt = false);

// "T sound ID", "T process APP ARGS", "T foreground", "T messagebox ..." as the simulator traces them.
const std::vector<std::string> &Record();
void ClearRecord();
std::uint32_t Pixel(int x, int y);  // 0xRRGGBB of the screen
// Registers a test's own window class, its background white when asked; a second call for the same
// name changes nothing (the platform refuses a name already registered).
void RegisterTestClass(const char16_t *name, WNDPROC proc, bool whiteBackground = false);
// Whether the host's sound output works (true after SetUp); a change is reported as the host would.
void SetSoundWorks(bool works);
// What the platform last told the host: keep the screen on (a timer of the program's own runs), and
// how many times it told it so far.
bool ScreenKeptOn();
int ScreenOnChanges();

}  // namespace testhost
