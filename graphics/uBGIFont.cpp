#include "graphics/uBGIFont.h"

#include <cmath>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kHeaderSize = 144;
// Far above any real stroke font (they are a few KiB): a bigger file is not
// a font, and is not read into memory.
constexpr std::streamoff kMaxFileSize = 1 << 20;

int8_t Signed7(uint8_t b) {
  const int v = b & 0x7F;
  return int8_t(v & 0x40 ? v - 128 : v);
}

}  // namespace

double TBGIStrokeFont::SizeScale(int size) {
  static const double kScales[11] = {1.0,       3.0 / 5.0, 2.0 / 3.0, 3.0 / 4.0, 1.0, 4.0 / 3.0,
                                     5.0 / 3.0, 2.0,       5.0 / 2.0, 3.0,       4.0};
  return size >= 1 && size <= 10 ? kScales[size] : 1.0;
}

bool TBGIStrokeFont::LoadFromFile(const std::string& path) {
  Valid = false;
  Glyphs.clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxFileSize) return false;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), size)) return false;
  return LoadFromBytes(data);
}

bool TBGIStrokeFont::LoadFromBytes(const std::vector<uint8_t>& d) {
  Valid = false;
  Glyphs.clear();
  if (d.size() < kHeaderSize) return false;
  if (d[0] != 'P' || d[1] != 'K' || d[2] != 8 || d[3] != 8 || d[128] != '+') return false;
  const size_t n = size_t(d[129]) | size_t(d[130]) << 8;
  if (n < 1 || n > 256 || d.size() < kHeaderSize + 3 * n) return false;
  FirstChar = d[132];
  CapHeight = int8_t(d[136]);
  BaselineHeight = int8_t(d[137]);
  DescenderHeight = int8_t(d[138]);
  const size_t strokeBase = kHeaderSize + 3 * n;
  Glyphs.resize(n);
  for (size_t i = 0; i < n; ++i) {
    TBGIGlyph& g = Glyphs[i];
    g.Width = d[kHeaderSize + 2 * n + i];
    const size_t offset = size_t(d[kHeaderSize + 2 * i]) | size_t(d[kHeaderSize + 2 * i + 1]) << 8;
    for (size_t at = strokeBase + offset; at + 2 <= d.size(); at += 2) {
      const uint8_t b1 = d[at], b2 = d[at + 1];
      const int op = (b1 >> 7) << 1 | (b2 >> 7);
      if (op == 0) break;     // end of character
      if (op == 1) continue;  // skipped pair
      g.Strokes.push_back({op == 3 ? 1 : 0, Signed7(b1), Signed7(b2)});
    }
  }
  Valid = true;
  return true;
}

bool TBGIStrokeFont::HasChar(uint8_t ch) const {
  return Valid && ch >= FirstChar && size_t(ch - FirstChar) < Glyphs.size();
}

int TBGIStrokeFont::CharWidth(uint8_t ch, double scale) const {
  const double units = HasChar(ch) ? Glyphs[ch - FirstChar].Width : 8;
  return int(std::nearbyint(units * scale));
}

int TBGIStrokeFont::DrawChar(uint8_t ch, int64_t x, const TLineProc& lineProc, double scale, int64_t baseY) const {
  if (HasChar(ch)) {
    const TBGIGlyph& g = Glyphs[ch - FirstChar];
    int64_t px = 0, py = 0;
    for (size_t i = 0; i < g.Strokes.size(); ++i) {
      const TBGIStroke& s = g.Strokes[i];
      const int64_t nx = x + int64_t(std::nearbyint(s.X * scale));
      const int64_t ny = baseY - int64_t(std::nearbyint(s.Y * scale));
      // The first stroke only places the pen, whatever its kind.
      if (i > 0 && s.Kind == 1 && lineProc) lineProc(px, py, nx, ny);
      px = nx, py = ny;
    }
  }
  return CharWidth(ch, scale);
}
