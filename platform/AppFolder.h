// The folder of the running executable: every file the program reads or
// writes beside itself (settings, phonebooks, fonts, dll, logs) is found there.
#pragma once
#include <string>

namespace platform {

// The executable's folder with a trailing "/".
std::string AppFolder();

// Points AppFolder somewhere else; tests use it to run against a scratch
// folder. An empty text returns to the executable's own folder.
void SetAppFolder(const std::string& folder);

}  // namespace platform
