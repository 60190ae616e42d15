// The platform's control classes: "button", "scrollbar", "combobox", "static".
#pragma once

namespace controls {
// Registers every control class; called once by the platform's start-up.
void RegisterClasses();
}  // namespace controls
