#include "graphics/uIGSCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <numbers>

namespace {

using i128 = __int128;

constexpr uint8_t kLevelScale = 34;  // ST level 0..7 to 0..238

// Palette presets as ST levels (R, G, B), registers 0 upward.
constexpr uint8_t kPreset0[16][3] = {{7, 7, 7}, {7, 0, 0}, {0, 7, 0}, {7, 7, 0}, {0, 0, 7}, {7, 0, 7},
                                     {0, 7, 7}, {5, 5, 5}, {3, 3, 3}, {7, 3, 3}, {3, 7, 3}, {7, 7, 3},
                                     {3, 3, 7}, {7, 3, 7}, {3, 7, 7}, {0, 0, 0}};
constexpr uint8_t kPreset1[16][3] = {{7, 7, 7}, {7, 0, 0}, {0, 7, 0}, {0, 0, 0}, {0, 0, 7}, {7, 7, 0},
                                     {0, 7, 7}, {5, 4, 6}, {5, 3, 2}, {7, 4, 3}, {0, 4, 3}, {0, 3, 0},
                                     {3, 3, 3}, {2, 1, 0}, {1, 3, 4}, {0, 0, 0}};
constexpr uint8_t kPreset2[4][3] = {{7, 7, 7}, {7, 0, 0}, {0, 7, 0}, {0, 0, 0}};
constexpr uint8_t kPreset3[2][3] = {{7, 7, 7}, {0, 0, 0}};

// Colour numbers to registers, one row per resolution.
constexpr uint8_t kPenToRegister[3][16] = {
    {0, 15, 1, 2, 4, 6, 3, 5, 7, 8, 9, 10, 12, 14, 11, 13},
    {0, 3, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
};

// Fill style 2, indices 1..24, rows 0..7.
constexpr uint16_t kPatterns[24][8] = {
    {0x0000, 0x4444, 0x0000, 0x1111, 0x0000, 0x4444, 0x0000, 0x1111},
    {0x0000, 0x5555, 0x0000, 0x5555, 0x0000, 0x5555, 0x0000, 0x5555},
    {0x8888, 0x5555, 0x2222, 0x5555, 0x8888, 0x5555, 0x2222, 0x5555},
    {0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555},
    {0xAAAA, 0xDDDD, 0xAAAA, 0x7777, 0xAAAA, 0xDDDD, 0xAAAA, 0x7777},
    {0xAAAA, 0xFFFF, 0xAAAA, 0xFFFF, 0xAAAA, 0xFFFF, 0xAAAA, 0xFFFF},
    {0xEEEE, 0xFFFF, 0xBBBB, 0xFFFF, 0xEEEE, 0xFFFF, 0xBBBB, 0xFFFF},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0xFFFF, 0x8080, 0x8080, 0x8080, 0xFFFF, 0x0808, 0x0808, 0x0808},
    {0x2020, 0x4040, 0x8080, 0x4141, 0x2222, 0x1414, 0x0808, 0x1010},
    {0x0000, 0x0000, 0x1010, 0x2828, 0x0000, 0x0000, 0x0101, 0x8282},
    {0x0202, 0x0202, 0xAAAA, 0x5050, 0x2020, 0x2020, 0xAAAA, 0x0505},
    {0x4040, 0x8080, 0x0000, 0x0808, 0x0404, 0x0202, 0x0000, 0x2020},
    {0x6606, 0xC6C6, 0xD8D8, 0x1818, 0x8181, 0x8DB1, 0x0C33, 0x6000},
    {0x0000, 0x0000, 0x0400, 0x0000, 0x0010, 0x0000, 0x8000, 0x0000},
    {0xF8F8, 0x6C6C, 0xC6C6, 0x8F8F, 0x1F1F, 0x3636, 0x6363, 0xF1F1},
    {0xAAAA, 0x0000, 0x8888, 0x1414, 0x2222, 0x4141, 0x8888, 0x0000},
    {0x0808, 0x0000, 0xAAAA, 0x0000, 0x0808, 0x0000, 0x8888, 0x0000},
    {0x7777, 0x9898, 0xF8F8, 0xF8F8, 0x7777, 0x8989, 0x8F8F, 0x8F8F},
    {0x8080, 0x8080, 0x4141, 0x3E3E, 0x0808, 0x0808, 0x1414, 0xE3E3},
    {0x8181, 0x4242, 0x2424, 0x1818, 0x0606, 0x0101, 0x8080, 0x8080},
    {0xF0F0, 0xF0F0, 0xF0F0, 0xF0F0, 0x0F0F, 0x0F0F, 0x0F0F, 0x0F0F},
    {0x0808, 0x1C1C, 0x3E3E, 0x7F7F, 0xFFFF, 0x7F7F, 0x3E3E, 0x1C1C},
    {0x1111, 0x2222, 0x4444, 0xFFFF, 0x8888, 0x4444, 0x2222, 0xFFFF},
};

// Fill style 3, indices 1..6: 8-row hatches.
constexpr uint16_t kHatch8[6][8] = {
    {0x0101, 0x0202, 0x0404, 0x0808, 0x1010, 0x2020, 0x4040, 0x8080},
    {0x6060, 0xC0C0, 0x8181, 0x0303, 0x0606, 0x0C0C, 0x1818, 0x3030},
    {0x4242, 0x8181, 0x8181, 0x4242, 0x2424, 0x1818, 0x1818, 0x2424},
    {0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080},
    {0xFFFF, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000},
    {0xFFFF, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080},
};

// Fill style 3, indices 7..12: 16-row hatches.
constexpr uint16_t kHatch16[6][16] = {
    {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0400, 0x0800, 0x1000,
     0x2000, 0x4000, 0x8000},
    {0x8003, 0x0007, 0x000E, 0x001C, 0x0038, 0x0070, 0x00E0, 0x01C0, 0x0380, 0x0700, 0x0E00, 0x1C00, 0x3800,
     0x7000, 0xE000, 0xC001},
    {0x8001, 0x4002, 0x2004, 0x1008, 0x0810, 0x0420, 0x0240, 0x0180, 0x0180, 0x0240, 0x0420, 0x0810, 0x1008,
     0x2004, 0x4002, 0x8001},
    {0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000,
     0x8000, 0x8000, 0x8000},
    {0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0x8080, 0xFFFF, 0x8080, 0x8080, 0x8080, 0x8080,
     0x8080, 0x8080, 0x8080},
};

// Fill style 4, indices 8 and 9: two built-in 16-row pictures.
constexpr uint16_t kUserPictures[2][16] = {
    {0x1C8C, 0x6987, 0x4B96, 0xBFBC, 0xAA0E, 0x1A66, 0x052B, 0xC73D, 0xF810, 0xAD4E, 0xF44A, 0x49D3, 0x66C9,
     0x0677, 0xADF1, 0x718A},
    {0x07E0, 0x0FF0, 0x1FD8, 0x1808, 0x1808, 0x1008, 0x1E78, 0x1348, 0x1108, 0x0810, 0x0B70, 0x0650, 0x07A0,
     0x1E20, 0x1BC0, 0x1800},
};

// Marker shapes in units of the marker size: polylines of up to five points.
struct TMarkerLine {
  int Count;
  int8_t P[5][2];
};
struct TMarkerShape {
  int Lines;
  TMarkerLine L[3];
};
constexpr TMarkerShape kMarkers[7] = {
    {1, {{2, {{0, 0}, {0, 0}}}}},                                                         // (unused)
    {1, {{2, {{0, 0}, {0, 0}}}}},                                                         // 1 dot
    {2, {{2, {{0, -3}, {0, 3}}}, {2, {{-4, 0}, {4, 0}}}}},                                // 2 plus
    {3, {{2, {{0, -3}, {0, 3}}}, {2, {{3, 2}, {-3, -2}}}, {2, {{3, -2}, {-3, 2}}}}},      // 3 star
    {1, {{5, {{-4, -3}, {4, -3}, {4, 3}, {-4, 3}, {-4, -3}}}}},                           // 4 square
    {2, {{2, {{-4, -3}, {4, 3}}}, {2, {{-4, 3}, {4, -3}}}}},                              // 5 diagonal cross
    {1, {{5, {{-4, 0}, {0, -3}, {4, 0}, {0, 3}, {-4, 0}}}}},                              // 6 diamond
};

uint16_t RotateLeft(uint16_t v, int64_t n) {
  int k = int(n & 15);
  return k == 0 ? v : uint16_t((v << k) | (v >> (16 - k)));
}

// Floor of A / B for B > 0.
int64_t FloorDiv(i128 a, i128 b) {
  i128 q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return int64_t(q);
}

const std::array<uint16_t, 113>& SineTable() {
  static const std::array<uint16_t, 113> table = [] {
    std::array<uint16_t, 113> t{};
    for (int i = 0; i < 113; ++i)
      t[size_t(i)] = uint16_t(std::lround(std::sin(i * 0.8 * std::numbers::pi / 180.0) * 65536.0));
    return t;
  }();
  return table;
}

}  // namespace

