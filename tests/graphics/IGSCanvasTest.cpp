// The IGS drawing primitives: lines and polygon fills against a plain walk
// of the same rules (no clipping, small coordinates), shapes far outside the
// canvas, ellipse points, text placement by height, rotation and effect, and
// the logic modes of block copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "graphics/uIGSCanvas.h"

namespace {

using TPixelSet = std::set<std::pair<int64_t, int64_t>>;

TPixelSet SetPixels(const TIGSCanvas& c, int reg = 15) {
  TPixelSet s;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x)
      if (c.PixelAt(x, y) == reg) s.insert({x, y});
  return s;
}

uint16_t Rotl(uint16_t v) { return uint16_t((v << 1) | (v >> 15)); }

// The whole walk of a patterned line, every pixel, then cut to the canvas.
TPixelSet ReferenceLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint16_t pattern, int w, int h) {
  TPixelSet s;
  auto put = [&](int64_t x, int64_t y, uint16_t p) {
    if ((p & 0x8000) && x >= 0 && y >= 0 && x < w && y < h) s.insert({x, y});
  };
  int64_t xL = x1, yL = y1, xR = x2, yR = y2;
  if (x2 < x1) std::swap(xL, xR), std::swap(yL, yR);
  if (xL == xR) {
    for (int64_t y = std::min(yL, yR); y <= std::max(yL, yR); ++y, pattern = Rotl(pattern)) put(xL, y, pattern);
    return s;
  }
  if (yL == yR) {
    for (int64_t k = 0; k < (xL & 15); ++k) pattern = Rotl(pattern);
    for (int64_t x = xL; x <= xR; ++x, pattern = Rotl(pattern)) put(x, yL, pattern);
    return s;
  }
  const int64_t dx = xR - xL, ady = std::llabs(yR - yL), sy = yR > yL ? 1 : -1;
  int64_t x = xL, y = yL;
  if (ady > dx) {
    int64_t err = -ady;
    for (int64_t i = 0; i <= ady; ++i, y += sy) {
      put(x, y, pattern);
      pattern = Rotl(pattern);
      err += 2 * dx;
      if (err >= 0) err -= 2 * ady, ++x;
    }
  } else {
    int64_t err = -dx;
    for (int64_t i = 0; i <= dx; ++i, ++x) {
      put(x, y, pattern);
      pattern = Rotl(pattern);
      err += 2 * ady;
      if (err >= 0) err -= 2 * dx, y += sy;
    }
  }
  return s;
}

TEST(IGSCanvasTest, ClippedLinesMatchTheWholeWalk) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-700, 1000);
  const uint16_t patterns[] = {0xFFFF, 0xFFF0, 0xC0C0, 0xF191};
  for (int i = 0; i < 400; ++i) {
    TIGSCanvas c;
    if (i % 2) c.SetResolution(1, true);
    const int64_t x1 = coord(rng), y1 = coord(rng) / 3, x2 = coord(rng), y2 = coord(rng) / 3;
    const uint16_t p = patterns[i % 4];
    c.Line(x1, y1, x2, y2, p, 15);
    ASSERT_EQ(SetPixels(c), ReferenceLine(x1, y1, x2, y2, p, c.Width(), c.Height()))
        << x1 << "," << y1 << " " << x2 << "," << y2 << " pattern " << p;
  }
}

TEST(IGSCanvasTest, LinesNearThe32BitLimits) {
  TIGSCanvas c;
  // A diagonal through the canvas from far outside.
  c.Line(-1000000000, -1000000000, 1000000000, 1000000000, 0xFFFF, 15);
  EXPECT_EQ(c.PixelAt(0, 0), 15);
  EXPECT_EQ(c.PixelAt(199, 199), 15);
  EXPECT_EQ(c.PixelAt(200, 199), 0);
  EXPECT_EQ(SetPixels(c).size(), 200u);

  // A horizontal line keeps its pattern aligned to the column.
  TIGSCanvas h;
  h.Line(INT32_MIN, 50, INT32_MAX, 50, 0xFFF0, 15);
  EXPECT_EQ(h.PixelAt(11, 50), 15);
  EXPECT_EQ(h.PixelAt(12, 50), 0);
  EXPECT_EQ(h.PixelAt(16, 50), 15);

  // One column step over 2^32 rows: it happens at row 0.
  TIGSCanvas v;
  v.Line(0, INT32_MIN, 1, INT32_MAX, 0xFFFF, 15);
  EXPECT_EQ(v.PixelAt(0, 0), 0);
  EXPECT_EQ(v.PixelAt(1, 0), 15);
  EXPECT_EQ(v.PixelAt(1, 199), 15);
  EXPECT_EQ(SetPixels(v).size(), 200u);
}

