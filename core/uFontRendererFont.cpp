// TBitmapFont: glyph storage, the three font file formats and the companion
// look-up. Declared in uFontRenderer.h.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "platform/FindFile.h"

namespace {

// Glyph sizes beyond this are not fonts of a text terminal; refusing them
// keeps a bad request from allocating without bound.
constexpr int kMaxGlyphSide = 64;
// The anti-aliased companion is a 16 x 32 map; allow generous room.
constexpr int kMaxAaSide = 256;

bool SizeOk(int w, int h, int limit) { return w >= 1 && h >= 1 && w <= limit && h <= limit; }

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Reads the whole of a file of exactly Expected bytes (or at least Expected,
// when AtLeast) into Out; false on any mismatch or read error.
bool ReadFont(const std::string& requested, uint64_t expected, bool atLeast, std::vector<uint8_t>& out,
              uint64_t readCount) {
  std::string path = platform::FindFileNoCase(requested);
  if (path.empty()) return false;
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || size < expected || (!atLeast && size != expected)) return false;
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  std::vector<uint8_t> data(readCount);
  if (std::fread(data.data(), 1, data.size(), f.get()) != data.size()) return false;
  out.swap(data);
  return true;
}

// Position of the first "_8x16.F16" in the file-name part, ignoring case.
size_t CompanionMarker(const std::string& path, size_t& nameStart) {
  static const char kMarker[] = "_8x16.F16";
  size_t slash = path.find_last_of("/\\");
  nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t n = std::strlen(kMarker);
  for (size_t i = nameStart; i + n <= path.size(); ++i)
    if (strncasecmp(path.c_str() + i, kMarker, n) == 0) return i;
  return std::string::npos;
}

std::string CompanionName(const std::string& path, const char* suffix) {
  size_t nameStart;
  size_t at = CompanionMarker(path, nameStart);
  if (at == std::string::npos) return {};
  return path.substr(0, at) + suffix;
}

}  // namespace

TBitmapFont::TBitmapFont(int width, int height) {
  if (!SizeOk(width, height, kMaxGlyphSide)) {
    LogLine("Font: glyph size " + std::to_string(width) + "x" + std::to_string(height) +
            " refused, using 8x16");
    width = 8;
    height = 16;
  }
  FBaseWidth = width;
  FBaseHeight = height;
  SetCurrentSize(width, height);
  LoadBuiltinFont();
}

void TBitmapFont::SetCurrentSize(int width, int height) {
  FGlyphWidth = width;
  FGlyphHeight = height;
  FBytesPerRow = (width + 7) / 8;
}

void TBitmapFont::ClearAa() {
  FHasAa = false;
  FAaCoverage.clear();
  FAaWidth = FAaHeight = 0;
}

void TBitmapFont::ClearDouble() {
  FHas2x = false;
  FGlyphBits2x.clear();
}

void TBitmapFont::LoadBuiltinFont() {
  ClearAa();
  ClearDouble();
  SetCurrentSize(FBaseWidth, FBaseHeight);
  FGlyphBits.assign(size_t(256) * FGlyphHeight * FBytesPerRow, 0);
  if (FBaseWidth == 8 && FBaseHeight == 16)
    std::memcpy(FGlyphBits.data(), kVga8x16Glyphs, std::min(FGlyphBits.size(), sizeof kVga8x16Glyphs));
}

void TBitmapFont::LoadFromMemory(int width, int height, const uint8_t* data, size_t size) {
  ClearAa();
  ClearDouble();
  if (!SizeOk(width, height, kMaxGlyphSide)) {
    LogLine("Font: LoadFromMemory size " + std::to_string(width) + "x" + std::to_string(height) + " refused");
    return;
  }
  SetCurrentSize(width, height);
  FGlyphBits.assign(size_t(256) * height * FBytesPerRow, 0);
  if (data) std::memcpy(FGlyphBits.data(), data, std::min(size, FGlyphBits.size()));
}

bool TBitmapFont::LoadFromFile(const std::string& path) {
  ClearAa();
  ClearDouble();
  std::string found = platform::FindFileNoCase(path);
  if (found.empty()) return false;
  SetCurrentSize(FBaseWidth, FBaseHeight);
  uint64_t need = uint64_t(FBytesPerRow) * 256 * FBaseHeight;
  std::vector<uint8_t> bits;
  if (!ReadFont(found, need, true, bits, need)) {
    // The glyphs stay as they were; when they were of another size (8 x 8),
    // they no longer fit the base size, so the built-in set stands in.
    if (FGlyphBits.size() != need) LoadBuiltinFont();
    return false;
  }
  FGlyphBits.swap(bits);
  std::string aa = AaCompanionName(found);
  if (!aa.empty()) LoadAaCompanion(aa);
  std::string dbl = DoubleCompanionName(found);
  if (!dbl.empty()) LoadDoubleCompanion(dbl);
  return true;
}

