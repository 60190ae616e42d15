// The desktop program: the handheld program on the SDL host.
//
// Opens the window (with the program's icon) and the audio device, runs the program until it
// ends, and closes everything. Without a display it says so in one line and fails.
#include <cstdio>
#include <string>
#include <vector>

#include "sdl_host.h"
#include "startup.h"

int main(int argc, char **argv) {
    std::string error;
    if (!sdlhost::Open(sdlhost::Options{}, &error)) {
        std::fprintf(stderr, "cadenzo: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::uint32_t> icon;
    if (platform::AppIcon(&icon) && icon.size() == 32 * 32)
        sdlhost::SetIcon(icon.data(), 32, 32);
    int code = platform::Run(argc, argv);
    sdlhost::Close();
    return code;
}