TIGSCanvas::TIGSCanvas() {
  SetResolution(0, true);
  LoadPalettePreset(0);
  ResetAttributes();
}

void TIGSCanvas::SetResolution(int resolution, bool clear) {
  if (resolution < 0 || resolution > 2) resolution = 0;
  FResolution = resolution;
  FWidth = resolution == 0 ? 320 : 640;
  FHeight = resolution == 2 ? 400 : 200;
  FPixels.resize(size_t(FWidth) * size_t(FHeight));
  if (clear) std::fill(FPixels.begin(), FPixels.end(), uint8_t(0));
  Dirty = true;
}

int TIGSCanvas::MaxColor() const { return FResolution == 0 ? 15 : FResolution == 1 ? 3 : 1; }

void TIGSCanvas::LoadPalettePreset(int preset) {
  for (auto& reg : FPalette) reg = {0, 0, 0};
  auto load = [this](const uint8_t (*levels)[3], int count) {
    for (int i = 0; i < count; ++i) SetPaletteEntry(i, levels[i][0], levels[i][1], levels[i][2]);
  };
  switch (preset) {
    case 0: load(kPreset0, 16); break;
    case 1: load(kPreset1, 16); break;
    case 2: load(kPreset2, 4); break;
    case 3: load(kPreset3, 2); break;
    default: break;
  }
  Dirty = true;
}

