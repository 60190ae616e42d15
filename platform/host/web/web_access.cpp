// The browser's bridge to screen readers, its program side: the platform's accessibility model handed
// to the page (access_layer.js), which keeps a layer of HTML elements with ARIA roles over the canvas.
//
// Implements: the model's change events passed on to the page as they come (it gathers them and asks
// for the tree once they stop); the tree as JSON text (every object with its role, name, states, place
// on the screen, a slider's value and range with the number the user reads, a list's items and
// selection, a radio button's group); the model's actions (press, value, choice, focus) for the page's
// elements, each waking the message loop that runs it.
// Leaves out: a page that turned the layer off (the benchmark's comparison) gets no events and no tree.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "access.h"
#include "web_access.h"

extern "C" {
int web_access_wanted();                           // 0: the page runs without its layer
void web_access_changed(double id, int change);    // an object changed (the page gathers them)
void web_access_tree(const char *json, int size);  // the tree, asked for by cadenzo_access_refresh
}

namespace webhost {
namespace {

const char *RoleName(a11y::Role role) {
    switch (role) {
    case a11y::Role::Frame: return "frame";
    case a11y::Role::Dialog: return "dialog";
    case a11y::Role::PushButton: return "button";
    case a11y::Role::CheckBox: return "checkbox";
    case a11y::Role::RadioButton: return "radio";
    case a11y::Role::Slider: return "slider";
    case a11y::Role::ComboBox: return "combobox";
    case a11y::Role::Label: return "label";
    case a11y::Role::Grouping: return "group";
    case a11y::Role::Image: return "image";
    }
    return "label";
}

// A JSON string: quotes, backslashes and control characters escaped; the UTF-8 passed as it is.
void AddString(std::string *out, const std::string &text) {
    out->push_back('"');
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(char(c));
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out->append(escaped);
        } else {
            out->push_back(char(c));
        }
    }
    out->push_back('"');
}

void AddNumber(std::string *out, const char *name, long long value) {
    char field[48];
    std::snprintf(field, sizeof field, ",\"%s\":%lld", name, value);
    out->append(field);
}

// Ids go to the page as numbers: a window's handle with a sub-object's index above bit 40, well
// within the 53 bits a JavaScript number holds exactly.
a11y::Id IdOf(double id) { return id >= 0 && id < 9007199254740992.0 ? a11y::Id(id) : 0; }

void Changed(a11y::Id id, a11y::Change change, void *) { web_access_changed(double(id), int(change)); }

}  // namespace

std::string AccessTreeJson() {
    std::string out = "[";
    bool first = true;
    for (const a11y::Node &n : a11y::Snapshot()) {
        if (!first) out.push_back(',');
        first = false;
        out.append("{\"role\":");
        AddString(&out, RoleName(n.role));
        AddNumber(&out, "id", (long long)n.id);
        AddNumber(&out, "parent", (long long)n.parent);
        out.append(",\"name\":");
        AddString(&out, n.name);
        AddNumber(&out, "states", n.states);
        AddNumber(&out, "x", n.x);
        AddNumber(&out, "y", n.y);
        AddNumber(&out, "width", n.width);
        AddNumber(&out, "height", n.height);
        if (n.role == a11y::Role::Slider) {
            // As the user reads it: the number the label shows, and the range in those numbers.
            AddNumber(&out, "value", (long long)n.value + n.shownOffset);
            AddNumber(&out, "minimum", (long long)n.minimum + n.shownOffset);
            AddNumber(&out, "maximum", (long long)n.maximum + n.shownOffset);
            AddNumber(&out, "labelledBy", (long long)n.labelledBy);
        }
        if (n.role == a11y::Role::ComboBox) {
            out.append(",\"items\":[");
            for (std::size_t i = 0; i < n.items.size(); ++i) {
                if (i) out.push_back(',');
                AddString(&out, n.items[i]);
            }
            out.push_back(']');
            AddNumber(&out, "selected", n.selected);
        }
        if (n.role == a11y::Role::RadioButton) AddNumber(&out, "group", (long long)n.group);
        out.push_back('}');
    }
    out.push_back(']');
    return out;
}

void StartAccess() {
    if (web_access_wanted()) a11y::SetListener(Changed, nullptr);
}

}  // namespace webhost

// What the page calls. The actions are queued for the message loop (the page wakes it); each returns
// 0 when the object cannot do it now (gone, disabled, not of that kind).
extern "C" {

EMSCRIPTEN_KEEPALIVE void cadenzo_access_refresh() {
    std::string json = webhost::AccessTreeJson();
    web_access_tree(json.data(), int(json.size()));
}

EMSCRIPTEN_KEEPALIVE int cadenzo_access_press(double id) { return a11y::Press(webhost::IdOf(id)) ? 1 : 0; }

// `value` as the user reads it (the slider's shown number).
EMSCRIPTEN_KEEPALIVE int cadenzo_access_set_value(double id, int value) {
    a11y::Node n;
    if (!a11y::Find(webhost::IdOf(id), &n)) return 0;
    return a11y::SetValue(n.id, value - n.shownOffset) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int cadenzo_access_select(double id, int index) {
    return a11y::Select(webhost::IdOf(id), index) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int cadenzo_access_focus(double id) { return a11y::Focus(webhost::IdOf(id)) ? 1 : 0; }

}  // extern "C"
