// Opening a link in the user's browser: the desktop's opener program
// (xdg-open) started with the link as its one argument, never through a
// shell, so nothing in a link a board showed can run as a command.
#pragma once
#include <functional>
#include <string>

namespace platform {

// The opener's exit status when it could not be started at all (as a shell
// reports a command it cannot find).
constexpr int kOpenerNotStarted = 127;

// Starts the opener on Url and does not wait for it; false when it could not
// be started. The opener is looked up on PATH. Ended, when given, is called
// on a worker thread once the opener has ended, with its exit status (0: the
// link was handed on; xdg-open ends with 3 when it found no browser to start
// and 4 when the browser it started failed; -1: it was killed by a signal).
bool OpenUrlInBrowser(const std::string& url, std::function<void(int status)> ended = nullptr);

}  // namespace platform
