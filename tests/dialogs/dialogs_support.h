// Helpers shared by the in-process tests of the menu bar and the dialog manager: a window that
// records the commands it receives, and the program's module reading a changed copy of its resources.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core.h"
#include "test_host.h"

namespace dialogs_test {

// WM_COMMAND wParam and lParam as the owner window received them.
inline std::vector<std::pair<WPARAM, LPARAM>> &Commands() {
    static std::vector<std::pair<WPARAM, LPARAM>> commands;
    return commands;
}

inline LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        Commands().push_back({wParam, lParam});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A plain top-level window with the platform's default place (the screen below the navigation bar).
inline HWND MakeOwner() {
    testhost::RegisterTestClass(u"TestOwner", OwnerProc, true);
    return CreateWindowExW(0, u"TestOwner", u"Owner", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

// The little-endian bytes of 16-bit words, for finding and changing records in the resource image.
inline std::vector<std::uint8_t> Words(std::initializer_list<unsigned> words) {
    std::vector<std::uint8_t> out;
    for (unsigned w : words) {
        out.push_back(std::uint8_t(w & 0xFF));
        out.push_back(std::uint8_t(w >> 8));
    }
    return out;
}

// While it lives, the program's module reads a copy of its resources that the test may change.
class PatchedModule {
public:
    PatchedModule()
        : module_(core::ModuleFromHandle(core::MainModule())), saved_(module_->image),
          bytes_(saved_.data, saved_.data + saved_.size) {
        module_->image = res::Bytes{bytes_.data(), bytes_.size()};
    }
    ~PatchedModule() { module_->image = saved_; }
    PatchedModule(const PatchedModule &) = delete;
    PatchedModule &operator=(const PatchedModule &) = delete;

    // Offset of the first occurrence of `pattern` at or after `from`, or -1.
    long Find(const std::vector<std::uint8_t> &pattern, long from = 0) const {
        if (from < 0 || std::size_t(from) > bytes_.size()) return -1;
        auto it = std::search(bytes_.begin() + from, bytes_.end(), pattern.begin(), pattern.end());
        return it == bytes_.end() ? -1 : long(it - bytes_.begin());
    }
    // Offset in the copy of a pointer into it (a resource found while the copy is in use), or -1.
    long OffsetOf(const void *pointer) const {
        auto *p = static_cast<const std::uint8_t *>(pointer);
        if (p < bytes_.data() || p >= bytes_.data() + bytes_.size()) return -1;
        return long(p - bytes_.data());
    }
    // Overwrites the bytes at `offset`.
    void Write(long offset, const std::vector<std::uint8_t> &with) {
        ASSERT_GE(offset, 0);
        ASSERT_LE(std::size_t(offset) + with.size(), bytes_.size());
        std::copy(with.begin(), with.end(), bytes_.begin() + offset);
    }
    // Replaces the first occurrence of `from` at or after `start` with `to` (the same length); false
    // when absent.
    bool Replace(const std::vector<std::uint8_t> &from, const std::vector<std::uint8_t> &to, long start = 0) {
        long at = Find(from, start);
        if (at < 0 || from.size() != to.size()) return false;
        std::copy(to.begin(), to.end(), bytes_.begin() + at);
        return true;
    }

private:
    core::Module *module_;
    res::Bytes saved_;
    std::vector<std::uint8_t> bytes_;
};

// The program's menu-bar record 108 as it is stored: menu 108, one text button "Tools" dropping down
// pop-up 0.
inline std::vector<std::uint8_t> MenuBarRecord() { return Words({108, 1, 0xFFFE, 40023, 4, 24, 40025, 0, 0}); }

// Top-level windows of a platform class ("menu_popup", "Dialog" ...), front first.
inline std::vector<HWND> WindowsOfClass(const std::u16string &name) {
    std::vector<HWND> out;
    for (core::Window *w : core::TopLevels())
        if (w->cls && w->cls->name == name) out.push_back(w->handle);
    return out;
}

}  // namespace dialogs_test
