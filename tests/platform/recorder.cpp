#include "recorder.h"

#include "test_host.h"

#include <algorithm>

namespace recorder {

std::vector<Entry> &Log() {
    static std::vector<Entry> log;
    return log;
}

namespace {
LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Log().push_back(Entry{window, message, wParam, DWORD(GetMessageTime())});
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

void Register() { testhost::RegisterTestClass(u"Recorder", Proc, true); }

HWND Create(HWND parent, int x, int y, int width, int height, DWORD style, int id) {
    Register();
    if (parent) style |= WS_CHILD;
    return CreateWindowExW(0, u"Recorder", u"", style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
}

std::vector<UINT> Messages(HWND window, const std::vector<UINT> &interesting) {
    std::vector<UINT> out;
    for (const Entry &e : Log())
        if ((!window || e.window == window) &&
            std::find(interesting.begin(), interesting.end(), e.message) != interesting.end())
            out.push_back(e.message);
    return out;
}

}  // namespace recorder
