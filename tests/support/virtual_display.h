// A virtual X display of its own for the tests and benchmarks that run the real desktop program.
#pragma once

#include <sys/types.h>

#include <string>

namespace xdisplay {

// Starts Xvfb on a free display with one screen of `geometry` (e.g. "800x600x24"), its own errors
// discarded. Returns its process id and sets *display to ":N"; -1 when Xvfb could not be started or
// did not say which display it took.
pid_t Start(const std::string &geometry, std::string *display);

// Ends the display Start gave and waits for it. Does nothing for -1.
void Stop(pid_t pid);

}  // namespace xdisplay
