// The desktop host's own interface: start-up and shut-down for the executable's main, the clock on
// its fine scale, traces, and the pieces the host's files share. The core sees only host.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace sdlhost {

// ---- Start-up and shut-down ---------------------------------------------------------------------
struct Options {
    bool video = true;  // a window (false: events only, for tests of the other pieces)
    bool audio = true;  // an audio device (none is fine: the program runs silently)
};
// Opens what `options` asks for. False with a one-line reason when there is no usable display.
bool Open(const Options &options, std::string *error);
// The window's icon: 0xAARRGGBB pixels, row by row.
void SetIcon(const std::uint32_t *pixels, int width, int height);
// A square icon picture: 0xAARRGGBB pixels, row by row.
struct IconImage {
    int size = 0;
    std::vector<std::uint32_t> pixels;
};
// The window's icon at several sizes, so the window manager takes the one nearest its need (X11's
// _NET_WM_ICON; SDL sets one size only). False where the window is not an X11 window; on Wayland
// the compositor takes the icon of the desktop entry the window's app id names.
bool SetIcons(const std::vector<IconImage> &images);
// Closes the window and the audio device, stops listening to other copies. Safe to call twice.
void Close();

// Sounds are heard and frames seen this long after the message that made them: above two audio
// buffers plus the main loop's own lateness, small enough that a tap feels immediate.
constexpr int kLatencyMs = 60;
int LatencyMs();          // kLatencyMs unless CADENZO_LATENCY says otherwise
int AudioBufferFrames();  // kBufferFrames unless CADENZO_AUDIO_BUFFER says otherwise
// Frames per audio callback: 20 ms at 48 kHz. A sound server asked for 10 ms buffers runs dry now
// and then on a busy machine (a click torn, the callbacks' rate off while it grows its buffer).
constexpr int kBufferFrames = 960;

// ---- Clock ------------------------------------------------------------------------------------
// Nanoseconds of the monotonic clock since the host started; Now() is this in whole milliseconds.
std::int64_t NowNs();
// A CLOCK_MONOTONIC time (as sound servers stamp their reports) on the NowNs scale.
std::int64_t FromMonotonicNs(std::int64_t monotonicNs);
// The start of millisecond `ms` of Now() (the recent past or near future) on the NowNs scale.
std::int64_t MessageTimeNs(std::uint32_t ms);

// ---- Traces (CADENZO_TRACE=1: standard error; any other value: a file of that name) ------------
bool Tracing();
void Trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
void FlushTrace();  // the main thread's lines so far (its loop calls it before it waits)

// ---- Shared pieces --------------------------------------------------------------------------
// Events that other threads hand to the main loop through SDL's queue.
enum UserCode { kUserForeground = 1, kUserClose = 2, kUserSound = 3, kUserAccess = 4 };
void PushUserEvent(UserCode code);
std::uint32_t UserEventType();

bool OpenWindow(std::string *error);
void CloseWindow();
// Another X client destroyed the window: the program ends as if it were closed.
bool WindowGone();
// Shows the newest frame due by `nowNs`; sets *nextDueNs to the next queued frame's due time
// (false when none is queued).
bool PresentDue(std::int64_t nowNs, std::int64_t *nextDueNs);
void RedrawWindow();

// Sound: opening starts the search for an output in the background and never waits.
bool OpenAudio();
void CloseAudio();
bool AudioWorks();  // an output plays
// How much later than their due time the sounds of the run playing are heard (time the output lost).
std::int64_t AudioLagNs();
// Why there is no sound is said from now on (the window is shown); a line kept until now is said.
void MayTellAboutSound();
void TraceAudio();  // the sounds placed, for traces

// The thread that watches for termination signals and for other copies knocking.
void StartWatcher();
void StopWatcher();
void WatchListener(int fd);
void ReleaseIdentities();

std::string Utf8(const std::u16string &text);

// ---- Screen readers (a11y_atk.cpp, or a11y_none.cpp without ATK) ----
// Puts the program on the accessibility bus when there is one; false (and nothing started) otherwise.
bool StartAccessibility();
void StopAccessibility();
// The loop's turn: before waiting (may shorten *waitMs, -1 = no limit) and after (true when a screen
// reader queued an action that the message loop must now run).
void AccessibilityBeforeWait(int *waitMs);
bool AccessibilityAfterWait();
// A point of the 240 x 320 screen in the desktop window's pixels, and the window's place on the desktop.
void ScreenToWindow(int x, int y, int *windowX, int *windowY);
void WindowPosition(int *x, int *y);

// The program's folder on this host: $XDG_CONFIG_HOME/cadenzo, else ~/.config/cadenzo.
std::string ConfigFolder();
// Makes that folder (and missing folders above it) with mode 0700. False with the reason when it
// cannot be made or something else stands in its place.
bool MakeConfigFolder(std::string *error);
// The host path of the running executable (from /proc/self/exe), "" when unknown.
std::string ExecutablePath();

// ---- Decisions kept apart so tests can check them ----------------------------------------------
// The whole factor the 240 x 320 screen is shown at: `override` (CADENZO_SCALE) when it is a number
// from 1 to 16, else the largest whose window fits the display's usable area, at least 1. A bad
// override is ignored, and *warning (when given) says so in one line.
int ChooseScale(int usableWidth, int usableHeight, const char *override, std::string *warning);
// The virtual-key code for an SDL key code, 0 for keys the program never sees.
unsigned VirtualKey(int sdlKey);
// The help viewer's stand-in: the browser address for "file:NAME#ANCHOR" with NAME where the program
// is installed relative to `executableDir` (CADENZO_HELP_FROM_BIN, e.g. ../share/cadenzo) or else in
// `executableDir` itself, or "" when the command line is not such a reference or the page is missing.
std::string HelpUrl(const std::string &executableDir, const std::u16string &commandLine);
// The desktop theme's icons of the program `id` at each of `sizes` that is there and readable, found
// relative to `executableDir` (CADENZO_ICONS_FROM_BIN, e.g. ../share/icons/hicolor, installed; else
// data/hicolor, a build folder's), smallest first as asked.
std::vector<IconImage> ThemeIcons(const std::string &executableDir, const std::string &id,
                                  std::initializer_list<int> sizes);
// Starts `argv` detached (its own session, never waited for). False when it could not be executed.
bool LaunchDetached(const std::string &program, const std::string &argument);
// The socket file for the identity (className, title) in the per-user runtime folder ("" if none).
std::string IdentityPath(const std::u16string &className, const std::u16string &title);

}  // namespace sdlhost