void TIGSCanvas::SetPaletteEntry(int reg, int r, int g, int b) {
  if (reg < 0 || reg > 15) return;
  FPalette[size_t(reg)] = {uint8_t((r & 7) * kLevelScale), uint8_t((g & 7) * kLevelScale),
                           uint8_t((b & 7) * kLevelScale)};
  Dirty = true;
}

uint8_t TIGSCanvas::PenToRegister(int64_t colour) const { return kPenToRegister[FResolution][colour & 15]; }

void TIGSCanvas::ResetAttributes() {
  MarkerType = 1;
  MarkerSize = 1;
  const uint8_t top = uint8_t(MaxColor());
  MarkerColor = LineColor = FillColor = TextColorReg = top;
  WritingMode = wmReplace;
  LineType = 1;
  UserLinePattern = 0xAAAA;
  FillStyle = fsSolid;
  FillIndex = 1;
  Outline = false;
  TextEffects = 0;
  TextHeight = 9;
  TextRotation = 0;
  PenX = PenY = 0;
}

void TIGSCanvas::ClearCanvas() {
  std::fill(FPixels.begin(), FPixels.end(), uint8_t(0));
  Dirty = true;
}

int64_t TIGSCanvas::AspectY(int64_t radius) const {
  if (FResolution == 0) return radius * 338 / 372;
  if (FResolution == 1) return radius * 169 / 372;
  return radius;
}

void TIGSCanvas::RegisterColor(int reg, uint8_t& r, uint8_t& g, uint8_t& b) const {
  const auto& c = FPalette[size_t(reg & 15)];
  r = c[0];
  g = c[1];
  b = c[2];
}

void TIGSCanvas::TextColor(uint8_t& r, uint8_t& g, uint8_t& b) const { RegisterColor(MaxColor(), r, g, b); }

// ---------------------------------------------------------------- pixels

uint8_t TIGSCanvas::PixelAt(int64_t x, int64_t y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  return FPixels[size_t(y) * size_t(FWidth) + size_t(x)];
}

void TIGSCanvas::PutDirect(int64_t x, int64_t y, uint8_t colour) {
  ++Work;
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  FPixels[size_t(y) * size_t(FWidth) + size_t(x)] = colour & 15;
}

void TIGSCanvas::SetPixel(int64_t x, int64_t y, bool bit, uint8_t colour) {
  ++Work;
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  uint8_t& p = FPixels[size_t(y) * size_t(FWidth) + size_t(x)];
  switch (WritingMode) {
    case wmTransparent:
      if (bit) p = colour & 15;
      break;
    case wmXor: p = (p ^ colour) & 15; break;
    case wmReverseTransparent:
      if (colour == 0) p = 0;
      break;
    default: p = colour & 15; break;
  }
}

void TIGSCanvas::FillPixel(int64_t x, int64_t y) {
  const bool bit = (FillPatternRow(y) & (0x8000u >> (x & 15))) != 0;
  SetPixel(x, y, bit, bit ? FillColor : uint8_t(0));
}

// FillPixel for X1..X2 of row Y, the row's pattern looked up once.
void TIGSCanvas::FillSpan(int64_t x1, int64_t x2, int64_t y) {
  if (y < 0 || y >= FHeight) return;
  x1 = std::max<int64_t>(x1, 0);
  x2 = std::min<int64_t>(x2, FWidth - 1);
  if (x1 > x2) return;
  Work += x2 - x1 + 1;
  const uint16_t pattern = FillPatternRow(y);
  const uint8_t fill = FillColor & 15;
  uint8_t* row = FPixels.data() + size_t(y) * size_t(FWidth);
  for (int64_t x = x1; x <= x2; ++x) {
    const bool bit = (pattern & (0x8000u >> (x & 15))) != 0;
    uint8_t& p = row[x];
    switch (WritingMode) {
      case wmTransparent:
        if (bit) p = fill;
        break;
      case wmXor:
        if (bit) p = (p ^ fill) & 15;
        break;
      case wmReverseTransparent:
        if (!bit || fill == 0) p = 0;
        break;
      default: p = bit ? fill : 0; break;
    }
  }
}

uint16_t TIGSCanvas::LinePattern() const {
  switch (LineType) {
    case 2: return 0xFFF0;
    case 3: return 0xC0C0;
    case 4: return 0xFF18;
    case 5: return 0xFF00;
    case 6: return 0xF191;
    case 7: return uint16_t(UserLinePattern);
    default: return 0xFFFF;
  }
}

