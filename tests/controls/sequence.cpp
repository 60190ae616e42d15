#include "sequence.h"

#include <algorithm>
#include <sstream>

#include "test_host.h"

namespace seq {
namespace {

bool g_logPaints = false;
bool g_logTaps = false;
std::uint32_t g_zero = 0;  // the clock at the last Clear()
bool g_echo = false;
RECT g_lastPaint{};
std::function<void(WPARAM, LPARAM)> g_onCommand;

std::string Narrow(const std::u16string &s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

std::string MessageName(UINT message) {
    switch (message) {
    case WM_COMMAND: return "WM_COMMAND";
    case WM_HSCROLL: return "WM_HSCROLL";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_PAINT: return "WM_PAINT";
    default: return "message " + std::to_string(message);
    }
}

std::string CodeName(UINT message, int code) {
    static const char *const kScroll[] = {"SB_LINELEFT",  "SB_LINERIGHT",     "SB_PAGELEFT",
                                          "SB_PAGERIGHT", "SB_THUMBPOSITION", "SB_THUMBTRACK",
                                          "SB_LEFT",      "SB_RIGHT",         "SB_ENDSCROLL"};
    if (message == WM_HSCROLL && code >= 0 && code <= 8) return kScroll[code];
    return std::to_string(code);
}

std::string Describe(UINT message, int code, int value, DWORD time, const char16_t *text) {
    std::ostringstream s;
    if (message == WM_COMMAND)
        s << "WM_COMMAND id " << value << " notification " << code;
    else
        s << MessageName(message) << " " << CodeName(message, code) << " " << value;
    if (time == kAnyTime)
        s << " @any";
    else
        s << " @" << time;
    if (text) s << " \"" << Narrow(text) << "\"";
    return s.str();
}

bool Same(const Expected &e, const Logged &l) {
    return e.message == l.message && e.code == l.code && e.value == l.value &&
           (e.time == kAnyTime || e.time == l.time) && (!e.text || l.text == e.text);
}

void Record(UINT message, int code, int value, HWND control) {
    Logged l{message, code, value, testhost::Now() - g_zero, {}};
    if (control) {
        WCHAR text[256] = {0};
        GetWindowTextW(control, text, 256);
        l.text = text;
    }
    Log().push_back(l);
}

void Echo(HWND bar, int code, int position) {
    int pos = GetScrollPos(bar, SB_CTL);
    switch (code) {
    case SB_LINELEFT: pos -= 1; break;
    case SB_LINERIGHT: pos += 1; break;
    case SB_PAGELEFT: pos -= 10; break;
    case SB_PAGERIGHT: pos += 10; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = position; break;
    default: return;
    }
    SetScrollPos(bar, SB_CTL, pos, TRUE);
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Record(message, HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        if (g_onCommand) g_onCommand(wParam, lParam);
        return 0;
    case WM_HSCROLL:
        Record(message, LOWORD(wParam), HIWORD(wParam), nullptr);
        if (g_echo) Echo(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        if (g_logTaps) Record(message, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), nullptr);
        return 0;
    case WM_ERASEBKGND:
        if (g_logPaints) Record(message, 0, 0, nullptr);
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (g_logPaints) {
            Record(message, 0, 0, nullptr);
            g_lastPaint = ps.rcPaint;
        }
        HBRUSH brush = CreateSolidBrush(RGB(kParentColor >> 16, (kParentColor >> 8) & 0xFF, kParentColor & 0xFF));
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        EndPaint(window, &ps);
        return 0;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

std::vector<Logged> &Log() {
    static std::vector<Logged> log;
    return log;
}

void Clear() {
    Log().clear();
    g_zero = testhost::Now();
}

::testing::AssertionResult SequenceIs(const Expected *expected) {
    std::vector<const Expected *> want;
    for (const Expected *e = expected; e->message != 0; ++e) want.push_back(e);
    const std::vector<Logged> &got = Log();
    bool same = want.size() == got.size();
    for (std::size_t i = 0; same && i < want.size(); ++i) same = Same(*want[i], got[i]);
    if (same) return ::testing::AssertionSuccess();
    std::ostringstream out;
    out << "message sequences differ\n";
    const int column = 44;
    out << "  " << std::string("expected").append(column - 8, ' ') << "| got\n";
    for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
        std::string left = i < want.size()
                               ? Describe(want[i]->message, want[i]->code, want[i]->value, want[i]->time, want[i]->text)
                               : "(nothing)";
        std::string right = i < got.size() ? Describe(got[i].message, got[i].code, got[i].value, got[i].time,
                                                      got[i].text.empty() ? nullptr : got[i].text.c_str())
                                           : "(nothing)";
        bool ok = i < want.size() && i < got.size() && Same(*want[i], got[i]);
        if (int(left.size()) < column) left.append(column - left.size(), ' ');
        out << (ok ? "  " : "> ") << left << "| " << right << "\n";
    }
    return ::testing::AssertionFailure() << out.str();
}

HWND CreateParent() {
    testhost::RegisterTestClass(u"ControlsTestParent", ParentProc);
    g_logPaints = false;
    g_logTaps = false;
    g_echo = false;
    g_onCommand = nullptr;
    Clear();
    return CreateWindowExW(0, u"ControlsTestParent", u"Controls", WS_VISIBLE, 0, kTop, 240, 268, nullptr, nullptr,
                           nullptr, nullptr);
}

void LogTaps(bool on) { g_logTaps = on; }
void LogPaints(bool on) { g_logPaints = on; }
RECT LastPaintRect() { return g_lastPaint; }
void EchoScrolling(bool on) { g_echo = on; }
void OnCommand(std::function<void(WPARAM, LPARAM)> action) { g_onCommand = std::move(action); }

HWND Make(HWND parent, const char16_t *windowClass, const char16_t *text, DWORD style, int x, int y, int width,
          int height, int id) {
    return CreateWindowExW(0, windowClass, text, style | WS_CHILD, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
}

std::uint32_t Pixel(int x, int y) { return testhost::Pixel(x, y); }

int CountColor(const RECT &r, std::uint32_t color) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += Pixel(x, y) == color;
    return n;
}

RECT InkBounds(const RECT &r, std::uint32_t color) {
    RECT b{-1, -1, -1, -1};
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            if (Pixel(x, y) != color) continue;
            if (b.left < 0 || x < b.left) b.left = x;
            if (x > b.right) b.right = x;
            if (b.top < 0) b.top = y;
            b.bottom = y;
        }
    return b;
}

std::vector<std::uint32_t> Grab(const RECT &r) {
    std::vector<std::uint32_t> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) out.push_back(Pixel(x, y));
    return out;
}

}  // namespace seq
