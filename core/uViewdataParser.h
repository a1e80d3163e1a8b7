// Viewdata (Prestel, 40 x 24) and BBC Mode 7 teletext (40 x 25) on the cell
// buffer: serial attributes (colour, flash, conceal, background, hold) and block
// mosaics drawn as CP437 shades by how many sextants are lit. It owns only its
// attribute state and writes through TTerminalBuffer's operations.
#pragma once
#include <cstdint>

#include "core/uTextEmulation.h"

// The 8 teletext colours: black, red, green, yellow, blue, magenta, cyan, white.
inline constexpr TColorRGB ViewdataPalette[8] = {
    {0x00, 0x00, 0x00}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

// A serial attribute reaches the emulation in one of three forms:
//  - a raw control byte 0..31 (except LF, FF and CR): acts, takes no cell
//    unless it shows the held mosaic;
//  - ESC then 0x40..0x5F (Prestel): attribute code minus 0x40, takes a cell
//    (ESC before any other byte is the raw escape attribute);
//  - a byte 0x80..0x9F (Mode 7 screen bytes): code minus 0x80, takes a cell.
// Bytes 0xA0..0xFF are Mode 7 characters with bit 7 set and show as 0x20..0x7F.
// Every row starts with the teletext defaults (white alphanumerics, steady,
// black background, no conceal, mosaics released), whatever the row above set.
class TViewdataParser : public TTextEmulation {
 public:
  explicit TViewdataParser(TTerminalBuffer& ABuffer);
  void Reset() override;
  void Feed(uint8_t B) override;

 private:
  void RowDefaults();
  void EnterCell();
  void AfterCell();
  void SerialAttribute(uint8_t Code, bool Spacing);
  void PrintCharacter(uint8_t B);
  void DrawMosaic(int32_t F);

  TTerminalBuffer& Buffer;
  bool Mosaic = false;  // graphics mode
  int32_t Colour = 7;  // colour of the last colour attribute
  bool Hold = false;  // hold mosaics
  bool Conceal = false;
  int32_t HeldMosaic = -1;  // last mosaic byte drawn on this row, -1 none
  bool EscapePending = false;  // Prestel ESC seen
  bool RowStarted = false;  // false: the next attribute or character begins a row
};
