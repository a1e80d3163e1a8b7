// The 640x350 graphics surface of RIPscrip, SkyPix and IGS. Besides the true
// colour pixels it keeps, per pixel, whether a graphics command drew it and
// which palette entry it carries, so palette changes recolour the picture and
// text cells never paint over drawn graphics. It owns the drawing state of
// the RIPscrip model (colours, patterns, line style, viewport, pen, font, mouse
// regions, image clipboard); it knows nothing of framing or commands.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"
#include "platform/Surface.h"

class TBGIStrokeFont;
class TBitmapFont;

struct TRipHotspot {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive, x1 <= x2 and y1 <= y2
  std::string text;                        // sent to the host when clicked
};

struct TRipPoint {
  int32_t x = 0, y = 0;
};
using TRipPointArray = std::vector<TRipPoint>;

struct TRipPaletteEntry {
  uint8_t R = 0, G = 0, B = 0;
  friend constexpr bool operator==(const TRipPaletteEntry&, const TRipPaletteEntry&) = default;
};

class TRipCanvas {
 public:
  static constexpr int kWidth = 640, kHeight = 350, kPixels = kWidth * kHeight;
  static constexpr uint8_t kNoIndex = 255;
  // Line patterns by style; bit 0 is a line's first pixel.
  static constexpr uint16_t kLinePatterns[4] = {0xFFFF, 0xCCCC, 0xFC78, 0xF8F8};
  static const uint8_t kFillPatterns[12][8];
  static const TRipPaletteEntry kEgaPalette[16];
  static const TRipPaletteEntry kSkyPixPalette[16];

  TRipCanvas();

  // ---- output (application and painter)
  // All pixels black, both planes 0, mouse regions removed. Viewport,
  // palette, styles, pen, font and clipboard stay.
  void Clear();
  // Stretches the whole surface into Dst of Target (nearest pixel) and
  // clears the dirty flag.
  void PaintTo(platform::Surface& target, platform::Rect dst);
  uint32_t* Bits() { return FBits.Pixels(); }
  const platform::Surface& Surface() const { return FBits; }
  void MarkDirty() { FDirty = true; }
  // The surface was shown some other way than PaintTo (a composed copy).
  void ClearDirty() { FDirty = false; }
  bool Dirty() const { return FDirty; }
  int DrawnPixelCount() const;
  bool AnyDrawnIn(int x1, int y1, int x2, int y2) const;
  // One terminal text cell over the picture; a cell that would cover a
  // drawn pixel is not painted at all.
  void DrawTerminalGlyph(int x, int y, int cellW, int cellH, uint8_t ch, TColorRGB fg, TColorRGB bg,
                         const TBitmapFont* font, bool underline, bool hidden, bool transparent);
  bool HitTest(int x, int y, std::string& text) const;
  int HotspotCount() const { return int(FHotspots.size()); }
  const std::vector<TRipHotspot>& Hotspots() const { return FHotspots; }
  // Slots 1..10; the fonts stay owned by the caller.
  void SetFontSlot(int n, const TBGIStrokeFont* font);

  // ---- pixels and state
  bool InClip(int64_t x, int64_t y) const {
    return x >= FViewX1 && x <= FViewX2 && y >= FViewY1 && y <= FViewY2 && x >= 0 && y >= 0 && x < kWidth &&
           y < kHeight;
  }
  void PutPixel(int64_t x, int64_t y, int color);
  uint8_t GetPixel(int64_t x, int64_t y) const;
  void PutRGB(int x, int y, bool drawn, TColorRGB color);
  uint8_t FindPaletteIndex(TColorRGB color) const;
  void ScrollUp(int n, int bandHeight);
  uint8_t GetColor() const { return FColor; }
  void SetColor(int c) { FColor = uint8_t(c & 15); }
  uint8_t GetFillColor() const { return FFillColor; }
  void SetFillColor(int c) { FFillColor = uint8_t(c & 15); }
  void MoveTo(int32_t x, int32_t y) { FPenX = x, FPenY = y; }
  int32_t PenX() const { return FPenX; }
  int32_t PenY() const { return FPenY; }
  void SetViewport(int x1, int y1, int x2, int y2);
  platform::Rect Viewport() const { return {FViewX1, FViewY1, FViewX2 + 1, FViewY2 + 1}; }
  void SetLineStyle(int style, uint32_t userPattern, int thickness);
  uint16_t LinePattern() const { return FLinePattern; }
  int Thickness() const { return FThickness; }
  void SetFillStyle(int style);
  void SetFillPattern(const uint8_t bytes[8]);
  const uint8_t* FillPattern() const { return FFillPattern; }
  int PatternColor(int x, int y) const {
    return (FFillPattern[y & 7] >> (7 - (x & 7))) & 1 ? FFillColor : 0;
  }
  void SetPaletteEntry(int index, int egaValue);
  void ResetPaletteAndStyles();
  void ResetPalette();
  void ResetSkyPixPalette();
  void SetSkyPixPalette(const std::vector<int32_t>& values);
  TRipPaletteEntry PaletteEntry(int i) const { return FPalette[i & 15]; }
  static TRipPaletteEntry EgaColorToRgb(int value);
  void ClearHotspots() { FHotspots.clear(); }
  void AddHotspot(int x1, int y1, int x2, int y2, const std::string& text);
  // One pixel's palette index (kNoIndex for a true colour), drawn flag and colour.
  uint8_t IndexAt(int x, int y) const { return FIndex[size_t(y) * kWidth + x]; }
  bool DrawnAt(int x, int y) const { return FDrawn[size_t(y) * kWidth + x] != 0; }
  uint32_t PixelAt(int x, int y) const { return FBits.Pixel(x, y); }

