// The desktop program: the handheld program on the SDL host.
//
// Answers --help (or -h) and --version (the program itself takes no command line; anything else is refused
// with exit code 2), opens the window (with the program's icon) and the audio device, makes the
// user's settings folder, runs the program until it ends, and closes everything. Without a display a
// person can see it says so in one line and fails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sdl_host.h"
#include "startup.h"

#ifndef CADENZO_VERSION
#define CADENZO_VERSION "unknown"
#endif

namespace {

void PrintUsage() {
    std::printf("Usage: cadenzo [-h | --help | --version]\n"
                "A metronome and player of tuning notes for a 240 x 320 handheld screen.\n"
                "\n"
                "  -h, --help  show this text and exit\n"
                "  --version   show the version and exit\n"
                "\n"
                "Settings are kept in %s/Cadenzo.ini.\n"
                "\n"
                "Environment:\n"
                "  CADENZO_SCALE         window scale factor, 1 to 16 (default: the largest that fits)\n"
                "  CADENZO_LATENCY       ms from a tap to its sound and picture, 10 to 1000 (default %d)\n"
                "  CADENZO_AUDIO         pipewire, pulse or sdl: the only sound output tried\n"
                "  CADENZO_AUDIO_BUFFER  frames per audio buffer, 64 to 4096 (default %d)\n"
                "  CADENZO_TRACE         1 (standard error) or a file name: a log of sounds and frames\n"
                "  CADENZO_KEYBOARD_ACCESS  0: Tab stops only where the program asks (default 1: at every\n"
                "                        control)\n"
                "  NO_AT_BRIDGE          1: stay off the accessibility bus (screen readers)\n",
                sdlhost::ConfigFolder().c_str(), sdlhost::kLatencyMs, sdlhost::kBufferFrames);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1) {
        if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
            PrintUsage();
            return 0;
        }
        if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
            std::printf("cadenzo %s\n", CADENZO_VERSION);
            return 0;
        }
        std::fprintf(stderr, "cadenzo: unknown argument '%s' (try cadenzo --help)\n", argv[1]);
        return 2;
    }
    std::string error;
    if (!sdlhost::Open(sdlhost::Options{}, &error)) {
        std::fprintf(stderr, "cadenzo: %s\n", error.c_str());
        return 1;
    }
    // Without its folder the program still runs; its choices are then not kept.
    if (!sdlhost::MakeConfigFolder(&error))
        std::fprintf(stderr, "cadenzo: %s; settings will not be kept\n", error.c_str());
    std::vector<std::uint32_t> icon;
    if (platform::AppIcon(&icon) && icon.size() == 32 * 32) sdlhost::SetIcon(icon.data(), 32, 32);
    // The menu entry's icon at every size, where the theme's pictures are found.
    std::string executable = sdlhost::ExecutablePath();
    sdlhost::SetIcons(
        sdlhost::ThemeIcons(executable.substr(0, executable.rfind('/')), CADENZO_APP_ID, {16, 32, 48, 64, 128, 256}));
    if (const char *access = std::getenv("CADENZO_KEYBOARD_ACCESS"); access && std::strcmp(access, "0") == 0)
        platform::SetKeyboardAccess(false);
    sdlhost::StartAccessibility();
    int code = platform::Run(argc, argv);
    sdlhost::StopAccessibility();
    sdlhost::Close();
    return code;
}
