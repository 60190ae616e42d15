#include "sim_runner.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim {

std::vector<std::string> Result::Events(const std::string &prefix) const {
    std::vector<std::string> out;
    for (const auto &line : trace) {
        auto space = line.find(' ');
        if (space == std::string::npos) continue;
        std::string event = line.substr(space + 1);
        if (event.compare(0, prefix.size(), prefix) == 0) out.push_back(event);
    }
    return out;
}

std::vector<std::pair<std::uint32_t, int>> Result::Sounds() const {
    std::vector<std::pair<std::uint32_t, int>> out;
    for (const auto &line : trace) {
        std::istringstream in(line);
        std::uint32_t t;
        std::string word;
        int id;
        if (in >> t >> word >> id && word == "sound") out.push_back({t, id});
    }
    return out;
}

std::string Result::ProbeAt(std::uint32_t time, int x, int y) const {
    std::string want = std::to_string(time) + " probe " + std::to_string(x) + " " + std::to_string(y) + " ";
    for (const auto &line : trace)
        if (line.compare(0, want.size(), want) == 0) return line.substr(want.size());
    return "";
}

bool Result::Has(const std::string &line) const {
    for (const auto &l : trace)
        if (l == line) return true;
    return false;
}

std::string MakeDir() {
    char pattern[] = "/tmp/cadenzo-test-XXXXXX";
    char *dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

static std::string ReadText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Result Run(const std::string &script, const std::string &directory, const std::string &extraArgs,
           const std::string &environment) {
    std::string work = MakeDir();
    std::string scriptPath = work + "/script.txt";
    std::ofstream(scriptPath) << script;
    std::string command = (environment.empty() ? std::string() : "env " + environment + " ") + "'" + CADENZO_SIM + "'" +
                          (directory.empty() ? "" : " --dir '" + directory + "'") + " " + extraArgs + " '" +
                          scriptPath + "' > '" + work + "/out.txt' 2> '" + work + "/err.txt'";
    int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream lines(ReadText(work + "/out.txt"));
    for (std::string line; std::getline(lines, line);) r.trace.push_back(line);
    r.errors = ReadText(work + "/err.txt");
    if (std::system(("rm -rf '" + work + "'").c_str()) != 0)
        std::fprintf(stderr, "sim_runner: could not remove %s\n", work.c_str());
    return r;
}

void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<unsigned char> ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace sim
