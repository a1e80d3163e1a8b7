#include "graphics/uRipCanvas.h"

#include <algorithm>
#include <cstring>

#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"

const uint8_t TRipCanvas::kFillPatterns[12][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}, {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},
    {0xE0, 0xC1, 0x83, 0x07, 0x0E, 0x1C, 0x38, 0x70}, {0xF0, 0x78, 0x3C, 0x1E, 0x0F, 0x87, 0xC3, 0xE1},
    {0xA5, 0xD2, 0x69, 0xB4, 0x5A, 0x2D, 0x96, 0x4B}, {0xFF, 0x88, 0x88, 0x88, 0xFF, 0x88, 0x88, 0x88},
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, {0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33},
    {0x80, 0x00, 0x08, 0x00, 0x80, 0x00, 0x08, 0x00}, {0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00},
};

const TRipPaletteEntry TRipCanvas::kEgaPalette[16] = {
    {0, 0, 0},    {0, 0, 170},    {0, 170, 0},    {0, 170, 170},  {170, 0, 0},    {170, 0, 170},
    {170, 85, 0}, {170, 170, 170}, {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
    {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255},
};

const TRipPaletteEntry TRipCanvas::kSkyPixPalette[16] = {
    {0, 0, 0},     {17, 17, 255}, {221, 221, 221}, {255, 0, 0},   {0, 255, 17},  {51, 170, 255},
    {255, 255, 34}, {204, 0, 238}, {0, 187, 102},   {0, 221, 221}, {0, 170, 255}, {0, 119, 187},
    {0, 0, 255},   {119, 0, 255}, {187, 0, 221},   {187, 0, 136},
};

namespace {

uint32_t Pack(TRipPaletteEntry e) { return platform::PackRGB(e.R, e.G, e.B); }
uint32_t Pack(TColorRGB c) { return platform::PackRGB(c.R, c.G, c.B); }
TRipPaletteEntry Unpack(uint32_t v) { return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

}  // namespace

TRipCanvas::TRipCanvas() : FBits(kWidth, kHeight), FDrawn(kPixels, 0), FIndex(kPixels, 0) {
  std::memcpy(FFillPattern, kFillPatterns[1], 8);
  SetPaletteFrom(kEgaPalette);
  Clear();
}

void TRipCanvas::Clear() {
  std::memset(FBits.Pixels(), 0, size_t(kPixels) * sizeof(uint32_t));
  std::memset(FDrawn.data(), 0, FDrawn.size());
  std::memset(FIndex.data(), 0, FIndex.size());
  FHotspots.clear();
  FDirty = true;
}

void TRipCanvas::PaintTo(platform::Surface& target, platform::Rect dst) {
  target.StretchNearest(FBits, platform::Rect{0, 0, kWidth, kHeight}, dst);
  FDirty = false;
}

int TRipCanvas::DrawnPixelCount() const { return int(std::count(FDrawn.begin(), FDrawn.end(), 1)); }

bool TRipCanvas::AnyDrawnIn(int x1, int y1, int x2, int y2) const {
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, kWidth - 1), y2 = std::min(y2, kHeight - 1);
  for (int y = y1; y <= y2; ++y) {
    const uint8_t* row = FDrawn.data() + At(0, y);
    for (int x = x1; x <= x2; ++x)
      if (row[x]) return true;
  }
  return false;
}

void TRipCanvas::DrawTerminalGlyph(int x, int y, int cellW, int cellH, uint8_t ch, TColorRGB fg, TColorRGB bg,
                                   const TBitmapFont* font, bool underline, bool hidden, bool transparent) {
  if (LogEnabled && cellH != FLastCellH) {
    LogLine("DrawTerminalGlyph: CellW=" + std::to_string(cellW) + " CellH=" + std::to_string(cellH) +
            " (native RIP bitmap font, no resample)");
    FLastCellH = cellH;
  }
  if (cellW <= 0 || cellH <= 0) return;
  // A cell can never be larger than the surface; a bigger request is cut.
  cellW = std::min(cellW, kWidth), cellH = std::min(cellH, kHeight);
  if (AnyDrawnIn(x, y, x + cellW - 1, y + cellH - 1)) return;  // graphics win over text
  const uint8_t* table = cellH == 14 ? Vga8x14Glyphs() : cellH == 8 ? kVga8x8Glyphs : nullptr;
  const uint8_t* glyph = table ? table + size_t(ch) * cellH : nullptr;
  for (int r = 0; r < cellH; ++r) {
    for (int c = 0; c < cellW; ++c) {
      bool on = false;
      if (!hidden) {
        if (glyph) {
          const uint8_t g = glyph[r];
          on = cellW > 8 ? (g >> (7 - c * 8 / cellW)) & 1 : c < 8 && ((g >> (7 - c)) & 1);
        } else if (font && font->Width() > 0 && font->Height() > 0) {
          const int fx = int(c * (double(font->Width()) / cellW));
          const int fy = int(r * (double(font->Height()) / cellH));
          on = font->GetPixelCoverage(ch, fx, fy) > 0.5;
        }
      }
      if (underline && r == cellH - 1) on = true;
      if (on || !transparent) PutRGB(x + c, y + r, false, on ? fg : bg);
    }
  }
}

bool TRipCanvas::HitTest(int x, int y, std::string& text) const {
  for (auto it = FHotspots.rbegin(); it != FHotspots.rend(); ++it) {
    if (x >= it->x1 && x <= it->x2 && y >= it->y1 && y <= it->y2) {
      text = it->text;
      return true;
    }
  }
  text.clear();
  return false;
}

void TRipCanvas::SetFontSlot(int n, const TBGIStrokeFont* font) {
  if (n >= 1 && n <= 10) FFonts[n] = font;
}

void TRipCanvas::PutPixel(int64_t x, int64_t y, int color) {
  if (!InClip(x, y)) return;
  if (color > 15 || color < 0) color = 15;
  const size_t i = At(int(x), int(y));
  FBits.Pixels()[i] = Pack(FPalette[color]);
  FDrawn[i] = 1;
  FIndex[i] = uint8_t(color);
  FDirty = true;
}

uint8_t TRipCanvas::GetPixel(int64_t x, int64_t y) const {
  if (!InClip(x, y)) return kNoIndex;
  const size_t i = At(int(x), int(y));
  if (FIndex[i] != kNoIndex) return FIndex[i];
  const TRipPaletteEntry e = Unpack(FBits.Pixels()[i]);
  for (int k = 0; k < 16; ++k)
    if (FPalette[k] == e) return uint8_t(k);
  return kNoIndex;
}

void TRipCanvas::PutRGB(int x, int y, bool drawn, TColorRGB color) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  const size_t i = At(x, y);
  FBits.Pixels()[i] = Pack(color);
  if (drawn) {
    FIndex[i] = FindPaletteIndex(color);
    FDrawn[i] = 1;
  } else {
    FIndex[i] = kNoIndex;
  }
  FDirty = true;
}

