// What every text emulation (Avatar, VT52, ASCII, Viewdata, PETSCII/ATASCII)
// offers the application: it is built on a TTerminalBuffer it does not own,
// can be reset, and is fed one received byte at a time. Emulations change the
// screen only through the buffer's operations and send nothing to the host.
#pragma once
#include <algorithm>
#include <cstdint>

#include "core/uTerminalBuffer.h"

class TTextEmulation {
 public:
  virtual ~TTextEmulation() = default;
  TTextEmulation(const TTextEmulation&) = delete;
  TTextEmulation& operator=(const TTextEmulation&) = delete;

  virtual void Reset() = 0;
  virtual void Feed(uint8_t B) = 0;

 protected:
  TTextEmulation() = default;
};

// Horizontal tab with stops every 8 columns. Past the last stop the cursor
// stops on the last column and the next character is still written there.
inline void TabToNextStop(TTerminalBuffer& Buffer) {
  const int next = (Buffer.CursorX / 8 + 1) * 8;
  Buffer.GotoXY(std::min(next, Buffer.FWidth - 1), Buffer.CursorY);
}
