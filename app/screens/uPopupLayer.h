// The popup layer: cells drawn over a finished screen (popups, the online
// screen's bottom line, the transfer window) that never touch the screen
// buffer. The layer records each cell and whether the interface font draws
// it; the application draws the record over the rendered screen. The shared
// popup frame (bevelled, with half-cell side bars) is drawn here too.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

struct TPopupCell {
  TCell Cell;
  bool Used = false;
  bool UiFont = false;
  friend bool operator==(const TPopupCell&, const TPopupCell&) = default;
};

class TPopupLayer {
 public:
  // An empty layer over a grid of Cols x Rows.
  void Reset(int cols, int rows);
  int Cols() const { return FCols; }
  int Rows() const { return FRows; }
  // True while nothing was drawn since the last Reset.
  bool Empty() const { return !FDrawn; }

  // One cell; cells off the grid are skipped.
  void PutCell(int col, int row, uint8_t ch, TColorRGB fg, TColorRGB bg, bool uiFont = false);
  // A cell as the screen holds it, its attributes (reverse, underline) kept.
  void PutCell(int col, int row, const TCell& cell);
  void PutText(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg, bool uiFont = false);
  // Text centred in a box whose frame starts at column X with inner width W:
  // from X + 1 + (W - length) / 2, not cut.
  void PutCentred(int x, int w, int row, const std::string& text, TColorRGB fg, TColorRGB face, bool uiFont = false);
  // The popup frame of inner width W and height H at X, Y: black top-left
  // edges, Bevel bottom-right edges, a blank white-on-Face interior and the
  // half-cell side bars; "+", "-", "|" and ":" instead when AsciiFrame.
  void DrawFrame(int x, int y, int w, int h, TColorRGB face, TColorRGB bevel, bool uiFont, bool asciiFrame);

  // Null where nothing was drawn.
  const TPopupCell* At(int col, int row) const;
  const std::vector<TPopupCell>& Cells() const { return FCells; }
  friend bool operator==(const TPopupLayer&, const TPopupLayer&) = default;

 private:
  int FCols = 0, FRows = 0;
  bool FDrawn = false;
  std::vector<TPopupCell> FCells;
};