uint16_t TIGSCanvas::FillPatternRow(int64_t y) const {
  switch (FillStyle) {
    case fsHollow: return 0;
    case fsPattern:
      if (FillIndex >= 1 && FillIndex <= 24) return kPatterns[FillIndex - 1][y & 7];
      return 0xFFFF;
    case fsHatch:
      if (FillIndex >= 1 && FillIndex <= 6) return kHatch8[FillIndex - 1][y & 7];
      if (FillIndex >= 7 && FillIndex <= 12) return kHatch16[FillIndex - 7][y & 15];
      return 0xFFFF;
    case fsUser:
      if (FillIndex >= 0 && FillIndex <= 7) {
        const auto& rows = UserPatterns[size_t(FillIndex)];
        if (rows.empty()) return 0xFFFF;
        int64_t r = y % int64_t(rows.size());
        if (r < 0) r += int64_t(rows.size());
        return rows[size_t(r)];
      }
      if (FillIndex == 8 || FillIndex == 9) return kUserPictures[FillIndex - 8][y & 15];
      return 0xFFFF;
    default: return 0xFFFF;
  }
}

// ---------------------------------------------------------------- lines

// From X1 to X2 on row Y; pixel k takes the pattern's top bit after k
// rotations. Only the columns inside the canvas are visited.
void TIGSCanvas::HLine(int64_t x1, int64_t x2, int64_t y, uint16_t pattern, uint8_t colour) {
  if (x2 < x1) std::swap(x1, x2);
  if (y < 0 || y >= FHeight) return;
  const int64_t from = std::max<int64_t>(0, -x1);
  const int64_t to = std::min<int64_t>(x2 - x1, FWidth - 1 - x1);
  for (int64_t k = from; k <= to; ++k)
    if (RotateLeft(pattern, k) & 0x8000) PutDirect(x1 + k, y, colour);
}

void TIGSCanvas::VLine(int64_t x, int64_t y1, int64_t y2, uint16_t pattern, uint8_t colour) {
  if (y2 < y1) std::swap(y1, y2);
  if (x < 0 || x >= FWidth) return;
  const int64_t from = std::max<int64_t>(0, -y1);
  const int64_t to = std::min<int64_t>(y2 - y1, FHeight - 1 - y1);
  for (int64_t k = from; k <= to; ++k)
    if (RotateLeft(pattern, k) & 0x8000) PutDirect(x, y1 + k, colour);
}

// Bresenham from the left end. The error term of pixel i has a closed form,
// so the walk starts at the first pixel that can fall inside the canvas and
// ends at the last: the pixels drawn are those of the whole walk.
void TIGSCanvas::Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint16_t pattern, uint8_t colour) {
  int64_t xL = x1, yL = y1, xR = x2, yR = y2;
  if (x2 < x1) {
    xL = x2;
    yL = y2;
    xR = x1;
    yR = y1;
  }
  if (xL == xR) {
    VLine(xL, std::min(yL, yR), std::max(yL, yR), pattern, colour);
    return;
  }
  if (yL == yR) {
    HLine(xL, xR, yL, RotateLeft(pattern, xL & 15), colour);
    return;
  }
  const int64_t dx = xR - xL;
  const int64_t ady = yR > yL ? yR - yL : yL - yR;
  const int64_t sy = yR > yL ? 1 : -1;
  if (ady > dx) {
    // One pixel a row; x steps after err reaches 0.
    int64_t from, to;
    if (sy > 0) {
      from = std::max<int64_t>(0, -yL);
      to = std::min<int64_t>(ady, FHeight - 1 - yL);
    } else {
      from = std::max<int64_t>(0, yL - (FHeight - 1));
      to = std::min<int64_t>(ady, yL);
    }
    for (int64_t i = from; i <= to; ++i) {
      const int64_t x = xL + FloorDiv(i128(2) * dx * i + ady, i128(2) * ady);
      if (RotateLeft(pattern, i) & 0x8000) PutDirect(x, yL + sy * i, colour);
    }
  } else {
    const int64_t from = std::max<int64_t>(0, -xL);
    const int64_t to = std::min<int64_t>(dx, FWidth - 1 - xL);
    for (int64_t i = from; i <= to; ++i) {
      const int64_t y = yL + sy * FloorDiv(i128(2) * ady * i + dx, i128(2) * dx);
      if (RotateLeft(pattern, i) & 0x8000) PutDirect(xL + i, y, colour);
    }
  }
}

void TIGSCanvas::Polyline(const TIGSPoints& points, uint8_t colour, bool closed) {
  if (points.empty()) return;
  const size_t n = points.size();
  for (size_t i = 0; i + 1 < n; ++i)
    Line(points[i].X, points[i].Y, points[i + 1].X, points[i + 1].Y, LinePattern(), colour);
  if (closed) Line(points[n - 1].X, points[n - 1].Y, points[0].X, points[0].Y, LinePattern(), colour);
}

