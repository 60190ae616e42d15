// Sound.
//
// Implements: PlaySoundW for a WAVE resource of the module (SND_RESOURCE), asynchronous and on one
// voice: the host starts the sound's first sample at (time of the message being handled + its constant
// output latency), cutting off the sound playing then, so clicks keep exact spacing however late the
// loop reached them. PlaySoundW(NULL) stops the sound. Each sound is parsed once and kept.
// Leaves out: SND_SYNC waiting, SND_LOOP, SND_NOSTOP, file names, the system's default sound.
#include <memory>

#include "core.h"

namespace {

struct Cached {
    const void *module;
    std::uint16_t ordinal;
    std::u16string name;
    res::Wave wave;
};
std::vector<std::unique_ptr<Cached>> g_sounds;

const res::Wave *FindWave(HMODULE module, LPCWSTR sound) {
    res::Id id;
    if (!core::ResourceId(sound, &id)) return nullptr;
    for (auto &c : g_sounds)
        if (c->module == module && c->ordinal == id.ordinal && c->name == id.name) return &c->wave;
    const res::Id type = res::Named(u"WAVE");
    res::Bytes data;
    auto c = std::make_unique<Cached>();
    if (!res::Find(core::ModuleResources(module), type, id, &data) || !res::ParseWave(data, &c->wave)) return nullptr;
    if (c->wave.samples.empty() || c->wave.rate <= 0) return nullptr;
    c->module = module;
    c->ordinal = id.ordinal;
    c->name = id.name;
    g_sounds.push_back(std::move(c));
    return &g_sounds.back()->wave;
}

}  // namespace

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
    if (!sound) {
        host::PlaySound(0, nullptr, 0, 0, core::CurrentMessageTime());
        return TRUE;
    }
    if ((flags & SND_RESOURCE) != SND_RESOURCE) return FALSE;
    const res::Wave *wave = FindWave(module, sound);
    if (!wave) return FALSE;
    int id = IS_INTRESOURCE(sound) ? int(reinterpret_cast<std::uintptr_t>(sound)) : 0;
    host::PlaySound(id, wave->samples.data(), wave->samples.size(), wave->rate, core::CurrentMessageTime());
    return TRUE;
}
