// Program files (fonts, icons, scripts) are looked up by name without regard
// to case, as they were on the platform the stored settings come from.
#pragma once
#include <string>

namespace platform {

// Path itself when it names an existing file; otherwise the first file in the
// same folder whose name equals Path's name ignoring ASCII case; empty when
// there is none.
std::string FindFileNoCase(const std::string& path);

}  // namespace platform
