// Every capacity of the platform, in one place: how much of each thing the platform keeps at once,
// and how large an item read from a resource or passed by the program may be before it is refused
// or cut. A request beyond one gets the platform's failure value, never an overflow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

// ---- Windows, messages, timers, painting ----
constexpr int kMaxWindows = 512;     // live windows at once
constexpr int kMaxUpdateRects = 16;  // update-region rectangles before they merge into their union
constexpr int kMaxPostedMessages = 4096;
constexpr int kMaxTimers = 64;

// ---- Resources ----
constexpr std::size_t kMaxNameChars = 256;   // a type, name or class longer than this is malformed
constexpr std::size_t kMaxTextChars = 4096;  // the same for a caption or a control's text
constexpr std::int32_t kMaxDibSide = 4096;   // pixels, either way
constexpr int kMaxMenuDepth = 8;
constexpr std::size_t kMaxMenuItems = 1024;

// ---- Text ----
constexpr int kMaxPixelHeight = 256;                 // the largest font asked for
constexpr int kMaxBitmapSide = 4 * kMaxPixelHeight;  // glyph bitmaps larger than this are not drawn
constexpr int kMaxFormattedChars = 1024;             // wsprintfW's output, with its terminator

// ---- Controls ----
constexpr int kMaxListItems = 256;       // items a combo box's list holds
constexpr int kMaxListItemLength = 255;  // characters kept of an item's text

}  // namespace core
