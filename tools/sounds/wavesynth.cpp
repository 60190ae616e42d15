// wavesynth: writes the program's sounds, 1001.wav to 1027.wav, into the folder given on the
// command line. Run at build time; the resource script picks the files up from there.
#include <cstdio>
#include <string>

#include "sound_table.h"
#include "synth.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wavesynth OUTPUT_DIR\n");
        return 2;
    }
    for (const sounds::Sound &sound : sounds::kSounds) {
        const std::string path = std::string(argv[1]) + "/" + std::to_string(sound.id) + ".wav";
        const std::vector<uint8_t> bytes = sounds::WaveFile(sound.id);
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (!file) {
            std::fprintf(stderr, "wavesynth: cannot create %s\n", path.c_str());
            return 1;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "wavesynth: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
