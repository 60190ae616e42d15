// Registers the platform's control classes at start-up.
#include "common.h"
#include "controls.h"

namespace controls {
void RegisterClasses() {
    RegisterButton();
    RegisterScrollBar();
    RegisterComboBox();
    RegisterStatic();
}
}  // namespace controls
