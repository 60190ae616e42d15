// The one seam between the platform core and the outside world.
//
// The core (windows, messages, timers, GDI, resources, sound, files) is the same for every host;
// a host supplies the clock, input, the screen, the audio device, processes and the link to other
// running copies. Two hosts implement it: host/sdl (a real window and audio device) and
// host/headless (a virtual clock, scripted input, captured screen and sound).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;

// Something that happened outside the program, stamped with the clock time it happened at.
struct Event {
    enum Kind {
        StylusDown,  // x, y in screen pixels
        StylusMove,
        StylusUp,
        KeyDown,  // key is a virtual-key code; ctrl/shift/alt the modifiers held
        KeyUp,
        Close,         // the user closed the desktop window or the process was asked to end
        Foreground,    // another copy asked this one to come to the front
        SoundChanged,  // sound output started or stopped working (see SoundWorks)
    };
    Kind kind;
    int x = 0, y = 0;
    unsigned key = 0;
    bool ctrl = false, shift = false, alt = false;
    std::uint32_t time = 0;
};

// The clock in milliseconds (GetTickCount). Headless: virtual, moves only inside WaitEvent.
std::uint32_t Now();

// Blocks until an event arrives or the clock reaches `deadline` (when hasDeadline). Returns true and
// fills `out` for an event; false when the deadline passed with nothing to report.
bool WaitEvent(bool hasDeadline, std::uint32_t deadline, Event *out);

// The screen changed: `pixels` holds 240 x 320 pixels, 0x00RRGGBB, row by row. `messageTime` is the
// time of the message whose handling produced this frame; a host with output latency shows the frame
// at messageTime + that latency, in step with the sounds.
void Present(const std::uint32_t *pixels, std::uint32_t messageTime);

// Start a sound (mono 16-bit samples at `rate` per second) so that its first sample plays at
// messageTime + the host's constant output latency, cutting off the sound playing then.
// `id` names the sound for traces. samples == nullptr stops the sound playing.
void PlaySound(int id, const std::int16_t *samples, std::size_t count, int rate, std::uint32_t messageTime);

// Whether sounds are heard: false while no output works (the navigation bar then shows the speaker
// struck through). A host whose answer changes reports a SoundChanged event.
bool SoundWorks();

// Start another program without waiting for it. `application` and `commandLine` are as the
// program passed them. Returns false when nothing could be started.
bool StartProcess(const std::u16string &application, const std::u16string &commandLine);

// The host folder that the program's own folder (the folder of its executable, as the program sees
// it) maps to: its settings file lives there.
std::string ProgramFolder();

// Other running copies. ClaimOrFind atomically either makes this process the holder of the top-level
// window identity (className, title) and returns false, or finds a live copy that holds it and returns
// true. AskOtherToForeground asks that copy to bring its window to the front.
bool ClaimOrFind(const std::u16string &className, const std::u16string &title);
bool AskOtherToForeground(const std::u16string &className, const std::u16string &title);

// This copy's main window was brought to the front (by another copy or by the program itself).
void RaiseWindow();

// The window title the desktop shows, set from the main window.
void SetTitle(const std::u16string &title);
// Whether the program has a timer of its own running (the metronome ticking, notes repeating), told
// when that changes: a host whose screen dims or locks by itself keeps it on meanwhile. The
// navigation bar's clock is the platform's, not the program's.
void KeepScreenOn(bool on);

}  // namespace host

namespace host {
// Something the platform did that a person would notice, for traces: "messagebox CAPTION | TEXT".
// Headless: a trace line stamped with the clock; SDL: printed when CADENZO_TRACE is set.
void Log(const std::string &event);

// Minutes since local midnight, for the navigation bar's clock. Headless: a fixed morning hour plus the
// virtual clock, so screenshots are repeatable.
int LocalMinutesOfDay();
}  // namespace host
