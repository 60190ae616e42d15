// Feeds arbitrary bytes to the resource reader, as a whole .res image and as each kind of item.
#include <cstddef>
#include <cstdint>

#include "resfile.h"

namespace {

// Everything an item parser can be asked to read; the results only have to exist.
void ParseAsEveryItem(res::Bytes data) {
    std::vector<res::Accel> accelerators;
    res::ParseAccelerators(data, &accelerators);
    res::Image image;
    res::DecodeDib(data, &image);
    res::DecodeIconImage(data, &image);
    std::vector<res::MenuItem> menu;
    res::ParseMenu(data, &menu);
    res::Dialog dialog;
    res::ParseDialog(data, &dialog);
    res::MenuBar bar;
    res::ParseMenuBar(data, &bar);
    res::Wave wave;
    res::ParseWave(data, &wave);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    res::Bytes input{data, size};
    ParseAsEveryItem(input);

    // As an image: every entry parsed by the reader its type calls for, then the lookups the
    // program makes.
    std::vector<res::Entry> entries;
    if (res::ListEntries(input, &entries)) {
        for (const res::Entry &entry : entries) ParseAsEveryItem(entry.data);
    }
    std::u16string text;
    for (unsigned id : {1u, 3u, 40007u, 40025u, 65535u}) res::LoadString(input, id, &text);
    res::Image icon;
    res::LoadIcon(input, res::Ordinal(101), 32, &icon);
    res::LoadIcon(input, res::Ordinal(101), 16, &icon);
    res::Bytes found;
    res::Find(input, res::Named(u"WAVE"), res::Ordinal(1001), &found);
    return 0;
}
