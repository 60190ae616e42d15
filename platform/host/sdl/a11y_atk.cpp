// The desktop's bridge to screen readers: the platform's accessibility model as ATK objects, put on the
// AT-SPI bus by ATK's own bridge (atk-bridge), without any toolkit.
//
// Implements: an AtkObject for each object of the model (roles, names, states, extents in the desktop
// window, relations: a slider labelled by its label, radio buttons members of their group), the "click"
// action of buttons and boxes (the model's Press, so BM_CLICK), AtkValue for the slider (the value the
// user reads, set through the scroll bar's notifications), AtkAction "press" on a drop-down list's
// items; the application root and the toolkit's global event listeners that atk-bridge needs (signal
// emission hooks); events when a name, a state, a value, the focus or the children change.
// GLib's main context, where atk-bridge does its D-Bus work, is served from the host's loop: a watcher
// thread polls the context's descriptors while the loop waits for SDL, and wakes it through SDL's queue
// when one is ready; the loop itself dispatches, so every ATK call is made on the main thread.
// Leaves out: text and table interfaces, key-event listeners, the menu bar.
// Without an accessibility bus (no session bus, or NO_AT_BRIDGE=1) nothing of this starts.
#include <atk-bridge.h>
#include <atk/atk.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "access.h"
#include "sdl_host.h"

// The GObject types, defined after the objects' functions (GLib's macros want the global scope).
struct CzObject {
    AtkObject parent;
    a11y::Id id;
    a11y::Node node;
    int item;  // a list item's index, else -1
};
struct CzObjectClass {
    AtkObjectClass parent_class;
};
GType cz_object_get_type();
GType cz_button_get_type();
GType cz_slider_get_type();

