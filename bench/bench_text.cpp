// Measures the system font: the time to choose and load it, the first (uncached) draw of the
// tempo line, and the cost of drawing it again into a 240 x 320 screen as the metronome does
// (14,400 times in an hour at 240 beats per minute). Prints the widths of the program's texts.
#include "font.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Screen {
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 320;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, 0xFFFFFFFF);
};

void PlotBlack(void *context, int x, int y) {
    auto *screen = static_cast<Screen *>(context);
    if (x >= 0 && y >= 0 && x < Screen::kWidth && y < Screen::kHeight) screen->pixels[y * Screen::kWidth + x] = 0;
}

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

int Width(const font::Style &style, std::u16string_view text) {
    return font::Measure(style, text.data(), static_cast<int>(text.size()));
}

}  // namespace

int main() {
    const font::Style system{12, false};
    const font::Style bold{12, true};
    const std::u16string_view tempo = u"Metronome Speed = 240 Beats/Minute";
    const int length = static_cast<int>(tempo.size());
    Screen screen;

    auto start = Clock::now();
    const bool ok = font::Init();
    auto loaded = Clock::now();
    font::Draw(system, tempo.data(), length, 12, 28, PlotBlack, &screen);
    auto firstDraw = Clock::now();
    if (!ok) {
        std::printf("no font found: text draws nothing\n");
        return 1;
    }
    std::printf("font: %s, 12-px bold %s\n", font::FamilyName(),
                font::SyntheticBold(12) ? "synthesized" : "from its own file");
    std::printf("init %.0f us, first draw of the tempo line %.0f us\n", Microseconds(loaded - start),
                Microseconds(firstDraw - loaded));

    const font::Metrics metrics = font::GetMetrics(system);
    const font::Metrics boldMetrics = font::GetMetrics(bold);
    std::printf("metrics 12 px: height %d ascent %d descent %d average width %d; bold average %d\n", metrics.height,
                metrics.ascent, metrics.descent, metrics.averageCharWidth, boldMetrics.averageCharWidth);
    for (std::u16string_view text :
         {tempo, std::u16string_view(u"Start Metronome"), std::u16string_view(u"Stop Metronome"),
          std::u16string_view(u"Sound"), std::u16string_view(u"Color"), std::u16string_view(u"Tuning Notes")}) {
        std::printf("  %-36.*s %3d px, bold %3d px\n", static_cast<int>(text.size()),
                    std::string(text.begin(), text.end()).c_str(), Width(system, text), Width(bold, text));
    }

    constexpr int kHour = 14400;
    auto drawStart = Clock::now();
    long advance = 0;
    for (int i = 0; i < kHour; ++i) advance += font::Draw(system, tempo.data(), length, 12, 28, PlotBlack, &screen);
    auto drawEnd = Clock::now();
    for (int i = 0; i < kHour; ++i) advance += font::Measure(system, tempo.data(), length);
    auto measureEnd = Clock::now();
    std::printf("an hour at 240 bpm: %d draws in %.0f us (%.0f ns per tempo line); %d measures %.0f ns each\n", kHour,
                Microseconds(drawEnd - drawStart), 1000.0 * Microseconds(drawEnd - drawStart) / kHour, kHour,
                1000.0 * Microseconds(measureEnd - drawEnd) / kHour);
    return advance > 0 ? 0 : 1;  // keeps the loops from being optimized away
}