// Scan lines from the lowest row of the points up to one below the highest
// (the highest row itself is left to the outline), clipped to the canvas.
void TIGSCanvas::FillPolygon(const TIGSPoints& points) {
  const size_t n = points.size();
  if (n <= 1) return;
  int64_t ymin = points[0].Y, ymax = points[0].Y;
  for (const TIGSPoint& p : points) {
    ymin = std::min(ymin, p.Y);
    ymax = std::max(ymax, p.Y);
  }
  constexpr size_t kMaxCrossings = 512;
  int64_t crossings[kMaxCrossings];
  const int64_t top = std::max<int64_t>(ymin + 1, 0);
  for (int64_t y = std::min<int64_t>(ymax, FHeight - 1); y >= top; --y) {
    size_t count = 0;
    Work += int64_t(n);
    for (size_t i = 0; i < n && count < kMaxCrossings; ++i) {
      const TIGSPoint& a = points[i];
      const TIGSPoint& b = points[(i + 1) % n];
      const int64_t d1 = y - a.Y, d2 = y - b.Y;
      if ((d1 < 0) == (d2 < 0)) continue;
      const i128 dx2 = i128(2) * (b.X - a.X);
      const i128 dy = b.Y - a.Y;
      // Truncating division, then an arithmetic shift.
      const i128 q = dx2 >= 0 ? i128(d1) * dx2 / dy : i128(d2) * dx2 / dy;
      i128 x = ((q + 1) >> 1) + (dx2 >= 0 ? a.X : b.X);
      x = std::clamp<i128>(x, INT64_MIN / 4, INT64_MAX / 4);
      crossings[count++] = int64_t(x);
    }
    std::sort(crossings, crossings + count);
    for (size_t k = 0; k + 1 < count; k += 2) FillSpan(crossings[k], crossings[k + 1], y);
  }
  if (Outline) Polyline(points, FillColor, true);
}

void TIGSCanvas::Box(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  const int64_t top = std::max<int64_t>(y1, 0), bottom = std::min<int64_t>(y2, FHeight - 1);
  for (int64_t y = top; y <= bottom; ++y) FillSpan(x1, x2, y);
}

void TIGSCanvas::Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  HLine(x1, x2, y1, 0xFFFF, colour);
  if (y2 != y1) HLine(x1, x2, y2, 0xFFFF, colour);
  if (y2 - y1 + 1 > 2) {
    VLine(x1, y1 + 1, y2 - 1, 0xFFFF, colour);
    if (x2 != x1) VLine(x2, y1 + 1, y2 - 1, 0xFFFF, colour);
  }
}

void TIGSCanvas::RoundedBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool filled) {
  const int64_t xmin = std::min(x1, x2), xmax = std::max(x1, x2);
  const int64_t ymin = std::min(y1, y2), ymax = std::max(y1, y2);
  const int64_t rx = std::max<int64_t>(std::min<int64_t>(FWidth >> 6, (xmax - xmin) / 2) - 1, 0);
  const int64_t ry = std::min<int64_t>(AspectY(rx), (ymax - ymin) / 2);
  const int64_t X[5] = {0, rx * 12539 / 32767, rx * 23170 / 32767, rx * 30273 / 32767, rx};
  const int64_t Y[5] = {ry, ry * 30273 / 32767, ry * 23170 / 32767, ry * 12539 / 32767, 0};
  TIGSPoints p;
  p.reserve(21);
  for (int i = 0; i <= 4; ++i) p.push_back({xmax - rx + X[i], ymin + ry - Y[i]});
  for (int i = 0; i <= 4; ++i) p.push_back({xmax - rx + X[4 - i], ymax - ry + Y[4 - i]});
  for (int i = 0; i <= 4; ++i) p.push_back({xmin + rx - X[i], ymax - ry + Y[i]});
  for (int i = 0; i <= 4; ++i) p.push_back({xmin + rx - X[4 - i], ymin + ry - Y[4 - i]});
  p.push_back(p.front());
  if (filled)
    FillPolygon(p);
  else
    Polyline(p, FillColor, false);
}

// ---------------------------------------------------------------- ellipses

int64_t TIGSCanvas::IgsSine(int64_t t) {
  const auto& table = SineTable();
  t = std::clamp<int64_t>(t, 0, 896);
  const int64_t index = t >> 3, fraction = t & 7;
  const int64_t entry = table[size_t(index)];
  if (fraction != 0 && index < 112) return entry + (((int64_t(table[size_t(index + 1)]) - entry) * fraction) >> 3);
  return entry;
}

TIGSPoint TIGSCanvas::IgsEllipsePoint(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int64_t angle) {
  int64_t d = angle & 0xFFFF;
  d %= 3600;
  int64_t sx, sy;
  if (d > 2700) {
    d = 3600 - d;
    sx = 1;
    sy = 1;
  } else if (d > 1800) {
    d -= 1800;
    sx = -1;
    sy = 1;
  } else if (d > 900) {
    d = 1800 - d;
    sx = -1;
    sy = -1;
  } else {
    sx = 1;
    sy = -1;
  }
  int64_t dx, dy;
  if (d > 896) {
    dx = 0;
    dy = ry;
  } else if (d < 4) {
    dx = rx;
    dy = 0;
  } else {
    // The ST works in 16 bits: the offsets keep their low 16 bits.
    dx = int16_t(uint16_t(uint64_t((rx * IgsSine(900 - d) + 32768) >> 16)));
    dy = int16_t(uint16_t(uint64_t((ry * IgsSine(d) + 32768) >> 16)));
  }
  return TIGSPoint{cx + sx * dx, cy + sy * dy};
}

