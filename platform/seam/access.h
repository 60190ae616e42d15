// The platform's accessibility model, for the hosts' bridges to screen readers.
//
// One model, built on demand from the window tree: each visible control is an accessible object with a
// role, a name, states, its place on the screen and, by kind, a value and range (a scroll bar, as a
// slider) or its items and selection (a drop-down list). Text that a program paints into its own window
// with DrawTextW (the main window's coloured bars) is read as labels. A bridge asks for the tree,
// hears what changed, and acts through the platform's own messages: a press is BM_CLICK, a value goes
// to the owner as the scroll bar's own notifications, a choice from a list as a pick from it. Actions
// are queued and run by the message loop as sent messages are, stamped with the time they are run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace a11y {

using Id = std::uint64_t;  // stable while the object lives; 0 is none

enum class Role {
    Frame,        // a top-level window of the program
    Dialog,       // a dialog or message box
    PushButton,   // also the navigation bar's "ok" of a dialog
    CheckBox,     // Checked in its states when checked
    RadioButton,  // Checked when selected; `group` names its group
    Slider,       // a scroll bar: value, minimum, maximum
    ComboBox,     // a drop-down list: items, selected
    Label,        // static text, and text painted by the program
    Grouping,     // a group box, named by its caption
    Image,        // an icon
};

// States, as bits.
constexpr unsigned Visible = 1;
constexpr unsigned Enabled = 2;
constexpr unsigned Focusable = 4;
constexpr unsigned Focused = 8;
constexpr unsigned Checked = 16;
constexpr unsigned Pressed = 32;
constexpr unsigned Expanded = 64;  // a drop-down list whose list is down
constexpr unsigned Active = 128;   // the active top-level window

struct Node {
    Id id = 0;
    Id parent = 0;  // 0 for a top-level window
    Role role = Role::Label;
    std::string name;  // UTF-8
    unsigned states = 0;
    int x = 0, y = 0, width = 0, height = 0;  // screen pixels
    int value = 0, minimum = 0, maximum = 0;  // Slider
    std::vector<std::string> items;           // ComboBox
    int selected = -1;                        // ComboBox
    Id group = 0;                             // RadioButton: the first button of its group
    Id labelledBy = 0;                        // the label that names it, when its name comes from one
    // A slider whose label shows one whole number (the tempo bar: 60 shown at position 30): that number
    // minus the position, so value + shownOffset is what the user reads (0 otherwise). Set and read
    // the position itself through the actions.
    int shownOffset = 0;
};

// The whole tree: every visible top-level window of the program, each followed by its objects in
// creation order (parents always before their children).
std::vector<Node> Snapshot();
bool Find(Id id, Node *out);

enum class Change { Name, State, Value, Focus, Children };
// Called on the main thread when something changed; `id` is the object (for Children, the parent whose
// children changed). One listener; nullptr stops the calls. Costs nothing while no one listens.
using Listener = void (*)(Id id, Change change, void *context);
void SetListener(Listener listener, void *context);

// Actions, queued for the message loop; false when the object cannot do it now.
bool Press(Id id);                // buttons, boxes, the dialog's "ok"
bool SetValue(Id id, int value);  // a slider: clamped into its range
bool Select(Id id, int index);    // a drop-down list
bool Focus(Id id);                // anything that takes the focus
bool ActionsPending();            // a host waiting for events returns so the loop can run them

}  // namespace a11y
