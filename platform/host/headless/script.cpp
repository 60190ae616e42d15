// The simulator's script language: one command a line, '#' starts a comment.
#include <cctype>
#include <sstream>

#include "headless.h"
#include <windows.h>

namespace headless {
namespace {

bool ParseInt(const std::string &word, int low, int high, int *out) {
    if (word.empty() || word.size() > 9) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(word[i])) && !(word[i] == '-' && i == 0 && word.size() > 1))
            return false;
    int v = std::stoi(word);
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

// "ctrl+a", "f1", "return", "shift+left" ...
bool ParseKeys(std::string text, Command *c) {
    for (auto &ch : text) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    std::string key;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '+')) {
        if (part == "ctrl" || part == "control")
            c->ctrl = true;
        else if (part == "shift")
            c->shift = true;
        else if (part == "alt")
            c->alt = true;
        else if (!key.empty() || part.empty())
            return false;
        else
            key = part;
    }
    static const struct {
        const char *name;
        unsigned vk;
    } named[] = {{"return", VK_RETURN}, {"enter", VK_RETURN},  {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},
                 {"left", VK_LEFT},     {"right", VK_RIGHT},   {"up", VK_UP},         {"down", VK_DOWN},
                 {"space", VK_SPACE},   {"tab", VK_TAB},       {"f1", VK_F1},         {"backspace", VK_BACK},
                 {"pageup", VK_PRIOR},  {"pagedown", VK_NEXT}, {"home", VK_HOME},     {"end", VK_END},
                 {"f4", VK_F4}};
    for (const auto &n : named)
        if (key == n.name) {
            c->key = n.vk;
            return true;
        }
    if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0]))) {
        c->key = unsigned(std::toupper(static_cast<unsigned char>(key[0])));
        return true;
    }
    return false;
}

}  // namespace

bool ParseScript(const std::string &text, std::vector<Command> *out, std::string *error) {
    std::stringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        std::string line = raw.substr(0, raw.find('#'));
        std::stringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        Command c;
        c.line = number;
        bool ok = false;
        const std::string &verb = w[0];
        if (verb == "wait") {
            c.kind = Command::Wait;
            ok = w.size() == 2 && ParseInt(w[1], 0, 100000000, &c.a);
        } else if (verb == "tap" || verb == "down" || verb == "move" || verb == "up" || verb == "probe") {
            c.kind = verb == "tap"    ? Command::Tap
                     : verb == "down" ? Command::Down
                     : verb == "move" ? Command::Move
                     : verb == "up"   ? Command::Up
                                      : Command::Probe;
            ok = w.size() == 3 && ParseInt(w[1], -1000, 1000, &c.a) && ParseInt(w[2], -1000, 1000, &c.b);
        } else if (verb == "key") {
            c.kind = Command::Key;
            ok = w.size() == 2 && ParseKeys(w[1], &c);
        } else if (verb == "shot") {
            c.kind = Command::Shot;
            c.a = 1;
            ok = (w.size() == 2 || (w.size() == 3 && ParseInt(w[2], 1, 8, &c.a)));
            if (ok) c.file = w[1];
        }
        if (!ok) {
            *error = "line " + std::to_string(number) + ": cannot read \"" + raw + "\"";
            return false;
        }
        out->push_back(c);
    }
    return true;
}

}  // namespace headless
