// Avatar level 0 (AVT/0, FidoNet FSC-0025) on the cell buffer: the ^V command
// family (attribute, blink, cursor moves, erase to end of line, goto), ^Y
// character repeat and ^L clear screen. It owns only its decoder state; every
// change goes through TTerminalBuffer's operations and nothing is sent back.
#pragma once
#include <cstdint>

#include "core/uTextEmulation.h"

// The 16 colours in PC attribute order (1 blue, 4 red), as Avatar attribute
// bytes index them.
inline constexpr TColorRGB DosPalette[16] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
};

class TAvatarParser : public TTextEmulation {
 public:
  explicit TAvatarParser(TTerminalBuffer& ABuffer);
  void Reset() override;
  void Feed(uint8_t B) override;

 private:
  enum TAvatarState : int32_t { asGround = 0, asCommand = -1, asAttribute = 1, asGoto = 8 };
  enum TRepeatState : int32_t { rsNone = 0, rsChar = 1, rsCount = 2 };

  void Ground(uint8_t B);
  void Command(uint8_t B);
  void SetAttribute(uint8_t A);
  void DefaultPen();

  TTerminalBuffer& Buffer;
  int32_t State = asGround;
  int32_t GotoRow = -1;  // -1: the first position byte has not come yet
  int32_t RepeatState = rsNone;
  uint8_t RepeatChar = 32;
};
