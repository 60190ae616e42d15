// Keys of the desktop keyboard as the handheld's virtual-key codes.
//
// Implements: letters, digits, Return, Escape, Backspace, Tab, Space, the arrows, Page Up, Page Down,
// Home, End, F1 (the help key), F4 (drops a list) and the modifier keys themselves.
// Leaves out: the numeric keypad's digits, punctuation, the other function keys.
#include <SDL.h>

#include "sdl_host.h"
#include "windows.h"

namespace sdlhost {

unsigned VirtualKey(int sdlKey) {
    if (sdlKey >= SDLK_a && sdlKey <= SDLK_z) return unsigned('A' + (sdlKey - SDLK_a));
    if (sdlKey >= SDLK_0 && sdlKey <= SDLK_9) return unsigned('0' + (sdlKey - SDLK_0));
    switch (sdlKey) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_F1: return VK_F1;
    case SDLK_F4: return VK_F4;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    default: return 0;
    }
}

}  // namespace sdlhost
