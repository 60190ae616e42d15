// Screen readers without ATK: a desktop host built where libatk's development files are missing runs
// as before, with no accessibility bridge.
#include "sdl_host.h"

namespace sdlhost {

bool StartAccessibility() { return false; }
void StopAccessibility() {}
void AccessibilityBeforeWait(int *) {}
bool AccessibilityAfterWait() { return false; }

}  // namespace sdlhost
