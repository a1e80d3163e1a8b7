// A Borland BGI stroke font (.CHR): glyphs made of pen moves and draws in
// font units, scaled by the BGI size factors when drawn. The font draws
// through a line procedure it is given; it owns no surface.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TBGIStroke {
  int32_t Kind = 0;  // 0 move, 1 draw
  int8_t X = 0, Y = 0;  // font units, Y grows upwards
};

struct TBGIGlyph {
  uint8_t Width = 0;  // advance in font units
  std::vector<TBGIStroke> Strokes;
};

class TBGIStrokeFont {
 public:
  using TLineProc = std::function<void(int64_t x1, int64_t y1, int64_t x2, int64_t y2)>;
  // The scale of sizes 1..10.
  static double SizeScale(int size);

  // False, with the font left invalid, for a missing, short or malformed file.
  bool LoadFromFile(const std::string& path);
  // The same from the file's bytes.
  bool LoadFromBytes(const std::vector<uint8_t>& data);
  bool HasChar(uint8_t ch) const;
  int CharWidth(uint8_t ch, double scale) const;
  // Draws Ch with its origin at X on the baseline BaseY; returns its advance.
  int DrawChar(uint8_t ch, int64_t x, const TLineProc& lineProc, double scale, int64_t baseY) const;

  bool Valid = false;
  uint8_t FirstChar = 0;
  std::vector<TBGIGlyph> Glyphs;
  int8_t CapHeight = 0, BaselineHeight = 0, DescenderHeight = 0;
};
