// The built-in code page 437 glyph sets: the IBM VGA 8 x 16 set (the
// terminal's default font) and an 8 x 8 set for screens of 40 or more rows.
// Layout: glyph-major, one byte a row, most significant bit the leftmost pixel.
#pragma once
#include <cstdint>

extern const uint8_t kVga8x16Glyphs[4096];
extern const uint8_t kVga8x8Glyphs[2048];
// An 8 x 14 set made from the 8 x 16 one (3584 bytes, same layout), for the
// 14-pixel text cells of the 640 x 350 graphics screen.
const uint8_t* Vga8x14Glyphs();