// The scan-line fill as written, over every row of the points, as a mask of
// the canvas (one byte a pixel).
std::vector<uint8_t> ReferenceFill(const TIGSPoints& pts, int w, int h) {
  std::vector<uint8_t> mask(size_t(w) * size_t(h), 0);
  const size_t n = pts.size();
  int64_t ymin = pts[0].Y, ymax = pts[0].Y;
  for (auto& p : pts) ymin = std::min(ymin, p.Y), ymax = std::max(ymax, p.Y);
  for (int64_t y = ymax; y > ymin; --y) {
    std::vector<int64_t> xs;
    for (size_t i = 0; i < n; ++i) {
      const TIGSPoint a = pts[i], b = pts[(i + 1) % n];
      const int64_t d1 = y - a.Y, d2 = y - b.Y;
      if ((d1 < 0) == (d2 < 0)) continue;
      const int64_t dx2 = 2 * (b.X - a.X), dy = b.Y - a.Y;
      xs.push_back(dx2 >= 0 ? (((d1 * dx2 / dy) + 1) >> 1) + a.X : (((d2 * dx2 / dy) + 1) >> 1) + b.X);
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2)
      for (int64_t x = xs[k]; x <= xs[k + 1]; ++x)
        if (x >= 0 && y >= 0 && x < w && y < h) mask[size_t(y) * size_t(w) + size_t(x)] = 1;
  }
  return mask;
}

std::vector<uint8_t> Mask(const TIGSCanvas& c, int reg = 15) {
  std::vector<uint8_t> mask(size_t(c.Width()) * size_t(c.Height()), 0);
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x) mask[size_t(y) * size_t(c.Width()) + size_t(x)] = c.PixelAt(x, y) == reg;
  return mask;
}

TEST(IGSCanvasTest, ClippedPolygonsMatchTheWholeFill) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-300, 600), count(2, 9);
  for (int i = 0; i < 300; ++i) {
    TIGSCanvas c;
    TIGSPoints pts(size_t(count(rng)));
    for (auto& p : pts) p = {coord(rng), coord(rng) / 2};
    c.FillPolygon(pts);
    ASSERT_TRUE(Mask(c) == ReferenceFill(pts, c.Width(), c.Height())) << "polygon " << i;
  }
}

