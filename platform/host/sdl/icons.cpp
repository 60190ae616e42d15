// The window's icon at every size the desktop theme has it: the PNG files drawn at build time for the
// menu entry (SIZExSIZE/apps/ID.png), found from the executable's folder as the help page is.
// Leaves out: SVG (a window icon is pixels), sizes the theme folder does not hold.
#include <png.h>
#include <sys/stat.h>

#include <cstring>

#include "sdl_host.h"

#ifndef CADENZO_ICONS_FROM_BIN
#define CADENZO_ICONS_FROM_BIN "../share/icons/hicolor"
#endif

namespace sdlhost {

namespace {

// One theme icon, or nothing when the file is missing, unreadable, not a PNG or not `size` square.
bool ReadIcon(const std::string &file, int size, IconImage *image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, file.c_str())) return false;
    if (png.width != png_uint_32(size) || png.height != png_uint_32(size)) {
        png_image_free(&png);
        return false;
    }
    // BGRA bytes in memory are 0xAARRGGBB words on a little-endian machine; ARGB on a big-endian one.
    const std::uint32_t probe = 1;
    bool little = *reinterpret_cast<const unsigned char *>(&probe) == 1;
    png.format = little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    image->size = size;
    image->pixels.assign(std::size_t(size) * std::size_t(size), 0);
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        image->pixels.clear();
        return false;
    }
    return true;
}

}  // namespace

std::vector<IconImage> ThemeIcons(const std::string &executableDir, const std::string &id,
                                  std::initializer_list<int> sizes) {
    std::vector<IconImage> images;
    // Installed: the theme folder under share/; in a build folder: the one the build draws into.
    for (const char *folder : {"/" CADENZO_ICONS_FROM_BIN "/", "/data/hicolor/"}) {
        std::string theme = executableDir + folder;
        struct stat info {};
        if (stat(theme.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        for (int size : sizes) {
            std::string side = std::to_string(size);
            IconImage image;
            if (ReadIcon(theme + side + "x" + side + "/apps/" + id + ".png", size, &image))
                images.push_back(std::move(image));
        }
        if (!images.empty()) break;
    }
    return images;
}

}  // namespace sdlhost
