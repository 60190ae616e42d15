// The sound synthesizer: renders the program's 27 WAVE sounds (tuning notes, chords, clicks)
// from the parameter tables in sound_table.h and packs them as complete RIFF files.
#pragma once

#include <cstdint>
#include <vector>

namespace sounds {

// The samples of sound `id` (1001-1027), 16-bit mono at 11025 per second; empty for any other id.
std::vector<int16_t> RenderSound(int id);

// The bytes of a RIFF "WAVE" file holding `samples`: the 16-byte "fmt " chunk (PCM, mono, 11025 Hz,
// 16-bit), a "fact" chunk with the sample count when `with_fact` is set, then the "data" chunk.
std::vector<uint8_t> PackWave(const std::vector<int16_t> &samples, bool with_fact);

// The complete file of sound `id`, with or without its "fact" chunk as the table says; empty for
// an unknown id.
std::vector<uint8_t> WaveFile(int id);

}  // namespace sounds
