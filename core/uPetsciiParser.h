// Commodore PETSCII (40 and 80 columns) and Atari ATASCII control codes on the
// cell buffer, one class for both. Printable bytes go to the cells as they are;
// the glyphs come from the font, whose PETSCII character set is reported
// through OnCharsetChange, the only event. Nothing is sent to the host.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "core/uTextEmulation.h"

// The 40-column Commodore colours.
inline constexpr TColorRGB C64Palette[16] = {
    {0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF}, {0x81, 0x33, 0x38}, {0x75, 0xCE, 0xC8},
    {0x8E, 0x3C, 0x97}, {0x56, 0xAC, 0x4D}, {0x2E, 0x2C, 0x9B}, {0xED, 0xF1, 0x71},
    {0x8E, 0x50, 0x29}, {0x55, 0x38, 0x00}, {0xC4, 0x6C, 0x71}, {0x4A, 0x4A, 0x4A},
    {0x7B, 0x7B, 0x7B}, {0xA9, 0xFF, 0x9F}, {0x70, 0x6D, 0xEB}, {0xB2, 0xB2, 0xB2},
};
inline constexpr TColorRGB AtasciiForeground{0x60, 0xB7, 0xE7};
inline constexpr TColorRGB AtasciiBackground{0x00, 0x51, 0x81};

// True when the lower-case/upper-case set is wanted, false for upper
// case/graphics.
using TCharsetChangeEvent = std::function<void(bool LowerCase)>;

// ATASCII to Atari screen code (the font's glyph order).
uint8_t AtasciiScreenCode(uint8_t B);

class TPetsciiParser : public TTextEmulation {
 public:
  enum TPetsciiMode : int32_t { pmPetscii = 0, pmAtascii = 1 };

  TPetsciiParser(TTerminalBuffer& ABuffer, int32_t AMode);
  void Reset() override;
  void ProcessByte(uint8_t B);
  void Feed(uint8_t B) override { ProcessByte(B); }

  // The row's cells right of Col move one left; a blank in the pen fills the
  // last column. InsertChar moves Col.. one right and blanks Col.
  void DeleteChar(int Row, int Col);
  void InsertChar(int Row, int Col);
  // Pen from Colour and Reverse in the scheme in use (40 or 80 columns).
  void ApplyColours();

  int32_t GetMode() const { return Mode; }
  bool IsLowerCase() const { return LowerCase; }
  int32_t GetCol80() const { return Col80; }  // 1 in the 80-column scheme

  // Set by the application from its settings.
  bool LenientLetters = false;  // PETSCII: ASCII lower case shown as capitals
  bool LenientCRLF = false;  // ATASCII: CR and LF act instead of printing
  TCharsetChangeEvent OnCharsetChange;

 private:
  void ProcessPetscii(uint8_t B);
  void ProcessAtascii(uint8_t B);
  void SetCharset(bool Lower);
  void PetsciiRight();
  void PetsciiLeft();
  void PetsciiDelete();
  void AtasciiBackspace();
  void AtasciiTab();
  void AtasciiDeleteLine();
  void AtasciiInsertLine();
  void BlankRow(int Row);

  TTerminalBuffer& Buffer;
  int32_t Mode = pmPetscii;
  int32_t Colour = 15;
  bool Reverse = false;
  int32_t Col80 = 0;
  bool LowerCase = false;
  bool EscapeNext = false;
  std::vector<bool> TabStops;
};