namespace sdlhost {
namespace {

// ---- The objects ----

constexpr a11y::Id kItemBit = a11y::Id(1) << 56;  // a drop-down list's item: list id | bit | index << 48

AtkObject *g_root = nullptr;
std::map<a11y::Id, CzObject *> g_objects;
std::vector<a11y::Node> g_nodes;  // the model as last synchronised
bool g_dirty = true;

CzObject *Cz(gpointer p) { return reinterpret_cast<CzObject *>(p); }

std::vector<a11y::Id> ChildrenOf(a11y::Id parent) {
    std::vector<a11y::Id> out;
    for (const a11y::Node &n : g_nodes)
        if (n.parent == parent) out.push_back(n.id);
    return out;
}

void Sync();

AtkObject *ObjectFor(a11y::Id id) {
    if (id == 0) return g_root;
    auto it = g_objects.find(id);
    return it == g_objects.end() ? nullptr : ATK_OBJECT(it->second);
}

// Children: the model's, and for a drop-down list its items.
int ChildCount(CzObject *o) {
    if (o->item >= 0) return 0;
    if (o->node.role == a11y::Role::ComboBox) return int(o->node.items.size());
    return int(ChildrenOf(o->id).size());
}

a11y::Id ItemId(a11y::Id list, int index) { return list | kItemBit | (a11y::Id(index) << 48); }

gint GetNChildren(AtkObject *obj) {
    Sync();
    if (obj == g_root) return gint(ChildrenOf(0).size());
    return ChildCount(Cz(obj));
}

AtkObject *RefChild(AtkObject *obj, gint i) {
    Sync();
    a11y::Id id = 0;
    if (obj == g_root) {
        auto kids = ChildrenOf(0);
        if (i < 0 || i >= int(kids.size())) return nullptr;
        id = kids[std::size_t(i)];
    } else if (Cz(obj)->node.role == a11y::Role::ComboBox && Cz(obj)->item < 0) {
        if (i < 0 || i >= int(Cz(obj)->node.items.size())) return nullptr;
        id = ItemId(Cz(obj)->id, i);
    } else {
        auto kids = ChildrenOf(Cz(obj)->id);
        if (i < 0 || i >= int(kids.size())) return nullptr;
        id = kids[std::size_t(i)];
    }
    AtkObject *child = ObjectFor(id);
    return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint IndexInParent(AtkObject *obj) {
    Sync();
    if (obj == g_root) return -1;
    CzObject *o = Cz(obj);
    if (o->item >= 0) return o->item;
    auto kids = ChildrenOf(o->node.parent);
    for (std::size_t i = 0; i < kids.size(); ++i)
        if (kids[i] == o->id) return gint(i);
    return -1;
}

AtkStateSet *RefStateSet(AtkObject *obj) {
    AtkStateSet *set = ATK_OBJECT_CLASS(g_type_class_peek(ATK_TYPE_OBJECT))->ref_state_set(obj);
    if (obj == g_root) return set;
    CzObject *o = Cz(obj);
    if (!g_objects.count(o->id)) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    const a11y::Node &n = o->node;
    if (o->item >= 0) {
        atk_state_set_add_state(set, ATK_STATE_SELECTABLE);
        if (n.selected == o->item) atk_state_set_add_state(set, ATK_STATE_SELECTED);
        atk_state_set_add_state(set, ATK_STATE_ENABLED);
        atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
        return set;
    }
    if (n.states & a11y::Visible) {
        atk_state_set_add_state(set, ATK_STATE_VISIBLE);
        atk_state_set_add_state(set, ATK_STATE_SHOWING);
    }
    if (n.states & a11y::Enabled) {
        atk_state_set_add_state(set, ATK_STATE_ENABLED);
        atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
    }
    if (n.states & a11y::Focusable) atk_state_set_add_state(set, ATK_STATE_FOCUSABLE);
    if (n.states & a11y::Focused) atk_state_set_add_state(set, ATK_STATE_FOCUSED);
    if (n.states & a11y::Checked) atk_state_set_add_state(set, ATK_STATE_CHECKED);
    if (n.states & a11y::Pressed) atk_state_set_add_state(set, ATK_STATE_PRESSED);
    if (n.states & a11y::Active) atk_state_set_add_state(set, ATK_STATE_ACTIVE);
    if (n.role == a11y::Role::CheckBox || n.role == a11y::Role::RadioButton)
        atk_state_set_add_state(set, ATK_STATE_CHECKABLE);
    if (n.role == a11y::Role::ComboBox) {
        atk_state_set_add_state(set, ATK_STATE_EXPANDABLE);
        if (n.states & a11y::Expanded) atk_state_set_add_state(set, ATK_STATE_EXPANDED);
    }
    if (n.role == a11y::Role::Slider) atk_state_set_add_state(set, ATK_STATE_HORIZONTAL);
    if (n.role == a11y::Role::Dialog) atk_state_set_add_state(set, ATK_STATE_MODAL);
    return set;
}

AtkRelationSet *RefRelationSet(AtkObject *obj) {
    AtkRelationSet *set = ATK_OBJECT_CLASS(g_type_class_peek(ATK_TYPE_OBJECT))->ref_relation_set(obj);
    if (obj == g_root) return set;
    const a11y::Node &n = Cz(obj)->node;
    auto add = [&](AtkRelationType type, const std::vector<a11y::Id> &targets) {
        std::vector<AtkObject *> objects;
        for (a11y::Id t : targets)
            if (AtkObject *o = ObjectFor(t)) objects.push_back(o);
        if (objects.empty()) return;
        AtkRelation *r = atk_relation_new(objects.data(), gint(objects.size()), type);
        atk_relation_set_add(set, r);
        g_object_unref(r);
    };
    if (n.labelledBy) add(ATK_RELATION_LABELLED_BY, {n.labelledBy});
    std::vector<a11y::Id> labelled, members;
    for (const a11y::Node &other : g_nodes) {
        if (other.labelledBy && other.labelledBy == n.id) labelled.push_back(other.id);
        if (n.group && other.group == n.group) members.push_back(other.id);
    }
    if (!labelled.empty()) add(ATK_RELATION_LABEL_FOR, labelled);
    if (!members.empty()) add(ATK_RELATION_MEMBER_OF, members);
    return set;
}

AtkRole RoleOf(const a11y::Node &n) {
    switch (n.role) {
    case a11y::Role::Frame: return ATK_ROLE_FRAME;
    case a11y::Role::Dialog: return ATK_ROLE_DIALOG;
    case a11y::Role::PushButton: return ATK_ROLE_PUSH_BUTTON;
    case a11y::Role::CheckBox: return ATK_ROLE_CHECK_BOX;
    case a11y::Role::RadioButton: return ATK_ROLE_RADIO_BUTTON;
    case a11y::Role::Slider: return ATK_ROLE_SLIDER;
    case a11y::Role::ComboBox: return ATK_ROLE_COMBO_BOX;
    case a11y::Role::Label: return ATK_ROLE_LABEL;
    case a11y::Role::Grouping: return ATK_ROLE_GROUPING;
    case a11y::Role::Image: return ATK_ROLE_IMAGE;
    }
    return ATK_ROLE_UNKNOWN;
}

AtkObject *GetParent(AtkObject *obj) {
    if (obj == g_root) return nullptr;
    CzObject *o = Cz(obj);
    if (o->item >= 0) return ObjectFor(o->id & ~(kItemBit | (a11y::Id(0xFF) << 48)));
    return ObjectFor(o->node.parent);
}

void ObjectClassInit(CzObjectClass *klass) {
    AtkObjectClass *atk = ATK_OBJECT_CLASS(klass);
    atk->get_n_children = GetNChildren;
    atk->ref_child = RefChild;
    atk->get_index_in_parent = IndexInParent;
    atk->ref_state_set = RefStateSet;
    atk->ref_relation_set = RefRelationSet;
    atk->get_parent = GetParent;
}

// ---- AtkComponent: where the object is in the desktop window ----

void GetExtents(AtkComponent *component, gint *x, gint *y, gint *width, gint *height, AtkCoordType type) {
    const a11y::Node &n = Cz(component)->node;
    int x0, y0, x1, y1;
    ScreenToWindow(n.x, n.y, &x0, &y0);
    ScreenToWindow(n.x + n.width, n.y + n.height, &x1, &y1);
    int wx = 0, wy = 0;
    if (type == ATK_XY_SCREEN) WindowPosition(&wx, &wy);
    if (x) *x = x0 + wx;
    if (y) *y = y0 + wy;
    if (width) *width = x1 - x0;
    if (height) *height = y1 - y0;
}

gboolean GrabFocus(AtkComponent *component) { return a11y::Focus(Cz(component)->id) ? TRUE : FALSE; }

void ComponentInit(AtkComponentIface *iface) {
    iface->get_extents = GetExtents;
    iface->grab_focus = GrabFocus;
}

// ---- AtkAction: buttons and boxes click, a list's item is pressed ----

gint ActionCount(AtkAction *) { return 1; }
const gchar *ActionName(AtkAction *action, gint i) {
    if (i != 0) return nullptr;
    return Cz(action)->item >= 0 ? "press" : "click";
}
gboolean DoAction(AtkAction *action, gint i) {
    if (i != 0) return FALSE;
    CzObject *o = Cz(action);
    bool ok = o->item >= 0 ? a11y::Select(o->node.id, o->item) : a11y::Press(o->id);
    return ok ? TRUE : FALSE;
}

void ActionInit(AtkActionIface *iface) {
    iface->get_n_actions = ActionCount;
    iface->get_name = ActionName;
    iface->do_action = DoAction;
}

// ---- AtkValue: the slider, in the numbers the user reads ----

void ValueAndText(AtkValue *value, gdouble *current, gchar **text) {
    const a11y::Node &n = Cz(value)->node;
    if (current) *current = n.value + n.shownOffset;
    if (text) *text = g_strdup(n.name.c_str());
}
AtkRange *Range(AtkValue *value) {
    const a11y::Node &n = Cz(value)->node;
    return atk_range_new(n.minimum + n.shownOffset, n.maximum + n.shownOffset, nullptr);
}
gdouble Increment(AtkValue *) { return 1.0; }
void SetValue(AtkValue *value, gdouble v) {
    const a11y::Node &n = Cz(value)->node;
    a11y::SetValue(n.id, int(std::lround(v)) - n.shownOffset);
}
void CurrentValue(AtkValue *value, GValue *out) {
    const a11y::Node &n = Cz(value)->node;
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, n.value + n.shownOffset);
}
void MinimumValue(AtkValue *value, GValue *out) {
    const a11y::Node &n = Cz(value)->node;
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, n.minimum + n.shownOffset);
}
void MaximumValue(AtkValue *value, GValue *out) {
    const a11y::Node &n = Cz(value)->node;
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, n.maximum + n.shownOffset);
}
gboolean SetCurrentValue(AtkValue *value, const GValue *v) {
    if (!G_VALUE_HOLDS_DOUBLE(v) && !G_VALUE_HOLDS_INT(v)) return FALSE;
    double d = G_VALUE_HOLDS_DOUBLE(v) ? g_value_get_double(v) : g_value_get_int(v);
    const a11y::Node &n = Cz(value)->node;
    return a11y::SetValue(n.id, int(std::lround(d)) - n.shownOffset) ? TRUE : FALSE;
}

