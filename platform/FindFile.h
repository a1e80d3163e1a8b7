// Program files (fonts, icons, scripts) are looked up by name without regard
// to case, as they were on the platform the stored settings come from.
#pragma once
#include <string>

namespace platform {

// Path itself when it names an existing file; otherwise the first file in the
// same folder whose name equals Path's name ignoring ASCII case; empty when
// there is none.
std::string FindFileNoCase(const std::string& path);

// Name matches a file mask of "*" (any run of characters) and "?" (any one
// character), ignoring ASCII case. A mask ending in ".*" also matches the
// name without any extension, so "*.*" matches every name, as such masks
// did where the stored settings come from.
bool MatchesFileMask(const std::string& name, const std::string& mask);

}  // namespace platform
