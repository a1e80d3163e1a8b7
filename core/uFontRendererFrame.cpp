// TFontRenderer, frame side: the frame driver RenderBuffer (changed cells
// only, blink, cursor, sprites), the image sprites and the reduction of the
// render bitmap to the display bitmap. Presentation is in
// uFontRendererPresent.cpp.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

constexpr int64_t kMaxBoxFilterIterations = 64000000;
constexpr double kFastPathAboveMs = 20.0;
constexpr double kFullQualityBelowMs = 8.0;
constexpr int kFullQualityEvery = 60;
constexpr double kSlowFrameMs = 15.0;

bool SameLook(const TCell& a, const TCell& b) {
  return a.Ch == b.Ch && a.Underline == b.Underline && a.Reverse == b.Reverse && a.Fg == b.Fg && a.Bg == b.Bg;
}

std::string RowForLog(const TTerminalBuffer& buffer, int row) {
  std::string text;
  for (int c = 0; c < buffer.FWidth; ++c) {
    uint8_t ch = buffer.GetDisplayCell(c, row).Ch;
    text += ch >= 32 && ch <= 126 ? char(ch) : '.';
  }
  return text;
}

}  // namespace

// Draws every displayed cell that differs from what the bitmap shows; true
// when the cell cache may be trusted afterwards.
bool TFontRenderer::PaintCells(TTerminalBuffer& buffer, bool blinkOn) {
  const int width = buffer.FWidth, height = buffer.FHeight;
  const size_t cells = size_t(width) * size_t(height);
  if (FCellCache.size() != cells || FCacheCols != width) {
    FCellCache.assign(cells, DefaultCell());
    FDirtyCells.assign(cells, 0);
    FCacheCols = width;
    FCellCacheValid = false;
  }
  if (!FSprites.empty()) FCellCacheValid = false;
  for (int r = 0; r < height; ++r) {
    TCell* cached = FCellCache.data() + size_t(r) * size_t(width);
    uint8_t* dirty = FDirtyCells.data() + size_t(r) * size_t(width);
    for (int c = 0; c < width; ++c) {
      TCell cell = buffer.GetDisplayCell(c, r);
      if (cell.Blink && !blinkOn) cell.Ch = ' ';
      if (FCellCacheValid && !dirty[c] && SameLook(cell, cached[c])) continue;
      RenderCell(c, r, cell);
      cached[c] = cell;
      dirty[c] = 0;
    }
  }
  return FSprites.empty();
}

void TFontRenderer::RenderBuffer(TTerminalBuffer& buffer, platform::Surface& target, int left, int top, int width,
                                 int height, bool blinkOn, bool spritesDirty, bool fill) {
  Clock::time_point t0 = Clock::now(), t1 = t0, t2 = t0;
  if (buffer.FWidth != FCols || buffer.FHeight != FRows) SetGridSize(buffer.FWidth, buffer.FHeight);
  bool haveBitmap = EnsureRenderDib();
  const bool wasDirty = buffer.Dirty;
  if (buffer.Dirty && haveBitmap) {
    if (LogEnabled && LogIsOpen()) {
      char head[96];
      std::snprintf(head, sizeof head, "RenderBuffer: FULL redraw, cursor=(%d,%d), row%d=", buffer.CursorX,
                    buffer.CursorY, buffer.CursorY);
      LogLine(head + ("\"" + RowForLog(buffer, buffer.CursorY) + "\""));
    }
    FCellCacheValid = PaintCells(buffer, blinkOn);
    t1 = Clock::now();
    if (buffer.CursorVisible && blinkOn && !buffer.IsScrolledBack())
      DrawCursor(buffer.CursorX, buffer.CursorY, buffer.GetDisplayCell(buffer.CursorX, buffer.CursorY).Fg);
    DrawSprites();
    t2 = Clock::now();
    buffer.Dirty = false;
  } else if (spritesDirty && haveBitmap) {
    DrawSprites();
    t2 = Clock::now();
  }
  Present(target, left, top, width, height, fill);
  Clock::time_point t3 = Clock::now();
  double glyphs = MsBetween(t0, t1), sprites = MsBetween(t1, t2), present = MsBetween(t2, t3);
  double total = glyphs + sprites + present;
  if (total > kSlowFrameMs && LogEnabled) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "RenderBuffer: SLOW frame - glyphs=%.2fms sprites=%.2fms present=%.2fms total=%.2fms "
                  "(dirty=%d spritesDirty=%d)",
                  glyphs, sprites, present, total, int(wasDirty), int(spritesDirty));
    LogLine(line);
  }
}

