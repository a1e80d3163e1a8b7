// TFontRenderer: settings, the render bitmap and the drawing of one cell
// through its three glyph paths (double-size companion, coverage cache,
// plain 1-bit), the text-screen font and the cursor bar. The frame driver,
// sprites and presentation are in uFontRendererFrame.cpp.
#include <algorithm>
#include <array>
#include <cmath>

#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"

namespace {

struct GammaTables {
  std::array<double, 256> Linear;
  std::array<uint8_t, 4097> Srgb;
  GammaTables() {
    for (int i = 0; i < 256; ++i) Linear[size_t(i)] = std::pow(i / 255.0, 2.2);
    for (int j = 0; j <= 4096; ++j) {
      double v = std::nearbyint(std::pow(j / 4096.0, 1 / 2.2) * 255.0);
      Srgb[size_t(j)] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
  }
};

const GammaTables& Gamma() {
  static const GammaTables tables;
  return tables;
}

uint32_t Pack(TColorRGB c) { return platform::PackRGB(c.R, c.G, c.B); }

}  // namespace

const double* const ToLinear = Gamma().Linear.data();

uint8_t LinearToByte(double v) {
  if (v <= 0) return 0;
  if (v >= 1) return 255;
  return Gamma().Srgb[size_t(std::nearbyint(v * 4096))];
}

TFontRenderer::TFontRenderer(TBitmapFont* font) : FFont(font) {}

void TFontRenderer::SetFont(TBitmapFont* font) {
  FFont = font;
  Invalidate();
}

void TFontRenderer::FreeBitmaps() {
  FRender.Resize(0, 0);
  FDisplay.Resize(0, 0);
  CanvasReplaced();
}

// A new (or no) bitmap: nothing in it is a drawn cell, and the next
// presentation is whole.
void TFontRenderer::CanvasReplaced() {
  FCellCacheValid = false;
  FShown.assign(Canvas().Empty() ? 0 : size_t(FCols) * size_t(FRows), TCellLook{});
  FPresented = FShown;
  FPresentAll = true;
}

void TFontRenderer::SetReferencePath(bool on) {
  if (on == FReferencePath) return;
  FReferencePath = on;
  FreeBitmaps();
}

TFontRenderer::TCellLook* TFontRenderer::LookAt(int col, int row) {
  size_t at = size_t(row) * size_t(FCols) + size_t(col);
  return col >= 0 && row >= 0 && col < FCols && at < FShown.size() ? &FShown[at] : nullptr;
}

void TFontRenderer::SetGridSize(int cols, int rows) {
  if (cols == FCols && rows == FRows) return;
  FCols = std::max(cols, 0);
  FRows = std::max(rows, 0);
  FreeBitmaps();
}

void TFontRenderer::SetScale(float scale) {
  if (!(scale >= 1.0f)) scale = 1.0f;
  if (scale == FScale) return;
  FScale = scale;
  FreeBitmaps();
}

void TFontRenderer::SetAntiAliasGlyphs(bool on) {
  if (on == FAntiAliasGlyphs) return;
  const bool wasDirect = DirectPath();
  FAntiAliasGlyphs = on;
  if (DirectPath() != wasDirect)
    FreeBitmaps();  // the other road draws into the other bitmap
  else
    Invalidate();
}

void TFontRenderer::SetGlyphEmbolden(bool on, double radius) {
  if (on == FEmbolden && radius == FEmboldenRadius) return;
  FEmbolden = on;
  FEmboldenRadius = radius;
  Invalidate();
}

void TFontRenderer::SetUpscaledFont(bool on) {
  if (on == FUpscaledFont) return;
  FUpscaledFont = on;
  Invalidate();
  FDisplay.Resize(0, 0);
  if (DirectPath()) CanvasReplaced();
}

void TFontRenderer::SetUiFont(TBitmapFont* font) {
  if (font == FUiFont) return;
  FUiFont = font;
  Invalidate();
}

int TFontRenderer::BlockSize() const { return std::max(1, int(std::nearbyint(FScale))); }

int TFontRenderer::PixelWidth() const { return FFont ? FFont->Width() * FCols * BlockSize() : 0; }

int TFontRenderer::PixelHeight() const { return FFont ? FFont->Height() * FRows * BlockSize() : 0; }

int TFontRenderer::DoubleFontFactor() const {
  int s = BlockSize();
  return FUpscaledFont && FFont && FFont->Has2x() && s >= 2 && s % 2 == 0 ? 2 : 1;
}

// The same cells give other pixels from now on (another font, glyph road or
// embolden): every cell is drawn again, and counts as changed when it is.
void TFontRenderer::Invalidate() {
  FCoverageValid = false;
  FCellCacheValid = false;
  FDrawGen = ++FStampSeq;
}

bool TFontRenderer::EnsureRenderDib() {
  const int w = PixelWidth(), h = PixelHeight();
  // The direct road keeps the render bitmap's limit, so a grid is refused on
  // both roads or on neither.
  const bool allowed = int64_t(w) * h <= MaxRenderPixels;
  if (DirectPath()) {
    if (!FRender.Empty()) FRender.Resize(0, 0);
    if (allowed && EnsureDisplayDib()) return true;
  } else {
    if (FRender.Width() == w && FRender.Height() == h && !FRender.Empty()) return true;
    bool made = allowed && FRender.Resize(w, h) && !FRender.Empty();
    CanvasReplaced();
    if (made) return true;
  }
  LogLine("FontRenderer: render bitmap of " + std::to_string(w) + "x" + std::to_string(h) + " refused");
  FRender.Resize(0, 0);
  if (DirectPath()) FDisplay.Resize(0, 0);
  CanvasReplaced();
  return false;
}

bool TFontRenderer::CellInsideBitmap(int col, int row) const {
  const platform::Surface& canvas = Canvas();
  if (!FFont || canvas.Empty() || col < 0 || row < 0 || col >= FCols || row >= FRows) return false;
  int s = CanvasBlock();
  int64_t right = int64_t(col + 1) * FFont->Width() * s, bottom = int64_t(row + 1) * FFont->Height() * s;
  return right <= canvas.Width() && bottom <= canvas.Height();
}

void TFontRenderer::RenderCell(int col, int row, const TCell& cell) {
  if (!CellInsideBitmap(col, row)) return;
  // The glyph road is chosen by the full scale S; the drawing itself is at
  // the canvas's block size (S, or the double-font factor when direct).
  const int w = FFont->Width(), h = FFont->Height(), s = BlockSize(), b = CanvasBlock();
  const int x0 = col * w * b, y0 = row * h * b;
  TColorRGB fg = cell.Reverse ? cell.Bg : cell.Fg;
  TColorRGB bg = cell.Reverse ? cell.Fg : cell.Bg;
  ++FCellsDrawn;
  if (TCellLook* look = LookAt(col, row))
    *look = TCellLook{Pack(fg), Pack(bg), 0, FDrawGen, cell.Ch, uint8_t(cell.Underline ? lkUnderline : 0)};
  if (!FAntiAliasGlyphs && FUpscaledFont && FFont->Has2x() && s >= 2 && s % 2 == 0)
    RenderUpscaled(cell, x0, y0, Pack(fg), Pack(bg));
  else if (FAntiAliasGlyphs && s != 1)
    RenderCoverage(cell, x0, y0, fg, bg);
  else
    RenderPlain(cell, x0, y0, Pack(fg), Pack(bg));
}

// The .F32 companion at K = S / 2: each double-size pixel a K x K block.
void TFontRenderer::RenderUpscaled(const TCell& cell, int x0, int y0, uint32_t fg, uint32_t bg) {
  const int w = FFont->Width(), h = FFont->Height(), k = CanvasBlock() / 2;
  platform::Surface& canvas = Canvas();
  const int rowPixels = 2 * w * k, bpr = (2 * w + 7) / 8;
  const uint8_t* glyph = FFont->GetGlyph2x(cell.Ch);
  FRowScratch.resize(size_t(rowPixels));
  for (int gy = 0; gy < 2 * h; ++gy) {
    bool solid = cell.Underline && gy >= 2 * (h - 1);
    const uint8_t* bits = glyph + size_t(gy) * bpr;
    uint32_t* out = FRowScratch.data();
    for (int gx = 0; gx < 2 * w; ++gx) {
      uint32_t c = solid || (bits[gx / 8] & (0x80 >> (gx % 8))) ? fg : bg;
      std::fill(out, out + k, c);
      out += k;
    }
    for (int r = 0; r < k; ++r) std::copy_n(FRowScratch.data(), rowPixels, canvas.Row(y0 + gy * k + r) + x0);
  }
}

namespace {

// For each byte of glyph bits, a mask per pixel: all ones where it inks.
struct InkMasks {
  uint32_t Of[256][8];
  InkMasks() {
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i) Of[b][i] = (b & (0x80 >> i)) ? 0xFFFFFFFFu : 0;
  }
};
const InkMasks kInk;

}  // namespace

