// SkyPix bitmap fonts: SPF2 files in fonts/skypix/, found by family name and
// the nearest size the program has, and kept in one process-wide cache that
// only grows (a font handed out stays valid until exit).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TSkyPixGlyph {
  uint8_t Advance = 0;      // pixels the text position moves
  uint8_t Width = 0;        // bitmap width in pixels
  uint8_t BytesPerRow = 0;  // (Width + 7) div 8
  std::vector<uint8_t> Bits;  // Height rows of BytesPerRow bytes, MSB leftmost
};

struct TSkyPixFont {
  bool Loaded = false;
  std::string Name;  // family name from the table
  int32_t Size = 0;  // the size actually loaded
  uint8_t Height = 0, Baseline = 0, FirstChar = 0;
  int32_t Count = 0;
  std::vector<TSkyPixGlyph> Glyphs;
};

// The cached or newly loaded font for a family and size; null when the
// family is unknown or its file cannot be read (a later call tries again).
const TSkyPixFont* GetSkyPixFont(const std::string& name, int size);
bool LoadSpfFile(const std::string& path, TSkyPixFont& font);
bool LoadSpfBytes(const std::vector<uint8_t>& data, TSkyPixFont& font);
std::string NormalizeSkyPixName(const std::string& name);
int FindSkyPixFamily(const std::string& name);  // -1 when none
int NearestSkyPixSize(int family, int size);
// The font file's name for a family and size: TOPAZ_08.SPF.
std::string SkyPixFileName(int family, int size);
std::string SkyPixFontDir();
