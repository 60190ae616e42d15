// Registers the platform's control classes at start-up.
#include "common.h"
#include "controls.h"
#include "core.h"

namespace controls {
namespace {

struct ControlClass {
    const WCHAR *name;
    WNDPROC proc;
    unsigned platformFlags;
};

const ControlClass kClasses[] = {
    {u"button", ButtonProc, 0},
    {u"scrollbar", ScrollBarProc, 0},
    {u"combobox", ComboProc, 0},
    {kListClass, ListProc, core::kClassNoActivate},  // a pop-up over other windows, never active
    {u"static", StaticProc, 0},
};

}  // namespace

void RegisterClasses() {
    for (const ControlClass &c : kClasses) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = c.proc;
        wc.lpszClassName = c.name;
        core::RegisterPlatformClass(wc, c.platformFlags);
    }
}

}  // namespace controls
