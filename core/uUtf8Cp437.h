// Conversion between the screen's CP437 cell characters and Unicode, and the
// streaming UTF-8 decoder that feeds CP437 to the emulations in UTF-8 mode.
// Characters CP437 lacks are approximated where a shade or block fits, and
// become "?" otherwise.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The code point of a CP437 byte; bytes below 128 stand for themselves.
uint32_t Cp437ToUnicode(uint8_t b);
// False when CP437 has no such character.
bool UnicodeToCp437(uint32_t cp, uint8_t& b);
// The shade, block or sign approximating a character CP437 lacks.
bool UnicodeFallbackToCp437(uint32_t cp, uint8_t& b);
// The character a CP437 byte shows on the screen: as Cp437ToUnicode, except
// that the control bytes 1..31 and 127 are the symbols the font draws for
// them (smiley, card suits, arrows, house).
uint32_t Cp437GlyphToUnicode(uint8_t b);
// Screen text as UTF-8 for other programs (the clipboard), byte by byte as
// Cp437GlyphToUnicode shows it.
std::string Cp437GlyphsToUtf8(std::string_view text);
// UTF-8 text from other programs (the clipboard, foreign phonebooks) as
// CP437: characters CP437 lacks are approximated or "?"; a sequence cut
// short is converted from the bits it has; a stray byte is "?".
std::string Utf8ToCp437(std::string_view text);
// 1 to 4 bytes of standard UTF-8.
std::string CodePointToUtf8(uint32_t cp);
// A code point as CP437: itself, its approximation, or "?".
uint8_t UnicodeToCp437OrQuestion(uint32_t cp);
// UTF-16 code units of the given byte order (without a byte-order mark) as
// CP437: surrogate pairs are joined, a lone surrogate is "?", an odd last
// byte is dropped.
std::string Utf16ToCp437(std::string_view bytes, bool bigEndian);

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