void TFontRenderer::AddImageSprite(int x, int y, int w, int h, const std::vector<TColorRGB>& pixels,
                                   const std::vector<uint8_t>& mask) {
  if (w <= 0 || h <= 0) return;
  if (w > MaxSpriteSide || h > MaxSpriteSide) {
    LogLine("FontRenderer: picture of " + std::to_string(w) + "x" + std::to_string(h) + " refused");
    return;
  }
  const size_t n = size_t(w) * size_t(h);
  if (pixels.size() < n || mask.size() < n) return;
  std::erase_if(FSprites, [&](const TImageSprite& s) { return s.X == x && s.Y == y; });
  TImageSprite sprite;
  sprite.X = x;
  sprite.Y = y;
  sprite.W = w;
  sprite.H = h;
  sprite.Pixels.assign(pixels.begin(), pixels.begin() + long(n));
  sprite.Mask.assign(mask.begin(), mask.begin() + long(n));
  FSprites.push_back(std::move(sprite));
  if (FSprites.size() > size_t(MaxSprites)) FSprites.erase(FSprites.begin());
}

void TFontRenderer::ClearSprites() {
  FSprites.clear();
  FCellCacheValid = false;
}

// Each masked-in picture pixel is an S x S block. Pictures are clipped to the
// bitmap per row and column before the loops run, so a picture reaching past
// the right edge is cut there, and one far outside costs nothing. The cells
// a picture covers are stamped as changed.
void TFontRenderer::DrawSprites() {
  platform::Surface& canvas = Canvas();
  if (FSprites.empty() || canvas.Empty() || SpritesHidden || !FFont) return;
  const int64_t s = CanvasBlock();
  const int64_t gridW = (canvas.Width() + s - 1) / s, gridH = (canvas.Height() + s - 1) / s;
  for (const TImageSprite& sp : FSprites) {
    const int64_t i0 = std::max<int64_t>(0, -int64_t(sp.X)), i1 = std::min<int64_t>(sp.W, gridW - sp.X);
    const int64_t j0 = std::max<int64_t>(0, -int64_t(sp.Y)), j1 = std::min<int64_t>(sp.H, gridH - sp.Y);
    if (i0 >= i1 || j0 >= j1) continue;
    const uint32_t stamp = ++FStampSeq;
    for (int64_t r = (sp.Y + j0) / FFont->Height(); r <= (sp.Y + j1 - 1) / FFont->Height(); ++r)
      for (int64_t c = (sp.X + i0) / FFont->Width(); c <= (sp.X + i1 - 1) / FFont->Width(); ++c)
        if (TCellLook* look = LookAt(int(c), int(r))) look->Stamp = stamp;
    for (int64_t j = j0; j < j1; ++j) {
      const size_t rowAt = size_t(j) * size_t(sp.W);
      for (int64_t i = i0; i < i1; ++i) {
        if (!sp.Mask[rowAt + size_t(i)]) continue;
        const TColorRGB c = sp.Pixels[rowAt + size_t(i)];
        const int px = int((sp.X + i) * s), py = int((sp.Y + j) * s);
        canvas.FillRect(platform::Rect{px, py, px + int(s), py + int(s)}, platform::PackRGB(c.R, c.G, c.B));
      }
    }
  }
}

