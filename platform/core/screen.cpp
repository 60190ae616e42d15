// The screen: one 240 x 320 framebuffer, the map from each pixel to the window that owns it, and
// whether either changed since the host was last shown a frame.
//
// Implements: the storage and the dirty flag. Leaves out: who owns which pixel (window.cpp works
// the owner map out from the window tree) and drawing (the GDI files draw into the framebuffer).
#include "core.h"

namespace core {
namespace {

std::array<std::uint32_t, kScreenW * kScreenH> g_framebuffer{};
std::array<std::uint16_t, kScreenW * kScreenH> g_owner{};
bool g_screenDirty = true;

}  // namespace

std::uint32_t *Framebuffer() { return g_framebuffer.data(); }
const std::uint16_t *OwnerMap() { return g_owner.data(); }
std::uint16_t *WritableOwnerMap() { return g_owner.data(); }
void MarkScreenDirty() { g_screenDirty = true; }
bool TakeScreenDirty() {
    bool d = g_screenDirty;
    g_screenDirty = false;
    return d;
}

}  // namespace core