void TFontRenderer::RenderPlain(const TCell& cell, int x0, int y0, uint32_t fg, uint32_t bg) {
  const int w = FFont->Width(), h = FFont->Height(), s = CanvasBlock();
  const size_t bpr = size_t(FFont->BytesPerRow());
  platform::Surface& canvas = Canvas();
  const uint8_t* glyph = FFont->GetGlyph(cell.Ch);
  const uint32_t ink = fg ^ bg;
  const int rowPixels = w * s;
  for (int gy = 0; gy < h; ++gy) {
    const bool solid = cell.Underline && gy == h - 1;
    uint32_t* out = canvas.Row(y0 + gy * s) + x0;
    for (int gx = 0; gx < w; gx += 8) {
      const uint32_t* mask = kInk.Of[solid ? 0xFF : glyph[size_t(gy) * bpr + size_t(gx / 8)]];
      const int n = std::min(8, w - gx);
      if (s == 1) {
        for (int i = 0; i < n; ++i) out[gx + i] = bg ^ (ink & mask[i]);
        continue;
      }
      for (int i = 0; i < n; ++i) std::fill_n(out + (gx + i) * s, s, bg ^ (ink & mask[i]));
    }
    for (int r = 1; r < s; ++r) std::copy_n(out, rowPixels, canvas.Row(y0 + gy * s + r) + x0);
  }
}

