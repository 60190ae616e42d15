// Starts the real program in-process on the test host, as WinMain does before its loop: the settings
// are loaded (the test host's executable lives in a directory that does not exist, so the defaults
// stand) and InitInstance creates and shows the main window with all its controls.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/cadenzo.h"
#include "core.h"
#include "test_host.h"

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        LoadSettings(core::MainModule());
        ASSERT_TRUE(InitInstance(core::MainModule(), SW_SHOW));
        testhost::Pump();
        testhost::ClearRecord();
        start = testhost::Now();
    }
    void TearDown() override {
        if (IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
        testhost::Pump();
        testhost::TearDown();
    }

    // A command arrives as a user's would: through the queue, stamped with the time it was made, and
    // everything that follows from it (paints) is done before the test goes on.
    static void Command(int id, int notification = 0) {
        PostMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(id, notification), 0);
        testhost::Pump();
    }
    static void Scroll(int code, int position = 0) {
        PostMessageW(app.mainWindow, WM_HSCROLL, MAKEWPARAM(code, position), LPARAM(app.tempoScrollBar));
        testhost::Pump();
    }
    // Chooses a list entry as a user's pick does: the selection first, then CBN_SELENDOK.
    static void Choose(HWND combo, int id, int index) {
        SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
        Command(id, CBN_SELENDOK);
    }
    static std::u16string Text(HWND window) {
        WCHAR buffer[64];
        GetWindowTextW(window, buffer, 64);
        return buffer;
    }
    // "T sound ID" entries of the record, T relative to the test's start.
    std::vector<std::pair<std::uint32_t, int>> Heard() const {
        std::vector<std::pair<std::uint32_t, int>> out;
        for (const auto &line : testhost::Record()) {
            unsigned t;
            int id;
            if (std::sscanf(line.c_str(), "%u sound %d", &t, &id) == 2) out.push_back({t - start, id});
        }
        return out;
    }

    std::uint32_t start = 0;
};
