// The build machine's packer of the page's resource image (see packed_image.h):
//   web_image_packer IMAGE.res PACKED
// Exits 1 with a line on standard error when a file cannot be read or written.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "packed_image.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IMAGE PACKED\n", argv[0]);
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> packed = webimage::Pack(image.data(), image.size());
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(packed.data()), std::streamsize(packed.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