// Fills the coverage cache of one glyph for block size S. Each cache pixel
// takes 8 x 8 samples; embolden offsets thicken the strokes.
void TFontRenderer::EnsureCoverage(uint8_t ch, int s) {
  const int w = FFont->Width(), h = FFont->Height();
  const size_t glyphBytes = size_t(w * s) * size_t(h * s);
  if (!FCoverageValid || FCoverageScale != s || FCoverageGlyphW != w || FCoverageGlyphH != h) {
    FCoverage.assign(256 * glyphBytes, 0);
    FCoverageBuilt.assign(256, false);
    FCoverageScale = s;
    FCoverageGlyphW = w;
    FCoverageGlyphH = h;
    FCoverageValid = true;
  }
  if (FCoverageBuilt[ch]) return;
  std::vector<std::pair<double, double>> offsets;
  if (FEmbolden && FEmboldenRadius > 0) {
    double r = FEmboldenRadius;
    offsets = {{r, 0}, {-r, 0}, {0, r}, {0, -r}};
  }
  const bool use2x = FUpscaledFont && FFont->Has2x();
  const bool useAa = FFont->HasAa() && !use2x;
  uint8_t* out = FCoverage.data() + size_t(ch) * glyphBytes;
  for (int py = 0; py < h * s; ++py)
    for (int px = 0; px < w * s; ++px) {
      double sum = 0;
      int count = 0;
      for (int sy = 0; sy < 8; ++sy)
        for (int sx = 0; sx < 8; ++sx) {
          double x = ((sx + 0.5) * 0.125 + px) / s - 0.5;
          double y = ((sy + 0.5) * 0.125 + py) / s - 0.5;
          if (useAa) {
            double v = FFont->SampleAA(ch, x, y);
            for (auto [dx, dy] : offsets) v = std::max(v, FFont->SampleAA(ch, x + dx, y + dy));
            sum += v;
            continue;
          }
          bool ink;
          if (use2x) {
            int gx = std::clamp(int(std::floor((x + 0.5) * 2)), 0, 2 * FFont->BaseWidth() - 1);
            int gy = std::clamp(int(std::floor((y + 0.5) * 2)), 0, 2 * FFont->BaseHeight() - 1);
            ink = FFont->GetPixel2x(ch, gx, gy);
          } else {
            ink = FFont->GetPixelCoverage(ch, int(std::nearbyint(x)), int(std::nearbyint(y))) > 0.5;
          }
          for (size_t i = 0; !ink && i < offsets.size(); ++i)
            ink = FFont->GetPixelCoverage(ch, int(std::nearbyint(x + offsets[i].first)),
                                          int(std::nearbyint(y + offsets[i].second))) > 0.5;
          count += ink;
        }
      double cover = useAa ? sum / 64 : count / 64.0;
      out[size_t(py) * size_t(w * s) + size_t(px)] = uint8_t(std::nearbyint(cover * 255));
    }
  FCoverageBuilt[ch] = true;
}

