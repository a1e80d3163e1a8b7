// Names that arrive from outside (transfer headers, archive entries, door
// files, script names) are used only when they are a plain file name, so
// nothing is ever written outside the folder chosen for them.
#pragma once
#include <functional>
#include <string>

// True for a plain file name: not empty, not "." or "..", no "/" or "\", no
// drive prefix ("C:"), no control character (bytes below 32 and 127).
// Otherwise false, with the reason in *why when given.
bool IsPlainFileName(const std::string& name, std::string* why = nullptr);

// Path itself when nothing of that name exists (a link counts, even one that
// leads nowhere) and Taken, when given, does not object to it; otherwise the
// first such of stem_2.ext, stem_3.ext and so on. The extension is what
// follows the last dot of the file name; a name without one (or whose only
// dot leads it, ".profile") gets the number at its end.
std::string FirstFreeFileName(const std::string& path, const std::function<bool(const std::string&)>& taken = {});
