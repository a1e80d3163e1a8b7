// Bitmap fonts and the renderer that paints character cells into pixels.
// TBitmapFont holds the 256 glyphs of one code page 437 font as 1-bit rows,
// with two optional companions loaded from beside the main file: a
// double-size bitmap (.F32) and an anti-aliased coverage map (.f16g).
// TFontRenderer owns the render bitmap (each glyph pixel a Scale x Scale
// block) and the display bitmap it is reduced to; it reads a TTerminalBuffer
// but never changes its cells. It draws straight into the display bitmap
// when that gives the same pixels (the reduction only keeps one pixel of
// each block), and presents only what changed. Interface thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"
#include "platform/Surface.h"

class TBitmapFont {
 public:
  // Sets the base and current size and installs the built-in font.
  TBitmapFont(int width = 8, int height = 16);

  // Loads an .F16 (raw: 256 glyphs of BaseHeight rows) and its companions.
  // False on a missing or short file; the glyphs then stay as they were.
  bool LoadFromFile(const std::string& path);
  // Back to the base size; the built-in IBM VGA glyphs when that is 8 x 16,
  // all blank otherwise.
  void LoadBuiltinFont();
  // Installs glyphs of another size (the 8 x 8 set for tall screens); the base
  // size is kept.
  void LoadFromMemory(int width, int height, const uint8_t* data, size_t size);

  bool IsBaseSize() const { return FGlyphWidth == FBaseWidth && FGlyphHeight == FBaseHeight; }
  bool GetPixel(uint8_t ch, int x, int y) const;
  // The glyph's Height() rows of BytesPerRow() bytes, leftmost pixel in the
  // top bit.
  const uint8_t* GetGlyph(uint8_t ch) const { return FGlyphBits.data() + size_t(ch) * FGlyphHeight * FBytesPerRow; }
  // X and Y are clamped into the glyph first.
  double GetPixelCoverage(uint8_t ch, int x, int y) const;
  const uint8_t* GetGlyph2x(uint8_t ch) const;
  bool GetPixel2x(uint8_t ch, int x, int y) const;
  // Bilinear coverage 0..1 of the anti-aliased companion at a position given
  // in base glyph pixels; 0 without the companion.
  double SampleAA(uint8_t ch, double x, double y) const;

  // "dir/NAME_8x16.F16" gives "dir/NAME_16x32_AA.f16g" and
  // "dir/NAME_16x32.F32" (the marker is matched ignoring case); empty when
  // the name has no "_8x16.F16".
  static std::string AaCompanionName(const std::string& path);
  static std::string DoubleCompanionName(const std::string& path);
  bool LoadAaCompanion(const std::string& path);
  bool LoadDoubleCompanion(const std::string& path);
  void ClearDouble();
  void ClearAa();

  int Width() const { return FGlyphWidth; }
  int Height() const { return FGlyphHeight; }
  int BaseWidth() const { return FBaseWidth; }
  int BaseHeight() const { return FBaseHeight; }
  int BytesPerRow() const { return FBytesPerRow; }
  bool HasAa() const { return FHasAa; }
  bool Has2x() const { return FHas2x; }
  int AaWidth() const { return FAaWidth; }
  int AaHeight() const { return FAaHeight; }

 private:
  void SetCurrentSize(int width, int height);

  int FGlyphWidth;
  int FGlyphHeight;
  int FBaseWidth;
  int FBaseHeight;
  int FBytesPerRow;
  std::vector<uint8_t> FGlyphBits;
  std::vector<uint8_t> FAaCoverage;
  int FAaWidth = 0, FAaHeight = 0;
  bool FHasAa = false;
  std::vector<uint8_t> FGlyphBits2x;
  bool FHas2x = false;
};

// A picture placed over the cells by the image decoders. X, Y: top-left
// corner in unscaled grid pixels (cell (c, r) starts at (c x FontWidth,
// r x FontHeight)); Pixels and Mask are W x H, row-major; a non-zero mask
// byte means the pixel is drawn.
struct TImageSprite {
  int32_t X = 0, Y = 0, W = 0, H = 0;
  std::vector<TColorRGB> Pixels;
  std::vector<uint8_t> Mask;
};

// Gamma tables shared by the glyph blending and the display reduction.
extern const double* const ToLinear;  // 256 entries: (i / 255) ^ 2.2
uint8_t LinearToByte(double v);       // 0 at or below 0, 255 at or above 1