TEST(IGSCanvasTest, ShapesFarOutsideCostNoMoreThanTheCanvas) {
  TIGSCanvas c;
  c.Work = 0;
  c.FillPolygon({{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MAX}});
  c.Box(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  c.Rectangle(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 3);
  c.RoundedBox(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, true);
  c.Polyline(c.EllipsePoints(160, 100, 0, 3600, INT32_MAX, INT32_MAX), 15, true);
  c.Plot(INT32_MAX, INT32_MIN);
  c.DrawText(std::string(100, 'X'), INT32_MAX, INT32_MAX);
  EXPECT_LT(c.Work, 1000000);
  EXPECT_EQ(c.PixelAt(100, 100), 15);
}

TEST(IGSCanvasTest, SineAndEllipsePoints) {
  EXPECT_EQ(TIGSCanvas::IgsSine(0), 0);
  EXPECT_EQ(TIGSCanvas::IgsSine(8), 915);
  EXPECT_EQ(TIGSCanvas::IgsSine(4), 457);
  EXPECT_EQ(TIGSCanvas::IgsSine(896), 65534);
  struct TRow {
    int64_t Angle;
    int64_t X, Y;
  } rows[] = {
      {0, 200, 100},   {4, 200, 100},   {900, 100, 50},  {1800, 0, 100},  {2700, 100, 150},
      {3600, 200, 100}, {65536 + 900, 100, 50}, {450, 171, 65},
      // Angles are first taken modulo 65536, as 16 bits hold them: -900 is 64636.
      {-900, 196, 114},
  };
  for (const TRow& r : rows) {
    const TIGSPoint p = TIGSCanvas::IgsEllipsePoint(100, 100, 100, 50, r.Angle);
    EXPECT_EQ(p.X, r.X) << r.Angle;
    EXPECT_EQ(p.Y, r.Y) << r.Angle;
  }
  TIGSCanvas c;
  const TIGSPoints arc = c.EllipsePoints(100, 100, 0, 900, 50, 100);
  EXPECT_EQ(arc.front().X, 200);
  EXPECT_EQ(arc.back().Y, 50);
  EXPECT_LE(arc.size(), 33u);  // 32 steps at most for these radii, plus the end
}

// ---------------------------------------------------------------- text

// 8x8 and 8x14 tables: glyph 0 empty, glyph 1 one pixel at its top left,
// glyph 255 solid.
struct TFonts {
  std::vector<uint8_t> F8 = std::vector<uint8_t>(256 * 8, 0);
  std::vector<uint8_t> F14 = std::vector<uint8_t>(256 * 14, 0);
  TFonts() {
    F8[8] = 0x80;
    F14[14] = 0x80;
    std::fill(F8.begin() + 255 * 8, F8.end(), 0xFF);
    std::fill(F14.begin() + 255 * 14, F14.end(), 0xFF);
  }
};

struct TBox {
  int64_t X0, Y0, X1, Y1;
  size_t Count;
};

TBox Bounds(const TIGSCanvas& c) {
  TBox b{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN, 0};
  for (auto [x, y] : SetPixels(c)) {
    b.X0 = std::min(b.X0, x), b.Y0 = std::min(b.Y0, y), b.X1 = std::max(b.X1, x), b.Y1 = std::max(b.Y1, y);
    ++b.Count;
  }
  return b;
}

TEST(IGSCanvasTest, TextPlacement) {
  const TFonts fonts;
  struct TRow {
    std::string Name;
    int Height, Rotation, Effects;
    std::string Text;
    TBox Expected;  // Count 0: not checked
  } rows[] = {
      {"Height9OnTheBaseline", 9, 0, 0, "\xFF\xFF", {100, 94, 115, 101, 128}},
      {"Height8FoldedSixBySix", 8, 0, 0, "\xFF\xFF", {100, 96, 111, 101, 72}},
      {"Height12EightBySixteen", 12, 0, 0, "\xFF", {100, 87, 107, 102, 128}},
      {"Height16DoubledSixBySix", 16, 0, 0, "\xFF", {100, 91, 111, 102, 144}},
      {"Height20Doubled", 20, 0, 0, "\xFF\xFF", {100, 73, 131, 104, 1024}},
      {"Height20RotatedUp", 20, 1, 0, "\xFF\xFF", {73, 53, 104, 84, 1024}},
      {"Height20RotatedUpOutlined", 20, 1, 16, "\xFF\xFF", {72, 50, 105, 85, 0}},
      {"Height9UpsideDown", 9, 2, 0, "\xFF\xFF", {85, 99, 100, 106, 128}},
      {"Height9RotatedDown", 9, 3, 0, "\xFF\xFF", {99, 100, 106, 115, 128}},
      {"TopLeftPixelRotation0", 9, 0, 0, "\x01", {100, 94, 100, 94, 1}},
      {"TopLeftPixelRotation1", 9, 1, 0, "\x01", {94, 100, 94, 100, 1}},
      {"TopLeftPixelRotation2", 9, 2, 0, "\x01", {100, 106, 100, 106, 1}},
      {"TopLeftPixelRotation3", 9, 3, 0, "\x01", {106, 100, 106, 100, 1}},
      {"Thicken", 9, 0, 1, "\xFF", {100, 94, 108, 101, 72}},
      {"Skew", 9, 0, 4, "\xFF", {99, 94, 110, 101, 64}},
      {"Underline", 9, 0, 8, std::string(2, '\0'), {100, 101, 116, 101, 17}},
      {"OutlineRing", 9, 0, 16, "\xFF", {99, 93, 108, 102, 36}},
  };
  for (const TRow& r : rows) {
    TIGSCanvas c;
    c.Font8x8 = fonts.F8.data();
    c.Font8x14 = fonts.F14.data();
    c.TextHeight = r.Height;
    c.TextRotation = r.Rotation;
    c.TextEffects = r.Effects;
    c.DrawText(std::string(r.Text.data(), r.Text.size()), 100, 100);
    const TBox b = Bounds(c);
    EXPECT_EQ(b.X0, r.Expected.X0) << r.Name;
    EXPECT_EQ(b.Y0, r.Expected.Y0) << r.Name;
    EXPECT_EQ(b.X1, r.Expected.X1) << r.Name;
    EXPECT_EQ(b.Y1, r.Expected.Y1) << r.Name;
    if (r.Expected.Count) {
      EXPECT_EQ(b.Count, r.Expected.Count) << r.Name;
    }
  }
}

TEST(IGSCanvasTest, LightTextIsAChecker) {
  const TFonts fonts;
  TIGSCanvas c;
  c.Font8x8 = fonts.F8.data();
  c.TextEffects = TIGSCanvas::teLight;
  c.DrawText("\xFF\xFF", 100, 100);
  EXPECT_EQ(c.PixelAt(100, 94), 0);
  EXPECT_EQ(c.PixelAt(101, 94), 15);
  EXPECT_EQ(c.PixelAt(100, 95), 15);
  EXPECT_EQ(c.PixelAt(108, 94), 0);
  EXPECT_EQ(Bounds(c).Count, 64u);
}

TEST(IGSCanvasTest, TextWithoutGlyphTablesDrawsNothing) {
  TIGSCanvas c;
  c.TextHeight = 20;
  c.DrawText("\xFF", 100, 100);
  c.TextHeight = 9;
  c.DrawText("\xFF", 100, 100);
  EXPECT_EQ(Bounds(c).Count, 0u);
}

// ---------------------------------------------------------------- blocks

TEST(IGSCanvasTest, LogicModes) {
  const uint8_t s = 0b1100, d = 0b1010;
  const uint8_t expected[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (int mode = 0; mode < 16; ++mode) EXPECT_EQ(TIGSCanvas::LogicOp(mode, s, d), expected[mode]) << mode;
  EXPECT_EQ(TIGSCanvas::LogicOp(16, s, d), s);
  EXPECT_EQ(TIGSCanvas::LogicOp(-1, s, d), s);
}

TEST(IGSCanvasTest, BlockPartsAndCopiesInsideTheBlock) {
  TIGSCanvas c;
  c.Box(0, 0, 0, 0);  // one black pixel at the block's corner
  c.BlockOp({1, 3, 0, 0, 3, 3});
  // Operation 4 copies the block's corner to (2, 2) inside the block.
  c.BlockOp({4, 3, 0, 0, 0, 0, 2, 2});
  c.BlockOp({2, 3, 100, 100});
  EXPECT_EQ(c.PixelAt(100, 100), 15);
  EXPECT_EQ(c.PixelAt(102, 102), 15);
  EXPECT_EQ(c.PixelAt(101, 101), 0);
  // Operation 3 pastes a part: the 2x2 from (2, 2).
  c.BlockOp({3, 3, 2, 2, 3, 3, 200, 50});
  EXPECT_EQ(c.PixelAt(200, 50), 15);
  EXPECT_EQ(c.PixelAt(201, 51), 0);
  // Far targets and too few parameters do nothing.
  c.BlockOp({2, 3, INT32_MAX, INT32_MIN});
  c.BlockOp({2, 3, INT32_MIN, INT32_MIN});
  c.BlockOp({0, 3, 0, 0, 5, 5, 10});
  EXPECT_EQ(Bounds(c).Count, 4u);
}

}  // namespace