bool TFontRenderer::EnsureDisplayDib() {
  if (!FFont) return false;
  const int f = DoubleFontFactor();
  const int w = FCols * FFont->Width() * f, h = FRows * FFont->Height() * f;
  if (FDisplay.Width() == w && FDisplay.Height() == h && !FDisplay.Empty()) return true;
  // A grid whose render bitmap is refused gets no display bitmap either.
  const bool allowed = int64_t(PixelWidth()) * PixelHeight() <= MaxRenderPixels;
  const bool made = allowed && FDisplay.Resize(w, h) && !FDisplay.Empty();
  if (!made) FDisplay.Resize(0, 0);
  if (DirectPath()) CanvasReplaced();
  return made;
}

void TFontRenderer::NearestDownsample() {
  if (FRender.Empty()) return;
  const int d = std::max(1, BlockSize() / DoubleFontFactor());
  const int w = std::min(FDisplay.Width(), FRender.Width() / d), h = std::min(FDisplay.Height(), FRender.Height() / d);
  if (d == 1) {
    FDisplay.Copy(FRender, platform::Rect{0, 0, w, h}, 0, 0);
    return;
  }
  for (int y = 0; y < h; ++y) {
    const uint32_t* from = FRender.Row(y * d);
    uint32_t* to = FDisplay.Row(y);
    for (int x = 0; x < w; ++x) to[x] = from[x * d];
  }
}

void TFontRenderer::DownsampleToDisplayDib() {
  // The direct road draws into the display bitmap itself.
  if (!EnsureDisplayDib() || FRender.Empty() || DirectPath()) return;
  const int d = std::max(1, BlockSize() / DoubleFontFactor());
  const int64_t iterations = int64_t(FDisplay.Width()) * FDisplay.Height() * d * d;
  if (iterations > kMaxBoxFilterIterations) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "FontRenderer: DownsampleToDisplayDib bailing to nearest-sample - W=%d H=%d Scale=%d would be "
                  "%lld inner iterations",
                  FDisplay.Width(), FDisplay.Height(), d, (long long)iterations);
    LogLine(line);
    NearestDownsample();
    return;
  }
  if (!FAntiAliasGlyphs || d == 1) {
    NearestDownsample();
    return;
  }
  if (FFastPath) {
    if (++FFastFrameCount < kFullQualityEvery) {
      NearestDownsample();
      return;
    }
    FFastFrameCount = 0;
  }
  // Full quality: each display pixel is the mean in linear light of the
  // D x D render pixels it covers.
  Clock::time_point start = Clock::now();
  const int w = std::min(FDisplay.Width(), FRender.Width() / d), h = std::min(FDisplay.Height(), FRender.Height() / d);
  const double area = double(d) * d;
  for (int y = 0; y < h; ++y) {
    uint32_t* to = FDisplay.Row(y);
    for (int x = 0; x < w; ++x) {
      double r = 0, g = 0, b = 0;
      for (int sy = 0; sy < d; ++sy) {
        const uint32_t* from = FRender.Row(y * d + sy) + x * d;
        for (int sx = 0; sx < d; ++sx) {
          r += ToLinear[(from[sx] >> 16) & 0xFF];
          g += ToLinear[(from[sx] >> 8) & 0xFF];
          b += ToLinear[from[sx] & 0xFF];
        }
      }
      to[x] = platform::PackRGB(LinearToByte(r / area), LinearToByte(g / area), LinearToByte(b / area));
    }
  }
  double ms = MsBetween(start, Clock::now());
  FDownsampleAvgMs = FDownsampleAvgMs <= 0 ? ms : 0.8 * FDownsampleAvgMs + 0.2 * ms;
  char line[160];
  if (!FFastPath && FDownsampleAvgMs > kFastPathAboveMs) {
    FFastPath = true;
    FFastFrameCount = 0;
    std::snprintf(line, sizeof line,
                  "FontRenderer: downsample avg %.2fms > %.1fms - switching to fast (nearest-sample) path",
                  FDownsampleAvgMs, kFastPathAboveMs);
    LogLine(line);
  } else if (FFastPath && FDownsampleAvgMs < kFullQualityBelowMs) {
    FFastPath = false;
    std::snprintf(line, sizeof line, "FontRenderer: downsample avg back down to %.2fms - restoring full quality",
                  FDownsampleAvgMs);
    LogLine(line);
  }
}