TIGSPoints TIGSCanvas::EllipsePoints(int64_t cx, int64_t cy, int64_t start, int64_t end, int64_t ry,
                                     int64_t rx) const {
  int64_t range = end - start;
  if (range < 0) range += 3600;
  const int64_t n = std::clamp<int64_t>(std::max(std::llabs(rx), std::llabs(ry)) >> 2, 32, 128);
  TIGSPoints points;
  points.reserve(size_t(n) + 2);
  points.push_back(IgsEllipsePoint(cx, cy, rx, ry, start));
  for (int64_t i = 1; i < n; ++i) {
    const TIGSPoint p = IgsEllipsePoint(cx, cy, rx, ry, start + range * i / n);
    if (p.X != points.back().X || p.Y != points.back().Y) points.push_back(p);
  }
  points.push_back(IgsEllipsePoint(cx, cy, rx, ry, end));
  return points;
}

// ---------------------------------------------------------------- flood fill

void TIGSCanvas::FloodFill(int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  const uint8_t target = PixelAt(x, y);
  if (target == FillColor) return;
  const size_t size = size_t(FWidth) * size_t(FHeight);
  FVisited.assign(size, 0);
  FStack.clear();
  if (FStack.capacity() < 4096) FStack.reserve(4096);
  FStack.push_back(int32_t(y * FWidth + x));
  while (!FStack.empty()) {
    const int32_t pos = FStack.back();
    FStack.pop_back();
    ++Work;
    if (FVisited[size_t(pos)] || FPixels[size_t(pos)] != target) continue;
    const int32_t px = pos % FWidth, py = pos / FWidth;
    FillPixel(px, py);
    FVisited[size_t(pos)] = 1;
    if (px > 0 && !FVisited[size_t(pos - 1)]) FStack.push_back(pos - 1);
    if (px + 1 < FWidth && !FVisited[size_t(pos + 1)]) FStack.push_back(pos + 1);
    if (py > 0 && !FVisited[size_t(pos - FWidth)]) FStack.push_back(pos - FWidth);
    if (py + 1 < FHeight && !FVisited[size_t(pos + FWidth)]) FStack.push_back(pos + FWidth);
  }
}

// ---------------------------------------------------------------- markers

void TIGSCanvas::Plot(int64_t x, int64_t y) {
  const int type = (MarkerType >= 2 && MarkerType <= 6) ? MarkerType : 1;
  const TMarkerShape& shape = kMarkers[type];
  const int64_t size = MarkerSize;
  for (int l = 0; l < shape.Lines; ++l) {
    const TMarkerLine& line = shape.L[l];
    for (int i = 0; i + 1 < line.Count; ++i)
      Line(x + size * line.P[i][0], y + size * line.P[i][1], x + size * line.P[i + 1][0],
           y + size * line.P[i + 1][1], 0xFFFF, MarkerColor);
  }
}

// ---------------------------------------------------------------- text

TIGSCanvas::TTextMetrics TIGSCanvas::MetricsFor(int height) {
  if (height < 9) return {6, 6, 1, 4, 5, 1, 7};
  if (height == 9) return {8, 8, 1, 6, 7, 1, 9};
  if (height <= 15) return {8, 16, 1, 13, 15, 1, 9};
  if (height <= 17) return {6, 6, 2, 9, 10, 1, 13};
  if (height <= 19) return {8, 8, 2, 13, 14, 2, 17};
  return {8, 16, 2, 27, 30, 2, 17};
}

bool TIGSCanvas::GlyphPixel(uint8_t ch, int col, int row, int glyphW, int glyphH) const {
  if (glyphH == 16) {
    if (!Font8x14) return false;
    return (Font8x14[size_t(ch) * 14 + size_t(row * 14 / 16)] & (0x80 >> col)) != 0;
  }
  if (!Font8x8) return false;
  const uint8_t* g = Font8x8 + size_t(ch) * 8;
  if (glyphW == 8) return (g[row] & (0x80 >> col)) != 0;
  // 6 x 6, folded from the 8 x 8 glyph.
  uint8_t bits;
  if (row <= 2)
    bits = g[row];
  else if (row == 3)
    bits = uint8_t(g[3] | g[4]);
  else
    bits = g[row + 1];
  if (col <= 2) return (bits & (0x80 >> col)) != 0;
  if (col == 3) return (bits & 0x18) != 0;
  return (bits & (0x80 >> (col + 1))) != 0;
}

