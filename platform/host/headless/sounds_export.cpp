// The simulator's sound export: each WAVE resource written out unchanged, byte for byte.
#include "sounds_export.h"

#include <windows.h>

#include <cstdio>

#include "resource.h"
#include "startup.h"

namespace headless {

bool ExportSounds(const std::string &directory) {
    HINSTANCE instance = platform::ProgramInstance();
    bool ok = true;
    for (int id = IDW_FIRST; id <= IDW_LAST; ++id) {
        HRSRC found = FindResourceW(instance, MAKEINTRESOURCE(id), u"WAVE");
        HGLOBAL data = found ? LoadResource(instance, found) : nullptr;
        DWORD size = found ? SizeofResource(instance, found) : 0;
        std::string path = directory + "/" + std::to_string(id) + ".wav";
        std::FILE *f = data ? std::fopen(path.c_str(), "wb") : nullptr;
        if (!f || std::fwrite(LockResource(data), 1, size, f) != size) {
            std::fprintf(stderr, "cadenzo-sim: cannot write %s\n", path.c_str());
            ok = false;
        }
        if (f) std::fclose(f);
    }
    return ok;
}

}  // namespace headless
