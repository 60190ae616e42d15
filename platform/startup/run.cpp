// Running the program: platform::Run prepares the platform, calls WinMain with the show command SW_SHOW
// and takes down whatever windows remain when it returns.
// Leaves out: the command line (the program takes none; an empty one is passed).
#include "core.h"
#include "startup.h"

namespace platform {

int Run(int, char **) {
    Init();
    WCHAR commandLine[1] = {0};
    int code = WinMain(core::MainModule(), nullptr, commandLine, SW_SHOW);
    core::DestroyAllWindows();
    return code;
}

}  // namespace platform
