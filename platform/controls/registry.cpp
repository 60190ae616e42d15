// Registers the platform's control classes at start-up.
#include "controls.h"

namespace controls {
void RegisterClasses() {}
}  // namespace controls
