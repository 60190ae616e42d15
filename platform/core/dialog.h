// The dialog manager's arithmetic, shared with the tests that pin it.
#pragma once

#include <windows.h>

namespace core {

// value * numerator / denominator rounded to the nearest integer, halves away from zero (the
// platform's MulDiv). 0 when denominator is 0.
int ScaleRounded(int value, int numerator, int denominator);

// A rectangle of a dialog template (x, y, width, height in dialog units) in pixels for the base
// units of the dialog's font: x and width scale by baseX / 4, y and height by baseY / 8, each
// rounded on its own. The result is x, y, width, height (not right and bottom).
RECT DialogUnitsToPixels(int x, int y, int cx, int cy, int baseX, int baseY);

}  // namespace core
