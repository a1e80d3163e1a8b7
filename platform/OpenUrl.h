// Opening a link in the user's browser: the desktop's opener program
// (xdg-open) started with the link as its one argument, never through a
// shell, so nothing in a link a board showed can run as a command.
#pragma once
#include <string>

namespace platform {

// Starts the opener on Url and does not wait for it; false when it could not
// be started. The opener is looked up on PATH.
bool OpenUrlInBrowser(const std::string& url);

}  // namespace platform
