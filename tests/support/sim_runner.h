// Runs the real simulator binary with a script and returns its trace, for whole-program tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Result {
    int status = -1;                 // the simulator's exit status
    std::vector<std::string> trace;  // one event a line, "T ..." as documented in docs/simulator.md
    std::string errors;              // standard error

    // Trace lines without their time stamps that start with `prefix` ("sound", "probe 6 29" ...).
    std::vector<std::string> Events(const std::string &prefix) const;
    // "T sound ID" lines as (T, ID) pairs.
    std::vector<std::pair<std::uint32_t, int>> Sounds() const;
    // The colour a "probe X Y" printed at time T ("" when absent).
    std::string ProbeAt(std::uint32_t time, int x, int y) const;
    bool Has(const std::string &line) const;
};

// A fresh directory for the program to run from.
std::string MakeDir();
// `environment`: "NAME=VALUE ..." set for the simulator alone (as `env` takes them).
Result Run(const std::string &script, const std::string &directory = "", const std::string &extraArgs = "",
           const std::string &environment = "");
void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes);
std::vector<unsigned char> ReadBytes(const std::string &path);
bool Exists(const std::string &path);

}  // namespace sim
