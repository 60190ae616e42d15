// The headless host: a virtual clock, scripted input, a captured screen and recorded sound.
//
// The clock moves only while the program's loop waits, so a script runs the same way every time and an
// hour of beats runs as fast as the machine goes. The script is read one command at a time whenever the
// program is idle; what the program does is written to a trace, one event a line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace headless {

struct Command {
    enum Kind { Wait, Tap, Down, Move, Up, Key, Shot, Probe } kind;
    int a = 0, b = 0;  // wait: a = ms; tap/down/move/up/probe: x, y; shot: a = scale
    unsigned key = 0;  // key: virtual-key code
    bool ctrl = false, shift = false, alt = false;
    std::string file;  // shot
    int line = 0;
};

// Parses a script; on a malformed line sets `error` to "line N: ..." and returns false.
bool ParseScript(const std::string &text, std::vector<Command> *out, std::string *error);

struct Config {
    std::string directory;  // where the program runs from (its settings live there)
    std::string wavPath;    // when set, the output stream is written there at the end
    bool silent = false;    // no sound output works (the navigation bar says so)
    std::vector<Command> script;
    std::FILE *trace = stdout;
};

// Runs the program on this host with the script. Returns the program's exit code when it ends by
// itself (the trace says "exit CODE"); when the script ends first the trace says "end" and the process
// ends at once, leaving the program as it was.
int Run(const Config &config);

}  // namespace headless
