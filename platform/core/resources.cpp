// The resource calls of the platform API over a module's embedded .res image.
//
// Implements: FindResourceW (names and types as ordinals, "#number" strings or names compared
// without regard to case; language 1033 preferred), LoadResource, SizeofResource, LockResource,
// LoadStringW.
// Leaves out: FindResourceExW and other languages, resource updating, FreeResource (the data is
// part of the module and lives as long as it), LoadStringW's read-only-pointer mode (maxCount 0).
#include <algorithm>
#include <memory>
#include <vector>

#include "core.h"

namespace {

// What an HRSRC points at: one found resource. Records are kept for the life of the process and
// shared by every find of the same data, so repeated finds cost nothing.
struct ResourceRecord {
    const std::uint8_t *data;
    DWORD size;
};

std::vector<std::unique_ptr<ResourceRecord>> &Records() {
    static std::vector<std::unique_ptr<ResourceRecord>> records;
    return records;
}

HRSRC Intern(res::Bytes bytes) {
    for (const auto &record : Records())
        if (record->data == bytes.data && record->size == bytes.size) return reinterpret_cast<HRSRC>(record.get());
    Records().push_back(std::make_unique<ResourceRecord>(ResourceRecord{bytes.data, static_cast<DWORD>(bytes.size)}));
    return reinterpret_cast<HRSRC>(Records().back().get());
}

// The record behind a handle, or null when the handle is not one this module gave out.
const ResourceRecord *Lookup(HRSRC handle) {
    for (const auto &record : Records())
        if (reinterpret_cast<HRSRC>(record.get()) == handle) return record.get();
    return nullptr;
}

}  // namespace

namespace core {

// A resource name or type as the API takes it: MAKEINTRESOURCE(n), "#n", or a name.
bool ResourceId(LPCWSTR text, res::Id *out) {
    if (text == nullptr) return false;
    if (IS_INTRESOURCE(text)) {
        *out = res::Ordinal(static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(text)));
        return true;
    }
    std::u16string name;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        if (i == kMaxNameChars) return false;
        name.push_back(text[i]);
    }
    if (!name.empty() && name[0] == u'#') {
        unsigned value = 0;
        if (name.size() == 1 || name.size() > 6) return false;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (name[i] < u'0' || name[i] > u'9') return false;
            value = value * 10 + static_cast<unsigned>(name[i] - u'0');
        }
        if (value > 0xFFFF) return false;
        *out = res::Ordinal(static_cast<std::uint16_t>(value));
        return true;
    }
    *out = res::Named(std::move(name));
    return true;
}

}  // namespace core

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    res::Id typeId, nameId;
    res::Bytes found;
    if (!core::ResourceId(type, &typeId) || !core::ResourceId(name, &nameId)) return nullptr;
    if (!res::Find(core::ModuleResources(module), typeId, nameId, &found)) return nullptr;
    return Intern(found);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    const ResourceRecord *record = Lookup(resource);
    if (record == nullptr) return nullptr;
    return const_cast<std::uint8_t *>(record->data);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    const ResourceRecord *record = Lookup(resource);
    return record == nullptr ? 0 : record->size;
}

// The data is mapped with the module: locking only hands the pointer back.
LPVOID LockResource(HGLOBAL data) { return data; }

// Copies string `id` into `buffer`, truncated to maxCount - 1 characters and terminated. Returns
// the characters copied; 0 for an empty or absent string, or when there is no room at all.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) return 0;
    std::u16string text;
    res::LoadString(core::ModuleResources(instance), id, &text);
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(maxCount) - 1);
    for (std::size_t i = 0; i < count; ++i) buffer[i] = text[i];
    buffer[count] = 0;
    return static_cast<int>(count);
}