void ValueInit(AtkValueIface *iface) {
    iface->get_value_and_text = ValueAndText;
    iface->get_range = Range;
    iface->get_increment = Increment;
    iface->set_value = SetValue;
    iface->get_current_value = CurrentValue;
    iface->get_minimum_value = MinimumValue;
    iface->get_maximum_value = MaximumValue;
    iface->set_current_value = SetCurrentValue;
}

}  // namespace
}  // namespace sdlhost

using namespace sdlhost;

G_DEFINE_TYPE_WITH_CODE(CzObject, cz_object, ATK_TYPE_OBJECT, G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit))
// GLib zeroes an instance's memory; the node's strings and lists are made and taken down here.
static void cz_object_init(CzObject *o) {
    new (&o->node) a11y::Node();
    o->id = 0;
    o->item = -1;
}
static void CzObjectFinalize(GObject *object) {
    reinterpret_cast<CzObject *>(object)->node.~Node();
    G_OBJECT_CLASS(cz_object_parent_class)->finalize(object);
}
static void cz_object_class_init(CzObjectClass *klass) {
    ObjectClassInit(klass);
    G_OBJECT_CLASS(klass)->finalize = CzObjectFinalize;
}

struct CzButton {
    CzObject parent;
};
struct CzButtonClass {
    CzObjectClass parent_class;
};
static void cz_button_init(CzButton *) {}
static void cz_button_class_init(CzButtonClass *) {}
G_DEFINE_TYPE_WITH_CODE(CzButton, cz_button, cz_object_get_type(), G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, ActionInit))

