// The browser host's start: loads the settings folder, runs the program, keeps the folder, and tells
// the page how the program ended.
#pragma once

namespace webhost {

int Run();

}  // namespace webhost
