// cadenzo-sim: runs the program on the headless host, driven by a script, and prints what a user
// would see and hear. See docs/simulator.md for the script and trace formats.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/host/headless/headless.h"
#include "platform/host/headless/sounds_export.h"

namespace {

int Usage() {
    std::cerr << "usage: cadenzo-sim [--dir DIR] [--wav FILE] [--no-sound] SCRIPT   (SCRIPT '-' reads standard input)\n"
                 "       cadenzo-sim --export-sounds DIR\n";
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    headless::Config config;
    std::string scriptPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--dir" || arg == "--wav" || arg == "--export-sounds") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--dir")
                config.directory = value;
            else if (arg == "--wav")
                config.wavPath = value;
            else
                return headless::ExportSounds(value) ? 0 : 1;
        } else if (arg == "--no-sound") {
            config.silent = true;
        } else if (scriptPath.empty() && (arg == "-" || arg[0] != '-')) {
            scriptPath = arg;
        } else {
            return Usage();
        }
    }
    if (scriptPath.empty()) return Usage();

    std::stringstream text;
    if (scriptPath == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(scriptPath);
        if (!in) {
            std::cerr << "cadenzo-sim: cannot read " << scriptPath << "\n";
            return 2;
        }
        text << in.rdbuf();
    }
    std::string error;
    if (!headless::ParseScript(text.str(), &config.script, &error)) {
        std::cerr << "cadenzo-sim: " << error << "\n";
        return 2;
    }

    if (config.directory.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cadenzo-sim-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (!mkdtemp(buffer.data())) {
            std::cerr << "cadenzo-sim: cannot make a directory to run in\n";
            return 2;
        }
        config.directory = buffer.data();
    } else {
        struct stat st;
        if (stat(config.directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::cerr << "cadenzo-sim: " << config.directory << " is not a directory\n";
            return 2;
        }
    }
    headless::Run(config);
    return 0;
}