struct CzSlider {
    CzObject parent;
};
struct CzSliderClass {
    CzObjectClass parent_class;
};
static void cz_slider_init(CzSlider *) {}
static void cz_slider_class_init(CzSliderClass *) {}
G_DEFINE_TYPE_WITH_CODE(CzSlider, cz_slider, cz_object_get_type(), G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, ValueInit))

namespace sdlhost {
namespace {

// ---- Keeping the objects in step with the model ----

CzObject *Make(const a11y::Node &n, int item) {
    GType type = cz_object_get_type();
    if (item >= 0 || n.role == a11y::Role::PushButton || n.role == a11y::Role::CheckBox ||
        n.role == a11y::Role::RadioButton)
        type = cz_button_get_type();
    else if (n.role == a11y::Role::Slider)
        type = cz_slider_get_type();
    CzObject *o = Cz(g_object_new(type, nullptr));
    o->node = n;
    o->item = item;
    o->id = item >= 0 ? ItemId(n.id, item) : n.id;
    AtkObject *atk = ATK_OBJECT(o);
    atk_object_initialize(atk, nullptr);
    atk->role = item >= 0 ? ATK_ROLE_MENU_ITEM : RoleOf(n);
    atk_object_set_name(atk, item >= 0 ? n.items[std::size_t(item)].c_str() : n.name.c_str());
    return o;
}

void NotifyStates(AtkObject *atk, const a11y::Node &was, const a11y::Node &now) {
    static const std::pair<unsigned, AtkStateType> kMap[] = {
        {a11y::Visible, ATK_STATE_SHOWING}, {a11y::Enabled, ATK_STATE_ENABLED}, {a11y::Focused, ATK_STATE_FOCUSED},
        {a11y::Checked, ATK_STATE_CHECKED}, {a11y::Pressed, ATK_STATE_PRESSED}, {a11y::Expanded, ATK_STATE_EXPANDED},
        {a11y::Active, ATK_STATE_ACTIVE},
    };
    for (const auto &m : kMap)
        if ((was.states ^ now.states) & m.first)
            atk_object_notify_state_change(atk, m.second, (now.states & m.first) != 0);
}

void Remove(a11y::Id id) {
    auto it = g_objects.find(id);
    if (it == g_objects.end()) return;
    CzObject *o = it->second;
    g_objects.erase(it);
    atk_object_notify_state_change(ATK_OBJECT(o), ATK_STATE_DEFUNCT, TRUE);
    if (AtkObject *parent = ObjectFor(o->item >= 0 ? o->node.id : o->node.parent))
        g_signal_emit_by_name(parent, "children-changed::remove", -1, o);
    g_object_unref(o);
}

void Sync() {
    if (!g_dirty) return;
    g_dirty = false;
    std::vector<a11y::Node> nodes = a11y::Snapshot();
    std::map<a11y::Id, bool> live;
    std::vector<CzObject *> added;
    g_nodes = nodes;
    for (const a11y::Node &n : nodes) {
        live[n.id] = true;
        auto it = g_objects.find(n.id);
        if (it == g_objects.end()) {
            CzObject *o = Make(n, -1);
            g_objects[n.id] = o;
            added.push_back(o);
        } else {
            CzObject *o = it->second;
            a11y::Node was = o->node;
            o->node = n;
            AtkObject *atk = ATK_OBJECT(o);
            if (was.name != n.name) atk_object_set_name(atk, n.name.c_str());
            NotifyStates(atk, was, n);
            if (n.role == a11y::Role::Slider && (was.value != n.value || was.shownOffset != n.shownOffset)) {
                g_signal_emit_by_name(atk, "value-changed", double(n.value + n.shownOffset), n.name.c_str());
                g_object_notify(G_OBJECT(atk), "accessible-value");
            }
        }
        for (std::size_t i = 0; i < n.items.size(); ++i) {
            a11y::Id itemId = ItemId(n.id, int(i));
            live[itemId] = true;
            auto item = g_objects.find(itemId);
            if (item == g_objects.end()) {
                g_objects[itemId] = Make(n, int(i));
            } else {
                bool wasSelected = item->second->node.selected == int(i);
                item->second->node = n;
                if (wasSelected != (n.selected == int(i)))
                    atk_object_notify_state_change(ATK_OBJECT(item->second), ATK_STATE_SELECTED, !wasSelected);
            }
        }
    }
    std::vector<a11y::Id> gone;
    for (const auto &entry : g_objects)
        if (!live.count(entry.first)) gone.push_back(entry.first);
    for (a11y::Id id : gone) Remove(id);
    for (CzObject *o : added) {
        AtkObject *parent = ObjectFor(o->node.parent);
        if (parent) g_signal_emit_by_name(parent, "children-changed::add", IndexInParent(ATK_OBJECT(o)), o);
    }
}

void OnModelChange(a11y::Id, a11y::Change change, void *) {
    g_dirty = true;
    // A focus change is said at once, so the object that has it exists and has its state.
    if (change == a11y::Change::Focus) Sync();
}

// ---- The toolkit's side of ATK: the root and the global event listeners ----

AtkObject *GetRoot() { return g_root; }
const gchar *ToolkitName() { return "Cadenzo"; }
const gchar *ToolkitVersion() { return "1"; }

struct Hook {
    guint signal;
    gulong hook;
};
std::map<guint, Hook> g_hooks;
guint g_nextListener = 1;

// "Gtk:AtkObject:state-change" and the like: an emission hook on that signal of that type.
guint AddGlobalListener(GSignalEmissionHook listener, const gchar *eventType) {
    gchar **parts = g_strsplit(eventType, ":", 3);
    guint id = 0;
    if (parts[0] && parts[1] && parts[2]) {
        GType type = g_type_from_name(parts[1]);
        // The signals of a class or an interface (the bridge asks for both) exist once it is loaded.
        bool iface = type && G_TYPE_IS_INTERFACE(type);
        gpointer loaded = !type ? nullptr : iface ? g_type_default_interface_ref(type) : g_type_class_ref(type);
        guint signal = loaded ? g_signal_lookup(parts[2], type) : 0;
        if (signal) {
            gulong hook = g_signal_add_emission_hook(signal, 0, listener, g_strdup(eventType), g_free);
            id = g_nextListener++;
            g_hooks[id] = Hook{signal, hook};
        }
        if (loaded && iface) g_type_default_interface_unref(loaded);
        if (loaded && !iface) g_type_class_unref(loaded);
    }
    g_strfreev(parts);
    return id;
}

void RemoveGlobalListener(guint id) {
    auto it = g_hooks.find(id);
    if (it == g_hooks.end()) return;
    g_signal_remove_emission_hook(it->second.signal, it->second.hook);
    g_hooks.erase(it);
}

// ---- GLib's main context, served from the SDL loop ----

// The watcher keeps polling one set of descriptors across the loop's turns while nothing is ready
// there, so a turn costs no thread hand-over; it is given a new set only when the context's changes.
struct Pump {
    GMainContext *context = nullptr;
    std::thread watcher;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<GPollFD> fds;  // the set being polled, with what was found ready once `fired`
    bool polling = false;      // the watcher polls `fds`
    bool fired = false;        // something in `fds` is ready; the loop has been woken
    bool stop = false;
    int wake[2] = {-1, -1};  // interrupts the watcher's poll
    int priority = 0;
} g_pump;
bool g_started = false;

void Watch() {
    std::unique_lock<std::mutex> lock(g_pump.mutex);
    for (;;) {
        g_pump.changed.wait(lock, [] { return g_pump.polling || g_pump.stop; });
        if (g_pump.stop) return;
        std::vector<pollfd> p;
        for (const GPollFD &f : g_pump.fds) p.push_back(pollfd{f.fd, short(f.events), 0});
        p.push_back(pollfd{g_pump.wake[0], POLLIN, 0});
        lock.unlock();
        int n = poll(p.data(), p.size(), -1);
        lock.lock();
        if (p.back().revents & POLLIN) {
            char buffer[16];
            while (read(g_pump.wake[0], buffer, sizeof buffer) > 0) {
            }
        }
        bool ready = false;
        for (std::size_t i = 0; i < g_pump.fds.size() && n > 0; ++i) {
            g_pump.fds[i].revents = p[i].revents;
            ready = ready || p[i].revents;
        }
        g_pump.polling = false;
        g_pump.fired = ready;
        g_pump.changed.notify_all();
        if (ready) PushUserEvent(kUserAccess);
    }
}

bool SameSet(const std::vector<GPollFD> &a, const std::vector<GPollFD> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].fd != b[i].fd || a[i].events != b[i].events) return false;
    return true;
}

}  // namespace

