// The program's module: its instance handle and the resources embedded in its executable.
//
// Implements: the module record behind HINSTANCE, the embedded resource image (the linker supplies it
// as platform_module_resources ... platform_module_resources_end; an executable without resources has
// an empty image), LoadIconW with decoded icons kept for the module's life, and the map from a
// pointer into the image back to the bytes of its entry (for the dialog manager's bounds checks).
// Leaves out: loading other modules, LoadLibrary, icon destruction (icons live as long as the module).
#include <memory>

#include "core.h"

extern "C" {
extern const std::uint8_t platform_module_resources[] __attribute__((weak));
extern const std::uint8_t platform_module_resources_end[] __attribute__((weak));
}

namespace core {
namespace {

constexpr std::uint32_t kModuleMagic = 0x4D4F4455;
constexpr std::uint32_t kIconMagic = 0x49434F4E;

Module g_module{kModuleMagic, {}};

struct CachedIcon {
    std::uint16_t ordinal;
    std::u16string name;
    int size;
    std::unique_ptr<Icon> icon;
};
std::vector<CachedIcon> g_icons;

}  // namespace

Module *ModuleFromHandle(HMODULE module) {
    auto *m = reinterpret_cast<Module *>(module);
    return m == &g_module ? m : nullptr;
}

HINSTANCE MainModule() {
    if (!g_module.image.data && platform_module_resources && platform_module_resources_end) {
        g_module.image.data = platform_module_resources;
        g_module.image.size = std::size_t(platform_module_resources_end - platform_module_resources);
    }
    return reinterpret_cast<HINSTANCE>(&g_module);
}

res::Bytes ModuleResources(HMODULE module) {
    Module *m = ModuleFromHandle(module);
    return m ? m->image : res::Bytes{};
}

bool ResourceBytesFrom(HMODULE module, const void *pointer, res::Bytes *out) {
    std::vector<res::Entry> entries;
    if (!pointer || !res::ListEntries(ModuleResources(module), &entries)) return false;
    auto at = reinterpret_cast<std::uintptr_t>(pointer);
    for (const res::Entry &e : entries) {
        auto begin = reinterpret_cast<std::uintptr_t>(e.data.data);
        if (at < begin || at - begin >= e.data.size) continue;
        *out = res::Bytes{static_cast<const std::uint8_t *>(pointer), e.data.size - (at - begin)};
        return true;
    }
    return false;
}

Icon *IconFromHandle(HICON icon) {
    for (auto &c : g_icons)
        if (c.icon.get() == icon) return c.icon.get();
    return nullptr;
}

// Loads icon `name` at `size` pixels, kept for the module's life.
HICON LoadIconSized(HINSTANCE instance, LPCWSTR name, int size) {
    res::Id id;
    if (!core::ResourceId(name, &id)) return nullptr;
    if (!ModuleFromHandle(instance)) return nullptr;
    for (auto &c : g_icons)
        if (c.ordinal == id.ordinal && c.name == id.name && c.size == size) return c.icon.get();
    auto icon = std::make_unique<Icon>();
    icon->magic = kIconMagic;
    if (!res::LoadIcon(ModuleResources(instance), id, size, &icon->image)) return nullptr;
    g_icons.push_back(CachedIcon{id.ordinal, id.name, size, std::move(icon)});
    return g_icons.back().icon.get();
}

}  // namespace core

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) { return core::LoadIconSized(instance, name, 32); }