uint8_t TRipCanvas::FindPaletteIndex(TColorRGB color) const {
  const TRipPaletteEntry e{color.R, color.G, color.B};
  for (int k = 0; k < 16; ++k)
    if (FPalette[k] == e) return uint8_t(k);
  return kNoIndex;
}

void TRipCanvas::ScrollUp(int n, int bandHeight) {
  bandHeight = std::min(bandHeight, kHeight);
  if (n <= 0 || bandHeight <= 0) return;
  n = std::min(n, bandHeight);
  const size_t moved = size_t(bandHeight - n) * kWidth, cleared = size_t(n) * kWidth;
  const size_t from = size_t(n) * kWidth, tail = size_t(bandHeight - n) * kWidth;
  uint32_t* px = FBits.Pixels();
  std::memmove(px, px + from, moved * sizeof(uint32_t));
  std::memmove(FDrawn.data(), FDrawn.data() + from, moved);
  std::memmove(FIndex.data(), FIndex.data() + from, moved);
  std::fill_n(px + tail, cleared, 0u);
  std::fill_n(FDrawn.data() + tail, cleared, 0);
  std::fill_n(FIndex.data() + tail, cleared, 0);
  FDirty = true;
}

void TRipCanvas::SetViewport(int x1, int y1, int x2, int y2) {
  if (x1 == 0 && y1 == 0 && x2 == 0 && y2 == 0) {
    FViewX1 = 0, FViewY1 = 0, FViewX2 = -1, FViewY2 = -1;  // nothing drawable
    return;
  }
  if (x2 >= kWidth) x2 = kWidth - 1;
  if (y2 >= kHeight) y2 = kHeight - 1;
  if (x1 < x2 && y1 < y2) FViewX1 = x1, FViewY1 = y1, FViewX2 = x2, FViewY2 = y2;
}

void TRipCanvas::SetLineStyle(int style, uint32_t userPattern, int thickness) {
  if (style >= 0 && style <= 3)
    FLinePattern = kLinePatterns[style];
  else if (style == 4)
    FLinePattern = uint16_t(userPattern);
  else
    FLinePattern = 0xFFFF;
  FThickness = thickness > 2 ? 3 : 1;
}

void TRipCanvas::SetFillStyle(int style) {
  if (style >= 0 && style <= 11) std::memcpy(FFillPattern, kFillPatterns[style], 8);
}

void TRipCanvas::SetFillPattern(const uint8_t bytes[8]) { std::memcpy(FFillPattern, bytes, 8); }

TRipPaletteEntry TRipCanvas::EgaColorToRgb(int value) {
  TRipPaletteEntry e;
  e.R = uint8_t((value & 4 ? 170 : 0) + (value & 32 ? 85 : 0));
  e.G = uint8_t((value & 2 ? 170 : 0) + (value & 16 ? 85 : 0));
  e.B = uint8_t((value & 1 ? 170 : 0) + (value & 8 ? 85 : 0));
  return e;
}

void TRipCanvas::RewritePixelsOfIndex(int index) {
  const uint32_t v = Pack(FPalette[index]);
  uint32_t* px = FBits.Pixels();
  for (size_t i = 0; i < size_t(kPixels); ++i)
    if (FIndex[i] == index) px[i] = v;
}