bool StartAccessibility() {
    const char *no = std::getenv("NO_AT_BRIDGE");
    if (no && std::strcmp(no, "1") == 0) return false;
    // No session bus, no accessibility bus: nothing to start, and nothing to wait for.
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS") && !std::getenv("AT_SPI_BUS_ADDRESS")) return false;
    AtkUtilClass *util = ATK_UTIL_CLASS(g_type_class_ref(ATK_TYPE_UTIL));
    util->get_root = GetRoot;
    util->get_toolkit_name = ToolkitName;
    util->get_toolkit_version = ToolkitVersion;
    util->add_global_event_listener = AddGlobalListener;
    util->remove_global_event_listener = RemoveGlobalListener;
    g_root = ATK_OBJECT(g_object_new(cz_object_get_type(), nullptr));
    atk_object_initialize(g_root, nullptr);
    g_root->role = ATK_ROLE_APPLICATION;
    atk_object_set_name(g_root, "Cadenzo");
    a11y::SetListener(OnModelChange, nullptr);
    if (atk_bridge_adaptor_init(nullptr, nullptr) != 0) {
        a11y::SetListener(nullptr, nullptr);
        return false;
    }
    g_pump.context = g_main_context_default();
    g_main_context_acquire(g_pump.context);
    if (pipe(g_pump.wake) != 0) return false;
    for (int fd : g_pump.wake) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    g_pump.watcher = std::thread(Watch);
    g_started = true;
    Trace("accessibility bridge started");
    return true;
}

