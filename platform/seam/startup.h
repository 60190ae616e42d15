// The platform's start-up code: what runs before and after the program's WinMain.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Creates the module instance over the embedded resources, loads the system font, creates the
// shell's screen furniture (navigation bar, bottom bar) and calls WinMain. Returns its exit code.
int Run(int argc, char **argv);

// The program's icon 101 as 32 x 32 pixels, 0xAARRGGBB (alpha 0 where transparent), for a host
// that shows it as its window icon. False when the program carries no such icon.
bool AppIcon(std::vector<std::uint32_t> *pixels32x32);

}  // namespace platform
