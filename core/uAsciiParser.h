// Plain text for boards and hosts that send no emulation: printable ASCII,
// the cursor controls BS, HT, LF, FF and CR, CSI sequences swallowed whole,
// and CP437 graphics folded to the nearest ASCII character. It owns only its
// decoder state and writes through TTerminalBuffer's operations.
#pragma once
#include <cstdint>

#include "core/uTextEmulation.h"

// CP437 128..255 to ASCII: shades and blocks "#", vertical lines "|",
// corners, tees and crosses "+", horizontal lines "-", bullets "*", 255 a
// space, everything else ".". Bytes below 128 stand for themselves.
uint8_t AsciiFold(uint8_t Ch);

class TAsciiParser : public TTextEmulation {
 public:
  // Also sets the pen to grey on black.
  explicit TAsciiParser(TTerminalBuffer& ABuffer);
  void Reset() override;
  void Feed(uint8_t B) override;

 private:
  enum TAsciiState : int32_t { tsGround = 0, tsEscape = 1, tsSequence = 2 };

  TTerminalBuffer& Buffer;
  int32_t State = tsGround;
};
