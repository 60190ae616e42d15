// Helpers of the resource tests: the program's compiled .res image, and small images built by hand
// in the same layout.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resfile.h"

namespace restest {

using Blob = std::vector<std::uint8_t>;

inline res::Bytes View(const Blob &blob) { return res::Bytes{blob.data(), blob.size()}; }

// The .res the build compiled from the program's resource script.
inline const Blob &CompiledImage() {
    static const Blob image = [] {
        std::ifstream in(CADENZO_RES_FILE, std::ios::binary);
        return Blob(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return image;
}

inline void Put16(Blob &out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void Put32(Blob &out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
inline void PutText(Blob &out, const std::u16string &text) {
    for (char16_t c : text) Put16(out, c);
    Put16(out, 0);
}
inline void PutId(Blob &out, const res::Id &id) {
    if (id.isOrdinal) {
        Put16(out, 0xFFFF);
        Put16(out, id.ordinal);
    } else {
        PutText(out, id.name);
    }
}
inline void PadTo4(Blob &out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// Builds a .res image: the empty marker entry, then the entries added, in order.
class ResBuilder {
public:
    ResBuilder() { Add(res::Ordinal(0), res::Ordinal(0), 0, {}); }

    ResBuilder &Add(const res::Id &type, const res::Id &name, std::uint16_t language, const Blob &data) {
        Blob header;
        PutId(header, type);
        PutId(header, name);
        PadTo4(header);
        Put32(header, 0);     // data version
        Put16(header, 0x30);  // memory flags
        Put16(header, language);
        Put32(header, 0);  // version
        Put32(header, 0);  // characteristics
        Put32(image_, static_cast<std::uint32_t>(data.size()));
        Put32(image_, static_cast<std::uint32_t>(header.size() + 8));
        image_.insert(image_.end(), header.begin(), header.end());
        image_.insert(image_.end(), data.begin(), data.end());
        PadTo4(image_);
        return *this;
    }
    const Blob &Image() const { return image_; }

private:
    Blob image_;
};

}  // namespace restest
