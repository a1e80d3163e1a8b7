// Reading the X clipboard (the CLIPBOARD selection as UTF8_STRING) over a
// connection of its own, where SDL's reader gives up: SDL reads a selection
// only in one piece, so a large text, which its owner hands over in steps
// (the INCR protocol of the ICCCM), arrives as nothing. This reader takes
// both forms, up to a byte limit, and gives up when the owner stops
// answering.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class SelectionRead { Ok, NoOwner, Unavailable, TooLarge, TimedOut };

// Reads the clipboard of the display named by DISPLAY into Text. Unavailable:
// no display, or the owner does not offer UTF-8 text (another reader may).
// TooLarge: the text is longer than Limit bytes (Text is then empty).
// TimedOut: the owner went quiet for TimeoutMs between two steps.
SelectionRead ReadX11Clipboard(std::string& text, size_t limit, int timeoutMs);

// The window that owns the clipboard now (0: none or no display).
unsigned long X11ClipboardOwner();

}  // namespace platform