  // ---- lines and shapes (coordinates are 64-bit so that far-off shapes
  // from a board clip instead of wrapping)
  void StyledLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int color, uint16_t pattern);
  void DrawLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void Bar(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void FillRect(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int color);
  void EraseViewport();
  void Ellipse(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int color);
  void Circle(int64_t x, int64_t y, int64_t r);
  void FillEllipse(int64_t cx, int64_t cy, int64_t rx, int64_t ry);
  void Arc(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end);
  void PieSlice(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end);
  void DrawPolygon(const TRipPointArray& points);
  void Polyline(const TRipPointArray& points);
  void FillPolygon(const TRipPointArray& points);
  void Bezier(const TRipPointArray& points, int high, int segments);
  void FloodFill(int x, int y, int border);
  void FloodFillSpans(int x, int y, int fillColor, int border);
  void FillSameColor(int x, int y, int color);

  // ---- images
  void GetImage(int x1, int y1, int x2, int y2);
  void PutImage(int x, int y, int mode);
  void PutImageData(const std::vector<uint32_t>& pixels, int w, int h, int64_t x, int64_t y, int mode);
  void DrawBrush(int srcX, int srcY, int64_t dstX, int64_t dstY, int w, int h, int mode);
  void SetClipboard(std::vector<uint32_t> pixels, int w, int h);
  int ClipboardWidth() const { return FClipW; }
  int ClipboardHeight() const { return FClipH; }

  // ---- text
  void SetFont(int font, int size);
  int FontNum() const { return FFontNum; }
  int FontSize() const { return FFontSize; }
  void RipDrawText(int64_t x, int64_t y, const std::string& text);
  int TextWidth(const std::string& text) const;
  void OutTextXY(int64_t x, int64_t y, const std::string& text);
  void OutText(const std::string& text) { OutTextXY(FPenX, FPenY, text); }
  void RipStrokeLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  static std::string UnescapeText(const std::string& text);

 private:
  size_t At(int x, int y) const { return size_t(y) * kWidth + size_t(x); }
  void SetPaletteFrom(const TRipPaletteEntry palette[16]);
  void RewritePixelsOfIndex(int index);
  void PatternSpan(int y, int64_t x1, int64_t x2);
  void ArcPoints(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end, std::vector<TRipPoint>& out) const;

  platform::Surface FBits;
  std::vector<uint8_t> FDrawn, FIndex;
  uint8_t FFillPattern[8];
  uint16_t FLinePattern = 0xFFFF;
  int32_t FThickness = 1;
  std::vector<TRipHotspot> FHotspots;
  const TBGIStrokeFont* FFonts[11] = {};
  int32_t FLastCellH = -1;
  int32_t FFontNum = 0, FFontSize = 1;
  bool FDirty = false;
  uint8_t FColor = 15, FFillColor = 0;
  int32_t FViewX1 = 0, FViewY1 = 0, FViewX2 = kWidth - 1, FViewY2 = kHeight - 1;
  int32_t FPenX = 0, FPenY = 0;
  TRipPaletteEntry FPalette[16];
  std::vector<uint32_t> FClip;
  int32_t FClipW = 0, FClipH = 0;
};