// Blends foreground over background in linear light by each pixel's coverage.
void TFontRenderer::RenderCoverage(const TCell& cell, int x0, int y0, TColorRGB fg, TColorRGB bg) {
  const int w = FFont->Width(), h = FFont->Height(), s = BlockSize();
  EnsureCoverage(cell.Ch, s);
  const uint8_t* cover = FCoverage.data() + size_t(cell.Ch) * size_t(w * s) * size_t(h * s);
  const double fr = ToLinear[fg.R], fgG = ToLinear[fg.G], fb = ToLinear[fg.B];
  const double br = ToLinear[bg.R], bgG = ToLinear[bg.G], bb = ToLinear[bg.B];
  for (int py = 0; py < h * s; ++py) {
    uint32_t* out = FRender.Row(y0 + py) + x0;
    bool solid = cell.Underline && py >= (h - 1) * s;
    for (int px = 0; px < w * s; ++px) {
      double a = solid ? 1.0 : cover[size_t(py) * size_t(w * s) + size_t(px)] / 255.0;
      out[px] = platform::PackRGB(LinearToByte(br + (fr - br) * a), LinearToByte(bgG + (fgG - bgG) * a),
                                  LinearToByte(bb + (fb - bb) * a));
    }
  }
}

void TFontRenderer::DrawCell(int col, int row, const TCell& cell) {
  if (!CellInsideBitmap(col, row)) return;
  RenderCell(col, row, cell);
  MarkCellDirty(col, row);
}

// The program's own popups keep their interface font whatever font the board
// chose: the text-screen glyph is scaled into the terminal font's cell.
void TFontRenderer::DrawCellUiFont(int col, int row, const TCell& cell) {
  if (!FUiFont) {
    DrawCell(col, row, cell);
    return;
  }
  if (!CellInsideBitmap(col, row)) return;
  const int s = CanvasBlock(), cw = FFont->Width() * s, ch = FFont->Height() * s;
  const int x0 = col * cw, y0 = row * ch;
  platform::Surface& canvas = Canvas();
  const bool use2x = FUpscaledFont && FUiFont->Has2x() && DoubleFontFactor() == 2;
  const int sw = use2x ? 2 * FUiFont->BaseWidth() : FUiFont->Width();
  const int sh = use2x ? 2 * FUiFont->BaseHeight() : FUiFont->Height();
  const uint32_t fg = Pack(cell.Reverse ? cell.Bg : cell.Fg), bg = Pack(cell.Reverse ? cell.Fg : cell.Bg);
  ++FCellsDrawn;
  if (TCellLook* look = LookAt(col, row))
    *look = TCellLook{fg, bg, 0, FDrawGen, cell.Ch, uint8_t((cell.Underline ? lkUnderline : 0) | lkUiFont)};
  for (int py = 0; py < ch; ++py) {
    uint32_t* out = canvas.Row(y0 + py) + x0;
    int sy = py * sh / ch;
    bool solid = cell.Underline && py >= ch - s;
    for (int px = 0; px < cw; ++px) {
      int sx = px * sw / cw;
      bool ink = use2x ? FUiFont->GetPixel2x(cell.Ch, sx, sy) : FUiFont->GetPixel(cell.Ch, sx, sy);
      out[px] = solid || ink ? fg : bg;
    }
  }
  MarkCellDirty(col, row);
}

void TFontRenderer::FillCursorBar(int col, int row, TColorRGB colour) {
  if (!CellInsideBitmap(col, row)) return;
  const int s = CanvasBlock(), w = FFont->Width(), h = FFont->Height();
  const int bar = std::min(2, h) * s;
  const int x0 = col * w * s, yEnd = (row + 1) * h * s;
  Canvas().FillRect(platform::Rect{x0, yEnd - bar, x0 + w * s, yEnd}, Pack(colour));
  if (TCellLook* look = LookAt(col, row)) {
    look->Cursor = Pack(colour);
    look->Flags |= lkCursor;
  }
}

void TFontRenderer::DrawCursor(int col, int row, TColorRGB colour) {
  if (!CellInsideBitmap(col, row)) return;
  FillCursorBar(col, row, colour);
  MarkCellDirty(col, row);
}

void TFontRenderer::MarkCellDirty(int col, int row) {
  if (FCacheCols <= 0 || col < 0 || col >= FCacheCols || row < 0) return;
  size_t at = size_t(row) * size_t(FCacheCols) + size_t(col);
  if (at < FDirtyCells.size()) FDirtyCells[at] = 1;
}
