// Feeds arbitrary bytes to the WAVE reader.
#include <cstddef>
#include <cstdint>

#include "resfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    res::Wave wave;
    if (res::ParseWave(res::Bytes{data, size}, &wave)) {
        // A parsed sound holds whole frames of the data it came from.
        if (wave.samples.size() > size) __builtin_trap();
    }
    return 0;
}