void StopAccessibility() {
    if (!g_started) return;
    {
        std::lock_guard<std::mutex> lock(g_pump.mutex);
        g_pump.stop = true;
        g_pump.changed.notify_all();
    }
    if (write(g_pump.wake[1], "x", 1) < 0) {
    }
    g_pump.watcher.join();
    a11y::SetListener(nullptr, nullptr);
    atk_bridge_adaptor_cleanup();
    g_started = false;
}

// Before the loop waits: the model's changes as ATK events, then the context's descriptors for the
// watcher (unless it already polls them, or found them ready). *waitMs is shortened to the context's
// own next timeout.
void AccessibilityBeforeWait(int *waitMs) {
    if (!g_started) return;
    Sync();
    g_main_context_prepare(g_pump.context, &g_pump.priority);
    std::vector<GPollFD> fds(8);
    int timeout = -1;
    int n;
    while ((n = g_main_context_query(g_pump.context, g_pump.priority, &timeout, fds.data(), gint(fds.size()))) >
           int(fds.size()))
        fds.resize(std::size_t(n));
    fds.resize(std::size_t(n));
    if (timeout >= 0 && (*waitMs < 0 || timeout < *waitMs)) *waitMs = timeout;
    std::unique_lock<std::mutex> lock(g_pump.mutex);
    if (SameSet(fds, g_pump.fds) && (g_pump.polling || g_pump.fired)) return;
    if (g_pump.polling && write(g_pump.wake[1], "x", 1) < 0) {
    }
    g_pump.changed.wait(lock, [] { return !g_pump.polling; });
    g_pump.fds = fds;
    for (GPollFD &f : g_pump.fds) f.revents = 0;
    g_pump.fired = false;
    g_pump.polling = true;
    g_pump.changed.notify_all();
}

// After the wait: what the watcher found ready (nothing while it still polls) is checked and
// dispatched here, on the main thread. True when the screen reader asked for an action, which the
// message loop must now run.
bool AccessibilityAfterWait() {
    if (!g_started) return false;
    std::vector<GPollFD> fds;
    {
        std::lock_guard<std::mutex> lock(g_pump.mutex);
        fds = g_pump.fds;
        if (g_pump.fired) {
            g_pump.fired = false;  // taken: the next turn gives the watcher the set again
        } else {
            for (GPollFD &f : fds) f.revents = 0;
        }
    }
    if (g_main_context_check(g_pump.context, g_pump.priority, fds.data(), gint(fds.size())))
        g_main_context_dispatch(g_pump.context);
    return a11y::ActionsPending();
}

}  // namespace sdlhost
