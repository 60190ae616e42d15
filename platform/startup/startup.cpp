// The platform's start-up code.
//
// Implements: platform::Run, which prepares what the program finds on the handheld when it starts (its
// module instance over the embedded resources, the system font, the control classes, the navigation
// bar and the bottom bar), calls WinMain with the show command SW_SHOW, and takes down whatever windows
// remain when it returns; platform::AppIcon for the desktop window's icon.
// Leaves out: the command line (the program takes none; an empty one is passed).
#include "startup.h"

#include "controls/controls.h"
#include "core.h"
#include "font.h"

namespace core {
HICON LoadIconSized(HINSTANCE instance, LPCWSTR name, int size);
}

namespace platform {

int Run(int, char **) {
    font::Init();
    HINSTANCE instance = core::MainModule();
    controls::RegisterClasses();
    core::CreateScreenFurniture();
    WCHAR commandLine[1] = {0};
    int code = WinMain(instance, nullptr, commandLine, SW_SHOW);
    core::DestroyAllWindows();
    return code;
}

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