void TIGSCanvas::DrawText(const std::string& text, int64_t x, int64_t y) {
  const TTextMetrics m = MetricsFor(TextHeight);
  const int rotation = (TextRotation >= 0 && TextRotation <= 3) ? TextRotation : 0;
  const int64_t A = int64_t(m.GlyphW) * m.Scale;
  const int64_t B = m.Baseline;
  const int64_t rows = int64_t(m.GlyphH) * m.Scale;
  const bool outline = (TextEffects & teOutline) != 0;
  const bool skew = !outline && (TextEffects & teSkew) != 0;
  const int thicken = (!outline && (TextEffects & teThicken) != 0) ? m.Thicken : 0;
  const uint16_t maskStart = (TextEffects & teLight) ? 0x5555 : 0xFFFF;
  const uint8_t colour = TextColorReg & 15;
  uint16_t mask = maskStart;

  if (rotation == 1) y += 1 - rows;
  if (rotation == 2) x += 1 - A;

  // Where the scaled glyph cell's column C (skew included) and row R land.
  auto place = [&](int64_t c, int64_t r, int64_t& px, int64_t& py) {
    switch (rotation) {
      case 1: px = x + (r - B); py = y + (A - c - 1); break;
      case 2: px = x + (A - c - 1); py = y + (B - r); break;
      case 3: px = x + (B - r); py = y + c; break;
      default: px = x + c; py = y + (r - B); break;
    }
  };
  auto skewOf = [&](int64_t r) -> int64_t { return skew ? (rows - 1 - r) / 2 - (r % 2) : 0; };
  // The writing direction of thickening.
  const int64_t tx = rotation == 0 ? 1 : rotation == 2 ? -1 : 0;
  const int64_t ty = rotation == 1 ? -1 : rotation == 3 ? 1 : 0;

  for (const char chr : text) {
    const uint8_t ch = uint8_t(chr);
    if (!outline) {
      for (int row = 0; row < m.GlyphH; ++row) {
        mask = RotateLeft(mask, 1);
        for (int col = 0; col < m.GlyphW; ++col) {
          if (GlyphPixel(ch, col, row, m.GlyphW, m.GlyphH) && (mask & 1)) {
            for (int l = 0; l < m.Scale; ++l)
              for (int k = 0; k < m.Scale; ++k) {
                const int64_t r = int64_t(row) * m.Scale + l;
                const int64_t c = int64_t(col) * m.Scale + k + skewOf(r);
                int64_t px, py;
                place(c, r, px, py);
                PutDirect(px, py, colour);
                for (int t = 1; t <= thicken; ++t) PutDirect(px + tx * t, py + ty * t, colour);
              }
          }
          mask = RotateLeft(mask, 1);
        }
      }
    } else {
      for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) mask = maskStart;
        for (int row = 0; row < m.GlyphH; ++row)
          for (int col = 0; col < m.GlyphW; ++col) {
            mask = RotateLeft(mask, 1);
            if (!GlyphPixel(ch, col, row, m.GlyphW, m.GlyphH) || !(mask & 1)) continue;
            for (int l = 0; l < m.Scale; ++l)
              for (int k = 0; k < m.Scale; ++k) {
                int64_t px, py;
                place(int64_t(col) * m.Scale + k, int64_t(row) * m.Scale + l, px, py);
                if (pass == 0) {
                  for (int64_t oy = -1; oy <= 1; ++oy)
                    for (int64_t ox = -1; ox <= 1; ++ox) PutDirect(px + ox, py + oy, colour);
                } else {
                  PutDirect(px, py, 0);
                }
              }
          }
      }
    }
    if (TextEffects & teUnderline) {
      mask = maskStart;
      const int length = m.UnderlineLength + (outline ? 2 : 0);
      for (int j = 0; j < m.Scale; ++j) {
        const int64_t r = int64_t(m.UnderlineRow) + j;
        for (int c = 0; c < length; ++c) {
          if (mask & 0x8000) {
            int64_t px, py;
            place(c + skewOf(r), r, px, py);
            PutDirect(px, py, colour);
          }
          mask = RotateLeft(mask, 1);
        }
      }
    }
    const int64_t advance = A + (outline ? 2 : 0);
    switch (rotation) {
      case 1: y -= advance; break;
      case 2: x -= advance; break;
      case 3: y += advance; break;
      default: x += advance; break;
    }
  }
}

// ---------------------------------------------------------------- blocks

uint8_t TIGSCanvas::LogicOp(int64_t mode, uint8_t s, uint8_t d) {
  switch (mode) {
    case 0: return 0;
    case 1: return s & d;
    case 2: return s & ~d & 15;
    case 3: return s;
    case 4: return ~s & d & 15;
    case 5: return d;
    case 6: return (s ^ d) & 15;
    case 7: return (s | d) & 15;
    case 8: return ~(s | d) & 15;
    case 9: return ~(s ^ d) & 15;
    case 10: return ~d & 15;
    case 11: return (s | ~d) & 15;
    case 12: return ~s & 15;
    case 13: return (~s | d) & 15;
    case 14: return ~(s & d) & 15;
    case 15: return 15;
    default: return s;
  }
}

