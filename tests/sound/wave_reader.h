// A small reader for the sound files: it lists every chunk of a RIFF "WAVE" file and decodes the
// format, the sample count of a "fact" chunk and the 16-bit samples.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace soundcheck {

struct Chunk {
    std::string id;
    uint32_t size;
};

struct WaveFile {
    bool ok = false;  // a RIFF "WAVE" file whose chunks fit the file exactly
    size_t file_bytes = 0;
    uint32_t riff_size = 0;
    std::vector<Chunk> chunks;  // in file order
    uint16_t format = 0, channels = 0, block_align = 0, bits = 0;
    uint32_t rate = 0, byte_rate = 0;
    bool has_fact = false;
    uint32_t fact_samples = 0;
    std::vector<int16_t> samples;
};

inline uint32_t ReadLE(const std::vector<uint8_t> &b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

inline WaveFile ReadWave(const std::string &path) {
    WaveFile wave;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    wave.file_bytes = b.size();
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE")
        return wave;
    wave.riff_size = ReadLE(b, 4, 4);
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const Chunk chunk{std::string(b.begin() + at, b.begin() + at + 4), ReadLE(b, at + 4, 4)};
        const size_t body = at + 8;
        if (chunk.size > b.size() - body) return wave;
        wave.chunks.push_back(chunk);
        if (chunk.id == "fmt " && chunk.size >= 16) {
            wave.format = ReadLE(b, body, 2);
            wave.channels = ReadLE(b, body + 2, 2);
            wave.rate = ReadLE(b, body + 4, 4);
            wave.byte_rate = ReadLE(b, body + 8, 4);
            wave.block_align = ReadLE(b, body + 12, 2);
            wave.bits = ReadLE(b, body + 14, 2);
        } else if (chunk.id == "fact" && chunk.size >= 4) {
            wave.has_fact = true;
            wave.fact_samples = ReadLE(b, body, 4);
        } else if (chunk.id == "data") {
            for (size_t i = 0; i + 1 < chunk.size; i += 2)
                wave.samples.push_back(static_cast<int16_t>(ReadLE(b, body + i, 2)));
        }
        at = body + chunk.size + (chunk.size & 1);
    }
    wave.ok = at == b.size();
    return wave;
}

}  // namespace soundcheck
