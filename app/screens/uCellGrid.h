// The cell-grid toolkit: a drawing surface over a screen buffer that every
// text-mode screen composes its picture with (text, fills, rules, framed
// boxes, the list frame and the status footer). It writes cells and the
// pen only: no cursor moves, nothing goes to scrollback, and cells outside
// the grid are left alone. It needs nothing of the application.
#pragma once
#include <cstdint>
#include <string>

#include "core/uTerminalBuffer.h"

class TCellGrid {
 public:
  explicit TCellGrid(TTerminalBuffer& buffer) : FBuffer(buffer) {}

  TTerminalBuffer& Buffer() const { return FBuffer; }
  int Cols() const { return FBuffer.FWidth; }
  int Rows() const { return FBuffer.FHeight; }

  // A blank picture: the grid cleared without saving to scrollback, the
  // cursor hidden, the pen reset and every cell black.
  void Clear();
  // Text from Col on Row in Fg on Bg, stopping at the last column; the pen
  // is left as it was.
  void DrawTextAt(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg);
  // Blanks in Color over the inclusive rectangle; nothing when it is empty.
  void FillRect(int x0, int y0, int x1, int y1, TColorRGB color);
  // LeftCap, a line (double or single) and RightCap on Row from X0 to X1;
  // leaves the pen at Fg on Bg.
  void DrawHRule(int x0, int x1, int row, TColorRGB fg, TColorRGB bg, bool dbl, uint8_t leftCap, uint8_t rightCap);
  // A frame with its interior in Bg and Title (with a blank each side)
  // centred on the top line in TitleFg; leaves the pen at Fg on Bg.
  void DrawFramedBox(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title, bool dbl,
                     TColorRGB titleFg);
  // A framed box titled in the frame's own colour.
  void DrawListFrame(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title, bool dbl);
  // The list screens' footer on row Rows - 2: Text cut with the overflow
  // mark to Cols - 4 characters, centred, padded, dark grey on black.
  void DrawFooter(const std::string& text);

 private:
  TTerminalBuffer& FBuffer;
};
