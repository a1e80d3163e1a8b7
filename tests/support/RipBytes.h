// The bytes of RIPscrip and SkyPix the tests write: MegaNum parameters, icon
// files and SPF2 fonts.
#pragma once
#include <functional>
#include <string>

// A MegaNum of Digits base-36 digits.
inline std::string Mega(int value, int digits = 2) {
  std::string s(size_t(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value /= 36) s[size_t(i)] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[value % 36];
  return s;
}

// An icon file: four planes a row, colour index = p0 x 8 + p1 x 4 + p2 x 2 + p3.
inline std::string IconBytes(int w, int h, const std::function<int(int, int)>& index, int rowsWritten = -1) {
  std::string s;
  s += char((w - 1) & 255), s += char((w - 1) >> 8), s += char((h - 1) & 255), s += char((h - 1) >> 8);
  const int b = (w + 7) / 8;
  for (int y = 0; y < (rowsWritten < 0 ? h : rowsWritten); ++y) {
    for (int plane = 0; plane < 4; ++plane) {
      std::string bytes(size_t(b), '\0');
      for (int x = 0; x < w; ++x)
        if ((index(x, y) >> (3 - plane)) & 1) bytes[size_t(x / 8)] = char(bytes[size_t(x / 8)] | (0x80 >> (x % 8)));
      s += bytes;
    }
  }
  return s;
}

// An SPF2 font of Count glyphs from First: glyph 0 has no bitmap (width 0)
// but advances Advance; every other glyph is a solid Width x Height block.
inline std::string SpfBytes(int height, int first, int baseline, int count, int width = 8, int advance = 8) {
  std::string s = "SPF2";
  s += char(height), s += char(first), s += char(baseline), s += char(count & 255), s += char(count >> 8);
  for (int i = 0; i < count; ++i) {
    if (i == 0) {
      s += char(advance), s += char(0);
      continue;
    }
    s += char(advance), s += char(width);
    s += std::string(size_t(height * ((width + 7) / 8)), '\xff');
  }
  return s;
}
