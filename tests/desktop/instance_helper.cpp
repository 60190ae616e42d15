// A second copy for the tests of other copies. Usage:
//   desktop_instance_helper find CLASS TITLE    claim; if another copy holds it, ask it to the front
//   desktop_instance_helper hold CLASS TITLE    claim; report; hold until standard input closes
//   desktop_instance_helper crash CLASS TITLE   claim and die at once, leaving its socket file
//   desktop_instance_helper serve CLASS TITLE   open the events-only host, claim, and run until a
//                                               Close event (a termination signal) arrives
// Prints "found" or "held" on its first line.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host.h"
#include "sdl_host.h"

namespace {

std::u16string Wide(const char *text) {
    std::u16string out;
    for (; *text; ++text) out += char16_t(static_cast<unsigned char>(*text));
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    std::string mode = argv[1];
    std::u16string className = Wide(argv[2]), title = Wide(argv[3]);
    if (mode == "serve") {
        std::string error;
        if (!sdlhost::Open(sdlhost::Options{false, false}, &error)) return 5;
    }
    bool found = host::ClaimOrFind(className, title);
    std::printf("%s\n", found ? "found" : "held");
    std::fflush(stdout);
    if (mode == "find") {
        if (found && !host::AskOtherToForeground(className, title)) return 3;
    } else if (mode == "hold") {
        char buffer[16];
        while (read(0, buffer, sizeof buffer) > 0) {
        }
    } else if (mode == "serve") {
        host::Event event;
        while (!host::WaitEvent(false, 0, &event) || event.kind != host::Event::Close) {
        }
        sdlhost::Close();
        return 0;
    } else if (mode == "crash") {
        _exit(found ? 4 : 0);
    } else {
        return 2;
    }
    sdlhost::StopWatcher();
    sdlhost::ReleaseIdentities();
    return 0;
}
