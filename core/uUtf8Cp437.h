// Conversion between the screen's CP437 cell characters and Unicode, and the
// streaming UTF-8 decoder that feeds CP437 to the emulations in UTF-8 mode.
// Characters CP437 lacks are approximated where a shade or block fits, and
// become "?" otherwise.
#pragma once
#include <cstdint>
#include <string>

// The code point of a CP437 byte; bytes below 128 stand for themselves.
uint32_t Cp437ToUnicode(uint8_t b);
// False when CP437 has no such character.
bool UnicodeToCp437(uint32_t cp, uint8_t& b);
// The shade, block or sign approximating a character CP437 lacks.
bool UnicodeFallbackToCp437(uint32_t cp, uint8_t& b);
// 1 to 4 bytes of standard UTF-8.
std::string CodePointToUtf8(uint32_t cp);
// A code point as CP437: itself, its approximation, or "?".
uint8_t UnicodeToCp437OrQuestion(uint32_t cp);

class TUtf8ToCp437Decoder {
 public:
  TUtf8ToCp437Decoder() { Reset(); }
  void Reset() {
    CodePoint = 0;
    Remaining = 0;
  }
  // Feeds one received byte; writes 0, 1 or 2 CP437 bytes to Out and returns
  // how many.
  int Decode(uint8_t b, uint8_t out[2]);

 private:
  uint32_t CodePoint;
  uint32_t Remaining;
};
