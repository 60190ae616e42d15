// The platform's start-up code.
//
// Implements: platform::Init, which prepares what the program finds on the handheld when it starts (its
// module instance over the embedded resources, the system font, the control classes, the navigation
// bar and the bottom bar); platform::AppIcon for the desktop window's icon; platform::ProgramInstance
// for a host that reads the program's resources; platform::SetKeyboardAccess. (platform::Run, which needs the program, is in run.cpp,
// so that tests of the platform alone can start it without one.)
// It sits above the core and the controls: the one place that knows both.
#include "startup.h"

#include "controls.h"
#include "core.h"
#include "font.h"

namespace platform {

void Init() {
    static bool done = false;
    if (done) return;
    done = true;
    font::Init();
    core::MainModule();
    controls::RegisterClasses();
    core::CreateScreenFurniture();
}

HINSTANCE ProgramInstance() { return core::MainModule(); }

void SetKeyboardAccess(bool on) { core::SetKeyboardAccess(on); }

bool AppIcon(std::vector<std::uint32_t> *pixels) {
    HICON icon = core::LoadIconSized(core::MainModule(), MAKEINTRESOURCE(101), 32);
    core::Icon *i = core::IconFromHandle(icon);
    if (!i || !pixels || i->image.width != 32 || i->image.height != 32) return false;
    pixels->assign(32 * 32, 0);
    for (std::size_t k = 0; k < pixels->size() && k < i->image.pixels.size(); ++k) {
        bool transparent = k < i->image.mask.size() && i->image.mask[k];
        (*pixels)[k] = transparent ? 0 : (0xFF000000u | i->image.pixels[k]);
    }
    return true;
}

}  // namespace platform