class TFontRenderer {
 public:
  static constexpr int MaxSprites = 64;
  // Larger pictures are refused with a log line before anything is copied.
  static constexpr int MaxSpriteSide = 8192;
  // A render bitmap above this many pixels is refused (with a log line) and
  // nothing is drawn: 200 x 80 cells at scale 4 still fit.
  static constexpr int64_t MaxRenderPixels = 48 * 1024 * 1024;

  explicit TFontRenderer(TBitmapFont* font);
  TFontRenderer(const TFontRenderer&) = delete;
  TFontRenderer& operator=(const TFontRenderer&) = delete;

  // ---- Settings.
  void SetFont(TBitmapFont* font);  // the terminal font; call Invalidate after
  void SetGridSize(int cols, int rows);
  void SetScale(float scale);  // below 1 becomes 1
  void SetAntiAliasGlyphs(bool on);
  void SetGlyphEmbolden(bool on, double radius);
  void SetUpscaledFont(bool on);
  void SetSmoothScaling(bool on) { FSmoothScaling = on; }
  void SetUiFont(TBitmapFont* font);
  int Cols() const { return FCols; }
  int Rows() const { return FRows; }
  float Scale() const { return FScale; }
  // Glyph-pixel block size: round(Scale), at least 1. Drawing and the bitmap
  // sizes use it, so a fractional scale draws at the nearest whole one.
  int BlockSize() const;
  int PixelWidth() const;
  int PixelHeight() const;
  // 2 when the upscaled font is on, the font has its .F32 companion and the
  // block size is even; else 1.
  int DoubleFontFactor() const;
  // The next dirty frame redraws every cell.
  void Invalidate();
  // Off (the default): cells, the cursor and pictures are drawn straight
  // into the display bitmap at its own scale, the same pixels the render
  // bitmap gives after its reduction, without the large bitmap. On: the
  // render bitmap at the full scale and its reduction, the reference that
  // the direct road is held to. Anti-aliased glyphs always take this road,
  // since their reduction averages.
  void SetReferencePath(bool on);
  bool DirectPath() const { return !FReferencePath && !FAntiAliasGlyphs; }

  // ---- Cells (text screens draw single cells directly).
  void RenderCell(int col, int row, const TCell& cell);
  void DrawCell(int col, int row, const TCell& cell);
  void DrawCellUiFont(int col, int row, const TCell& cell);
  void FillCursorBar(int col, int row, TColorRGB colour);
  void DrawCursor(int col, int row, TColorRGB colour);
  void MarkCellDirty(int col, int row);
  bool EnsureRenderDib();

  // ---- Frames.
  // Brings the render bitmap up to date with Buffer (only changed cells are
  // drawn), blinks, draws the cursor and the sprites, then presents into the
  // rectangle of Target.
  void RenderBuffer(TTerminalBuffer& buffer, platform::Surface& target, int left, int top, int width, int height,
                    bool blinkOn, bool spritesDirty, bool fill);
  // Reduces the render bitmap and stretches it into the rectangle, keeping
  // its aspect with black bars (unless Fill). Into the same target and
  // rectangle as last time, only the cells drawn since are stretched again.
  void Present(platform::Surface& target, int left, int top, int width, int height, bool fill);
  // A window frame: between the two, RenderBuffer and Present only note
  // where the picture goes, and EndFrame presents once, after the popups
  // drawn over the cells. So cells drawn over and back within a frame cost
  // no presentation. EndFrame is false when nothing asked to be presented.
  void BeginFrame();
  bool EndFrame();
  // The parts of the targets that presenting changed since the last call,
  // for the window to show only those.
  void TakeTargetDamage(std::vector<platform::Rect>& out);
  // Someone else drew into the target: the next presentation is whole.
  void ForgetTarget();
  // The cell under a point of the presentation rectangle; false on a bar or
  // when nothing can be mapped (the clamped cell is still returned).
  bool ClientToCell(int x, int y, int left, int top, int width, int height, int& col, int& row) const;

  // ---- Sprites.
  void AddImageSprite(int x, int y, int w, int h, const std::vector<TColorRGB>& pixels,
                      const std::vector<uint8_t>& mask);
  void ClearSprites();
  bool HasSprites() const { return !FSprites.empty(); }
  const std::vector<TImageSprite>& Sprites() const { return FSprites; }
  void DrawSprites();
  // Program screens shown during a call keep the call's pictures but do
  // not show them.
  bool SpritesHidden = false;

  // ---- Reduction to the display bitmap.
  bool EnsureDisplayDib();
  void NearestDownsample();
  void DownsampleToDisplayDib();

