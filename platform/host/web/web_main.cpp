// The program in a web page: the browser host's entry point (see web_host.cpp). The page carries its
// resource image packed for the download (packed_image.h): it is unpacked in place, once, before the
// platform reads it. The start is cut into steps with the browser's turn between them (the page's
// runtime, unpacking, the program up to its first wait), so that none holds the page up for long.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>

#include "packed_image.h"
#include "web_host.h"

extern "C" {
extern std::uint8_t web_packed_image[];                     // the same bytes as the module's resources
extern const std::uint8_t platform_module_resources_end[];  // (named for the platform's reader)
void web_wait(double untilMs);                              // (web_host.js) returns at untilMs or on input
}

int main() {
    web_wait(emscripten_get_now());
    webimage::Unpack(web_packed_image, std::size_t(platform_module_resources_end - web_packed_image));
    web_wait(emscripten_get_now());
    return webhost::Run();
}
