// Names that arrive from outside (transfer headers, archive entries, door
// files, script names) are used only when they are a plain file name, so
// nothing is ever written outside the folder chosen for them.
#pragma once
#include <string>

// True for a plain file name: not empty, not "." or "..", no "/" or "\", no
// drive prefix ("C:"), no control character (bytes below 32 and 127).
// Otherwise false, with the reason in *why when given.
bool IsPlainFileName(const std::string& name, std::string* why = nullptr);