  // The render bitmap exists on the reference road only.
  const platform::Surface& RenderBitmap() const { return FRender; }
  const platform::Surface& DisplayBitmap() const { return FDisplay; }
  // Cells drawn into the render bitmap since creation (all paths).
  uint64_t CellsDrawn() const { return FCellsDrawn; }
  // True when the last Present used the smoothing stretch.
  bool LastPresentSmooth() const { return FLastPresentSmooth; }

 private:
  // What one cell of the bitmap shows, to tell which cells a presentation
  // must carry: the cell as drawn, the font it was drawn with, the cursor
  // bar over it, and a stamp that pictures drawn over it change.
  struct TCellLook {
    uint32_t Fg = 0, Bg = 0, Cursor = 0, Stamp = 0;
    uint8_t Ch = 0, Flags = 0;
    bool operator==(const TCellLook&) const = default;
  };
  enum : uint8_t { lkUnderline = 1, lkUiFont = 2, lkCursor = 4 };
  struct TPresentPlace {
    const platform::Surface* Target = nullptr;
    uint64_t TargetId = 0;
    int TargetW = 0, TargetH = 0, Left = 0, Top = 0, Width = 0, Height = 0;
    int DisplayW = 0, DisplayH = 0;
    bool Fill = false, Smooth = false, AntiAlias = false;
    bool operator==(const TPresentPlace&) const = default;
  };

  void FreeBitmaps();
  // The bitmap cells are drawn into and its block size: the display bitmap
  // at the double-font factor on the direct road, else the render bitmap.
  platform::Surface& Canvas() { return DirectPath() ? FDisplay : FRender; }
  const platform::Surface& Canvas() const { return DirectPath() ? FDisplay : FRender; }
  int CanvasBlock() const { return DirectPath() ? DoubleFontFactor() : BlockSize(); }
  void CanvasReplaced();
  void EnsureCoverage(uint8_t ch, int s);
  void RenderUpscaled(const TCell& cell, int x0, int y0, uint32_t fg, uint32_t bg);
  void RenderCoverage(const TCell& cell, int x0, int y0, TColorRGB fg, TColorRGB bg);
  void RenderPlain(const TCell& cell, int x0, int y0, uint32_t fg, uint32_t bg);
  bool CellInsideBitmap(int col, int row) const;
  bool PaintCells(TTerminalBuffer& buffer, bool blinkOn);
  TCellLook* LookAt(int col, int row);
  void PresentNow(platform::Surface& target, int left, int top, int width, int height, bool fill);
  void PresentChangedCells(platform::Surface& target, int offX, int offY, int fitW, int fitH, bool smooth);
  void StretchPart(platform::Surface& target, platform::Rect part, int offX, int offY, int fitW, int fitH,
                   bool smooth);

  TBitmapFont* FFont;
  int32_t FCols = 80, FRows = 25;
  float FScale = 1.0f;
  bool FAntiAliasGlyphs = true;
  std::vector<TImageSprite> FSprites;
  platform::Surface FRender;
  platform::Surface FDisplay;
  double FDownsampleAvgMs = 0;
  bool FFastPath = false;
  int32_t FFastFrameCount = 0;
  std::vector<uint8_t> FCoverage;
  std::vector<bool> FCoverageBuilt;  // per glyph: its part of FCoverage is filled
  bool FCoverageValid = false;
  int32_t FCoverageScale = 0, FCoverageGlyphW = 0, FCoverageGlyphH = 0;
  bool FEmbolden = false;
  double FEmboldenRadius = 0.35;
  bool FUpscaledFont = true;
  bool FSmoothScaling = true;
  std::vector<TCell> FCellCache;
  std::vector<uint32_t> FRowScratch;
  bool FCellCacheValid = false;
  std::vector<uint8_t> FDirtyCells;
  TBitmapFont* FUiFont = nullptr;
  int32_t FCacheCols = 0;
  uint64_t FCellsDrawn = 0;
  bool FLastPresentSmooth = false;
  bool FReferencePath = false;
  // Looks of the cells in the bitmap now, and as last presented.
  std::vector<TCellLook> FShown, FPresented;
  uint32_t FStampSeq = 0;
  uint32_t FDrawGen = 0;  // stamp of cells drawn now; changes with Invalidate
  bool FPresentAll = true;
  TPresentPlace FLastPlace;
  std::vector<platform::Rect> FTargetDamage;
  platform::StretchPlan FStretchPlan;
  bool FInFrame = false;
  bool FPendingPresent = false;
  bool FPresentedInFrame = false;
  platform::Surface* FPendingTarget = nullptr;
  int FPendingLeft = 0, FPendingTop = 0, FPendingWidth = 0, FPendingHeight = 0;
  bool FPendingFill = false;
};