TIGSCanvas::TBlock TIGSCanvas::CopyRect(const TSurfaceRef& surface, int64_t x1, int64_t y1, int64_t x2,
                                        int64_t y2) {
  TBlock block;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x1 < 0 || y1 < 0 || x1 >= surface.Width || y1 >= surface.Height) return block;
  x2 = std::min<int64_t>(x2, surface.Width - 1);
  y2 = std::min<int64_t>(y2, surface.Height - 1);
  block.Width = int32_t(x2 - x1 + 1);
  block.Height = int32_t(y2 - y1 + 1);
  block.Pixels.resize(size_t(block.Width) * size_t(block.Height));
  for (int64_t y = 0; y < block.Height; ++y)
    std::copy_n(surface.Pixels + size_t(y1 + y) * size_t(surface.Width) + size_t(x1), size_t(block.Width),
                block.Pixels.begin() + ptrdiff_t(y * block.Width));
  return block;
}

void TIGSCanvas::Blit(const TBlock& block, int64_t tx, int64_t ty, TSurfaceRef surface, int64_t mode) {
  const int64_t skipX = tx < 0 ? -tx : 0, skipY = ty < 0 ? -ty : 0;
  if (skipX >= block.Width || skipY >= block.Height) return;
  const int64_t x0 = tx + skipX, y0 = ty + skipY;
  const int64_t w = std::min<int64_t>(block.Width - skipX, surface.Width - x0);
  const int64_t h = std::min<int64_t>(block.Height - skipY, surface.Height - y0);
  for (int64_t j = 0; j < h; ++j) {
    Work += std::max<int64_t>(w, 0);
    const uint8_t* src = block.Pixels.data() + size_t(skipY + j) * size_t(block.Width) + size_t(skipX);
    uint8_t* dst = surface.Pixels + size_t(y0 + j) * size_t(surface.Width) + size_t(x0);
    for (int64_t i = 0; i < w; ++i) dst[i] = LogicOp(mode, src[i], dst[i]) & 15;
  }
}

void TIGSCanvas::BlockOp(const std::vector<int32_t>& params) {
  auto p = [&](size_t i) -> int64_t { return i < params.size() ? params[i] : 0; };
  const size_t count = params.size();
  const int64_t mode = p(1);
  switch (p(0)) {
    case 0: {
      if (count < 8) return;
      const TBlock temp = CopyRect(CanvasSurface(), p(2), p(3), p(4), p(5));
      if (temp.Width < 1) return;
      Blit(temp, p(6), p(7), CanvasSurface(), mode);
      break;
    }
    case 1: {
      if (count < 6) return;
      TBlock copy = CopyRect(CanvasSurface(), p(2), p(3), p(4), p(5));
      if (copy.Width >= 1) FBlock = std::move(copy);
      break;
    }
    case 2:
      if (count < 4 || FBlock.Width < 1) return;
      Blit(FBlock, p(2), p(3), CanvasSurface(), mode);
      break;
    case 3: {
      if (count < 8 || FBlock.Width < 1) return;
      TSurfaceRef blockSurface{FBlock.Width, FBlock.Height, FBlock.Pixels.data()};
      const TBlock part = CopyRect(blockSurface, p(2), p(3), p(4), p(5));
      if (part.Width < 1) return;
      Blit(part, p(6), p(7), CanvasSurface(), mode);
      break;
    }
    case 4: {
      if (count < 8 || FBlock.Width < 1) return;
      TSurfaceRef blockSurface{FBlock.Width, FBlock.Height, FBlock.Pixels.data()};
      const TBlock part = CopyRect(blockSurface, p(2), p(3), p(4), p(5));
      if (part.Width < 1) return;
      Blit(part, p(6), p(7), blockSurface, mode);
      break;
    }
    default: return;
  }
  Dirty = true;
}

// ---------------------------------------------------------------- output

void TIGSCanvas::RenderScaled(uint32_t* dest, int destWidth, int destHeight) const {
  if (!dest || destWidth <= 0 || destHeight <= 0) return;
  uint32_t colours[16];
  for (int i = 0; i < 16; ++i)
    colours[i] = (uint32_t(FPalette[size_t(i)][0]) << 16) | (uint32_t(FPalette[size_t(i)][1]) << 8) |
                 uint32_t(FPalette[size_t(i)][2]);
  std::vector<int32_t> sourceColumn(static_cast<size_t>(destWidth));
  for (int i = 0; i < destWidth; ++i) sourceColumn[size_t(i)] = int32_t(int64_t(FWidth) * i / destWidth);
  for (int j = 0; j < destHeight; ++j) {
    const uint8_t* src = FPixels.data() + size_t(int64_t(FHeight) * j / destHeight) * size_t(FWidth);
    uint32_t* dst = dest + size_t(j) * size_t(destWidth);
    for (int i = 0; i < destWidth; ++i) dst[i] = colours[src[sourceColumn[size_t(i)]] & 15];
  }
}