void TRipCanvas::SetPaletteEntry(int index, int egaValue) {
  if (index < 0 || index > 15) return;
  FPalette[index] = EgaColorToRgb(egaValue & 63);
  RewritePixelsOfIndex(index);
  FDirty = true;
}

void TRipCanvas::SetPaletteFrom(const TRipPaletteEntry palette[16]) { std::copy(palette, palette + 16, FPalette); }

void TRipCanvas::ResetPaletteAndStyles() {
  SetPaletteFrom(kEgaPalette);
  uint32_t packed[16];
  for (int k = 0; k < 16; ++k) packed[k] = Pack(FPalette[k]);
  uint32_t* px = FBits.Pixels();
  for (size_t i = 0; i < size_t(kPixels); ++i)
    if (FIndex[i] < 16) px[i] = packed[FIndex[i]];
  std::memcpy(FFillPattern, kFillPatterns[1], 8);
  FLinePattern = 0xFFFF;
  FThickness = 1;
  FDirty = true;
}

void TRipCanvas::ResetPalette() { SetPaletteFrom(kEgaPalette); }
void TRipCanvas::ResetSkyPixPalette() { SetPaletteFrom(kSkyPixPalette); }

void TRipCanvas::SetSkyPixPalette(const std::vector<int32_t>& values) {
  if (values.size() < 16) return;
  for (int i = 0; i < 16; ++i) {
    const int32_t v = values[i];
    FPalette[i] = {uint8_t(((v >> 8) & 15) * 17), uint8_t(((v >> 4) & 15) * 17), uint8_t((v & 15) * 17)};
  }
}

void TRipCanvas::AddHotspot(int x1, int y1, int x2, int y2, const std::string& text) {
  TRipHotspot h;
  h.x1 = std::min(x1, x2), h.x2 = std::max(x1, x2);
  h.y1 = std::min(y1, y2), h.y2 = std::max(y1, y2);
  h.text = text;
  FHotspots.push_back(std::move(h));
}

// ---------------------------------------------------------------- images

void TRipCanvas::GetImage(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  const int w = std::min(x2, kWidth - 1) - x1 + 1, h = std::min(y2, kHeight - 1) - y1 + 1;
  if (w < 1 || h < 1) {
    FClip.clear();
    FClipW = FClipH = 0;
    return;
  }
  FClip.resize(size_t(w) * size_t(h));
  for (int r = 0; r < h; ++r) std::memcpy(&FClip[size_t(r) * w], FBits.Row(y1 + r) + x1, size_t(w) * 4);
  FClipW = w, FClipH = h;
}

void TRipCanvas::SetClipboard(std::vector<uint32_t> pixels, int w, int h) {
  FClip = std::move(pixels);
  FClipW = w, FClipH = h;
}

void TRipCanvas::PutImage(int x, int y, int mode) {
  if (FClipW > 0 && FClipH > 0) PutImageData(FClip, FClipW, FClipH, x, y, mode);
}

void TRipCanvas::PutImageData(const std::vector<uint32_t>& pixels, int w, int h, int64_t x, int64_t y, int mode) {
  // A picture that does not fit at the viewport's right edge is not drawn.
  if (w <= 0 || h <= 0 || x + w - 1 > FViewX2 || pixels.size() < size_t(w) * size_t(h)) return;
  uint32_t* px = FBits.Pixels();
  for (int i = 0; i < h; ++i) {
    if (!InClip(x, y + i)) continue;  // a row whose first pixel is clipped is skipped whole
    const int py = int(y + i);
    for (int j = 0; j < w; ++j) {
      if (!InClip(x + j, py)) continue;
      const size_t at = At(int(x + j), py);
      uint32_t v = pixels[size_t(i) * w + j];
      switch (mode) {
        case 1: v ^= px[at]; break;
        case 2: v |= px[at]; break;
        case 3: v &= px[at]; break;
        case 4: v = ~v & 0xFFFFFFu; break;
        default: break;
      }
      px[at] = v;
      const TRipPaletteEntry e = Unpack(v);
      FIndex[at] = FindPaletteIndex(TColorRGB{e.R, e.G, e.B});
      FDrawn[at] = 1;
    }
  }
  FDirty = true;
}

void TRipCanvas::DrawBrush(int srcX, int srcY, int64_t dstX, int64_t dstY, int w, int h, int mode) {
  if (FClip.empty() || FClipW <= 0 || FClipH <= 0 || w <= 0 || h <= 0) return;
  srcX = std::max(srcX, 0), srcY = std::max(srcY, 0);
  if (srcX >= FClipW || srcY >= FClipH) return;
  w = std::min(w, FClipW - srcX), h = std::min(h, FClipH - srcY);
  if (w <= 0 || h <= 0) return;
  std::vector<uint32_t> part(size_t(w) * size_t(h));
  for (int r = 0; r < h; ++r)
    std::memcpy(&part[size_t(r) * w], &FClip[size_t(srcY + r) * FClipW + srcX], size_t(w) * 4);
  PutImageData(part, w, h, dstX, dstY, mode);
}
