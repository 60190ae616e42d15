// A window class that records the messages its windows receive, for expected-sequence tables.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace recorder {

struct Entry {
    HWND window;
    UINT message;
    WPARAM wParam;
    DWORD time;
};

std::vector<Entry> &Log();
// Registers the class "Recorder" once; its procedure logs every message and then defers to
// DefWindowProcW, but validates paints itself.
void Register();
HWND Create(HWND parent, int x, int y, int width, int height, DWORD style = WS_VISIBLE, int id = 0);
// The logged messages of one kind, as "window:message" names for side-by-side comparison.
std::vector<UINT> Messages(HWND window, const std::vector<UINT> &interesting);

}  // namespace recorder
