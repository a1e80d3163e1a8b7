// Bitmap fonts and the renderer that paints character cells into pixels.
// TBitmapFont holds the 256 glyphs of one code page 437 font as 1-bit rows,
// with two optional companions loaded from beside the main file: a
// double-size bitmap (.F32) and an anti-aliased coverage map (.f16g).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TBitmapFont {
 public:
  // Sets the base and current size and installs the built-in font.
  TBitmapFont(int width = 8, int height = 16);

  // Loads an .F16 (raw: 256 glyphs of BaseHeight rows) and its companions.
  // False on a missing or short file; the glyphs then stay as they were.
  bool LoadFromFile(const std::string& path);
  // Back to the base size; the built-in IBM VGA glyphs when that is 8 x 16,
  // all blank otherwise.
  void LoadBuiltinFont();
  // Installs glyphs of another size (the 8 x 8 set for tall screens); the base
  // size is kept.
  void LoadFromMemory(int width, int height, const uint8_t* data, size_t size);

  bool IsBaseSize() const { return FGlyphWidth == FBaseWidth && FGlyphHeight == FBaseHeight; }
  bool GetPixel(uint8_t ch, int x, int y) const;
  // X and Y are clamped into the glyph first.
  double GetPixelCoverage(uint8_t ch, int x, int y) const;
  const uint8_t* GetGlyph2x(uint8_t ch) const;
  bool GetPixel2x(uint8_t ch, int x, int y) const;
  // Bilinear coverage 0..1 of the anti-aliased companion at a position given
  // in base glyph pixels; 0 without the companion.
  double SampleAA(uint8_t ch, double x, double y) const;

  // "dir/NAME_8x16.F16" gives "dir/NAME_16x32_AA.f16g" and
  // "dir/NAME_16x32.F32" (the marker is matched ignoring case); empty when
  // the name has no "_8x16.F16".
  static std::string AaCompanionName(const std::string& path);
  static std::string DoubleCompanionName(const std::string& path);
  bool LoadAaCompanion(const std::string& path);
  bool LoadDoubleCompanion(const std::string& path);
  void ClearDouble();
  void ClearAa();

  int Width() const { return FGlyphWidth; }
  int Height() const { return FGlyphHeight; }
  int BaseWidth() const { return FBaseWidth; }
  int BaseHeight() const { return FBaseHeight; }
  int BytesPerRow() const { return FBytesPerRow; }
  bool HasAa() const { return FHasAa; }
  bool Has2x() const { return FHas2x; }
  int AaWidth() const { return FAaWidth; }
  int AaHeight() const { return FAaHeight; }

 private:
  void SetCurrentSize(int width, int height);

  int FGlyphWidth;
  int FGlyphHeight;
  int FBaseWidth;
  int FBaseHeight;
  int FBytesPerRow;
  std::vector<uint8_t> FGlyphBits;
  std::vector<uint8_t> FAaCoverage;
  int FAaWidth = 0, FAaHeight = 0;
  bool FHasAa = false;
  std::vector<uint8_t> FGlyphBits2x;
  bool FHas2x = false;
};