std::string TBitmapFont::AaCompanionName(const std::string& path) { return CompanionName(path, "_16x32_AA.f16g"); }

std::string TBitmapFont::DoubleCompanionName(const std::string& path) { return CompanionName(path, "_16x32.F32"); }

bool TBitmapFont::LoadAaCompanion(const std::string& path) {
  ClearAa();
  std::string found = platform::FindFileNoCase(path);
  if (found.empty()) return false;
  std::vector<uint8_t> header;
  if (!ReadFont(found, 8, true, header, 8)) return false;
  if (std::memcmp(header.data(), "F16G", 4) != 0) return false;
  int w = header[4] | header[5] << 8, h = header[6] | header[7] << 8;
  if (!SizeOk(w, h, kMaxAaSide)) {
    LogLine("Font: anti-aliased companion " + found + " of " + std::to_string(w) + "x" + std::to_string(h) +
            " refused");
    return false;
  }
  uint64_t bytes = uint64_t(256) * w * h;
  std::vector<uint8_t> all;
  if (!ReadFont(found, 8 + bytes, false, all, 8 + bytes)) return false;
  FAaCoverage.assign(all.begin() + 8, all.end());
  FAaWidth = w;
  FAaHeight = h;
  FHasAa = true;
  return true;
}

bool TBitmapFont::LoadDoubleCompanion(const std::string& path) {
  ClearDouble();
  uint64_t need = uint64_t(256) * (2 * FBaseHeight) * ((2 * FBaseWidth + 7) / 8);
  std::vector<uint8_t> bits;
  if (!ReadFont(path, need, false, bits, need)) return false;
  FGlyphBits2x.swap(bits);
  FHas2x = true;
  return true;
}

bool TBitmapFont::GetPixel(uint8_t ch, int x, int y) const {
  if (x < 0 || y < 0 || x >= FGlyphWidth || y >= FGlyphHeight) return false;
  size_t at = (size_t(ch) * FGlyphHeight + y) * FBytesPerRow + size_t(x / 8);
  if (at >= FGlyphBits.size()) return false;
  return (FGlyphBits[at] & (0x80 >> (x % 8))) != 0;
}

double TBitmapFont::GetPixelCoverage(uint8_t ch, int x, int y) const {
  x = std::clamp(x, 0, FGlyphWidth - 1);
  y = std::clamp(y, 0, FGlyphHeight - 1);
  return GetPixel(ch, x, y) ? 1.0 : 0.0;
}

const uint8_t* TBitmapFont::GetGlyph2x(uint8_t ch) const {
  if (!FHas2x) return nullptr;
  size_t bpr = size_t(2 * FBaseWidth + 7) / 8;
  return FGlyphBits2x.data() + size_t(ch) * (2 * FBaseHeight) * bpr;
}

bool TBitmapFont::GetPixel2x(uint8_t ch, int x, int y) const {
  if (!FHas2x || x < 0 || y < 0 || x >= 2 * FBaseWidth || y >= 2 * FBaseHeight) return false;
  size_t bpr = size_t(2 * FBaseWidth + 7) / 8;
  size_t at = (size_t(ch) * (2 * FBaseHeight) + y) * bpr + size_t(x / 8);
  if (at >= FGlyphBits2x.size()) return false;
  return (FGlyphBits2x[at] & (0x80 >> (x % 8))) != 0;
}

double TBitmapFont::SampleAA(uint8_t ch, double x, double y) const {
  if (!FHasAa || FAaWidth <= 0 || FAaHeight <= 0) return 0.0;
  double ax = double(FAaWidth) / FBaseWidth * (x + 0.5) - 0.5;
  double ay = double(FAaHeight) / FBaseHeight * (y + 0.5) - 0.5;
  double fx0 = std::floor(ax), fy0 = std::floor(ay);
  double fx = ax - fx0, fy = ay - fy0;
  auto clampTo = [](double v, int hi) { return int(std::clamp(v, 0.0, double(hi))); };
  int x0 = clampTo(fx0, FAaWidth - 1), x1 = clampTo(fx0 + 1, FAaWidth - 1);
  int y0 = clampTo(fy0, FAaHeight - 1), y1 = clampTo(fy0 + 1, FAaHeight - 1);
  const uint8_t* g = FAaCoverage.data() + size_t(ch) * FAaHeight * FAaWidth;
  auto c = [&](int cx, int cy) { return g[size_t(cy) * FAaWidth + cx] / 255.0; };
  return (1 - fx) * (1 - fy) * c(x0, y0) + fx * (1 - fy) * c(x1, y0) + (1 - fx) * fy * c(x0, y1) + fx * fy * c(x1, y1);
}
