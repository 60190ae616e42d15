// The seam's other direction: what a host calls in the platform to start it and to show it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace platform {

// Prepares what the program finds on the handheld when it starts: its module instance over the
// embedded resources, the system font, the control classes, and the shell's screen furniture
// (navigation bar, bottom bar). Done once per process; later calls do nothing.
void Init();

// Init, then the program's WinMain; takes down the windows left when it returns. Returns its exit code.
int Run(int argc, char **argv);

// The program's icon 101 as 32 x 32 pixels, 0xAARRGGBB (alpha 0 where transparent), for a host
// that shows it as its window icon. False when the program carries no such icon.
bool AppIcon(std::vector<std::uint32_t> *pixels32x32);

// The program's module instance (the one its WinMain receives), for a host that reads the program's
// resources through the API.
HINSTANCE ProgramInstance();

// Keyboard access (on by default): Tab and Shift+Tab stop at every visible, enabled control that takes
// the focus. Off, they stop only at controls with WS_TABSTOP, as on the handheld.
void SetKeyboardAccess(bool on);

}  // namespace platform
