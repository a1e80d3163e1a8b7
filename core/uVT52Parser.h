// VT52 as the Atari ST console speaks it: the DEC VT52 escape set plus the
// ST's colour, erase, save/restore and reverse-video additions. It owns only
// its decoder state; every change goes through TTerminalBuffer's operations
// and nothing is sent back (identify requests are not answered).
#pragma once
#include <cstdint>

#include "core/uTextEmulation.h"

class TVT52Parser : public TTextEmulation {
 public:
  explicit TVT52Parser(TTerminalBuffer& ABuffer);
  // Leaves the pen as it is; colours change only through ESC b and ESC c.
  void Reset() override;
  void Feed(uint8_t B) override;

 private:
  enum TVT52State : int32_t { vsGround = 0, vsEscape = 1, vsRow = 2, vsColumn = 3, vsForeground = 4, vsBackground = 5 };

  void Ground(uint8_t B);
  void Escape(uint8_t B);

  TTerminalBuffer& Buffer;
  int32_t State = vsGround;
  int32_t PendingRow = 0;
  int32_t SavedX = 0;  // ESC j
  int32_t SavedY = 0;
  bool HasSaved = false;
};
