// The drawing half of IGS: a palette-indexed canvas in one of the three
// Atari ST resolutions, its 16 palette registers with the ST presets, the
// drawing attributes, and the primitives the IGS commands draw with (pixels
// under four writing modes, patterned lines, polygon fill, boxes, ellipse
// points, flood fill, markers, bitmap text and block copies).
// It never touches the terminal, the host or the sound; the parser does.
// Every coordinate arrives as a 64-bit value and every loop is clipped to the
// canvas before it runs, so a shape far outside costs no more than one inside.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TIGSPoint {
  int64_t X = 0;
  int64_t Y = 0;
};
using TIGSPoints = std::vector<TIGSPoint>;

class TIGSCanvas {
 public:
  enum TWritingMode : int32_t { wmReplace = 1, wmTransparent = 2, wmXor = 3, wmReverseTransparent = 4 };
  enum TFillStyle : int32_t { fsHollow = 0, fsSolid = 1, fsPattern = 2, fsHatch = 3, fsUser = 4 };
  enum TTextEffect : int32_t { teThicken = 1, teLight = 2, teSkew = 4, teUnderline = 8, teOutline = 16 };

  TIGSCanvas();

  // ---- Resolution and palette.
  // 0 = 320x200 with 16 colours, 1 = 640x200 with 4, 2 = 640x400 with 2;
  // other values select 0.
  void SetResolution(int resolution, bool clear);
  int Resolution() const { return FResolution; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int MaxColor() const;
  int ColorCount() const { return MaxColor() + 1; }
  // Registers 0..3 of the four ST presets; other numbers leave all black.
  void LoadPalettePreset(int preset);
  // ST levels 0..7 per channel; a register outside 0..15 is ignored.
  void SetPaletteEntry(int reg, int r, int g, int b);
  // The register a colour number selects in the current resolution.
  uint8_t PenToRegister(int64_t colour) const;
  void ResetAttributes();
  void ClearCanvas();
  int64_t AspectY(int64_t radius) const;
  // The RGB of a register.
  void RegisterColor(int reg, uint8_t& r, uint8_t& g, uint8_t& b) const;
  // The colour for terminal text in the default grey: register MaxColor.
  void TextColor(uint8_t& r, uint8_t& g, uint8_t& b) const;

  // ---- Attributes, set by the commands.
  uint8_t MarkerColor = 15, LineColor = 15, FillColor = 15, TextColorReg = 15;
  int32_t LineType = 1;
  int32_t UserLinePattern = 0xAAAA;
  int32_t MarkerType = 1, MarkerSize = 1;
  int32_t WritingMode = wmReplace;
  int32_t FillStyle = fsSolid, FillIndex = 1;
  bool Outline = false;
  int32_t TextEffects = 0;
  int32_t TextHeight = 9;
  int32_t TextRotation = 0;
  int64_t PenX = 0, PenY = 0;
  std::array<std::vector<uint16_t>, 8> UserPatterns;

  // ---- Pixels.
  // The register at (X, Y); 0 outside the canvas.
  uint8_t PixelAt(int64_t x, int64_t y) const;
  void SetPixel(int64_t x, int64_t y, bool bit, uint8_t colour);
  void FillPixel(int64_t x, int64_t y);
  void FillSpan(int64_t x1, int64_t x2, int64_t y);
  uint16_t LinePattern() const;
  uint16_t FillPatternRow(int64_t y) const;

  // ---- Shapes.
  void HLine(int64_t x1, int64_t x2, int64_t y, uint16_t pattern, uint8_t colour);
  void VLine(int64_t x, int64_t y1, int64_t y2, uint16_t pattern, uint8_t colour);
  void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint16_t pattern, uint8_t colour);
  void Polyline(const TIGSPoints& points, uint8_t colour, bool closed);
  void FillPolygon(const TIGSPoints& points);
  void Box(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour);
  void RoundedBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool filled);
  // Angles in tenths of a degree, counter-clockwise, 0 pointing right.
  TIGSPoints EllipsePoints(int64_t cx, int64_t cy, int64_t start, int64_t end, int64_t ry, int64_t rx) const;
  static TIGSPoint IgsEllipsePoint(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int64_t angle);
  static int64_t IgsSine(int64_t t);
  void FloodFill(int64_t x, int64_t y);

  // ---- Markers, text and blocks.
  void Plot(int64_t x, int64_t y);
  void DrawText(const std::string& text, int64_t x, int64_t y);
  // "G": operation p0 with logic mode p1 and its rectangle and target.
  void BlockOp(const std::vector<int32_t>& params);
  static uint8_t LogicOp(int64_t mode, uint8_t s, uint8_t d);
  bool HasBlock() const { return FBlock.Width > 0; }
  void ClearBlock() { FBlock = TBlock{}; }

  // ---- Output.
  // Nearest-neighbour scaling of the whole canvas into Dest (0x00RRGGBB).
  void RenderScaled(uint32_t* dest, int destWidth, int destHeight) const;

  // The built-in CP437 glyph tables of terminal text (not owned): 8 bytes a
  // glyph, and 14 bytes a glyph. A missing table draws no text pixels.
  const uint8_t* Font8x8 = nullptr;
  const uint8_t* Font8x14 = nullptr;

  bool Dirty = true;
  // Pixels visited since the owner last cleared it: the parser's measure of
  // how much drawing a piece of input has cost.
  int64_t Work = 0;

 private:
  struct TBlock {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
  };
  struct TSurfaceRef {
    int32_t Width, Height;
    uint8_t* Pixels;
  };
  struct TTextMetrics {
    int32_t GlyphW, GlyphH, Scale, Baseline, UnderlineRow, Thicken, UnderlineLength;
  };

  void PutDirect(int64_t x, int64_t y, uint8_t colour);
  bool GlyphPixel(uint8_t ch, int col, int row, int glyphW, int glyphH) const;
  static TTextMetrics MetricsFor(int height);
  static TBlock CopyRect(const TSurfaceRef& surface, int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  void Blit(const TBlock& block, int64_t tx, int64_t ty, TSurfaceRef surface, int64_t mode);
  TSurfaceRef CanvasSurface() { return TSurfaceRef{FWidth, FHeight, FPixels.data()}; }

  int32_t FResolution = 0;
  int32_t FWidth = 320, FHeight = 200;
  std::vector<uint8_t> FPixels;
  std::array<std::array<uint8_t, 3>, 16> FPalette{};
  TBlock FBlock;
  // Scratch of the flood fill, kept between fills.
  std::vector<uint8_t> FVisited;
  std::vector<int32_t> FStack;
};
