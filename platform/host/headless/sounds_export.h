// Writes the program's sounds, as carried in its resources, to WAVE files anyone can listen to.
#pragma once

#include <string>

namespace headless {
// Writes 1001.wav ... 1027.wav into `directory` (which must exist). False if any could not be written.
bool ExportSounds(const std::string &directory);
}  // namespace headless
