// A system error for status texts and log lines: "111 (Connection refused)",
// the errno value with its text.
#pragma once

#include <cstring>
#include <string>

inline std::string ErrnoText(int err) { return std::to_string(err) + " (" + std::strerror(err) + ")"; }
