#include "app/screens/uCellGrid.h"

#include <algorithm>

#include "app/uScreenText.h"

void TCellGrid::Clear() {
  FBuffer.ClearScreen(false);
  FBuffer.SetCursorVisible(false);
  FBuffer.ResetAttributes();
  FillRect(0, 0, Cols() - 1, Rows() - 1, scr::Black);
}

void TCellGrid::DrawTextAt(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg) {
  TTextAttributes pen;
  FBuffer.SaveAttributes(pen);
  FBuffer.SetFgRGB(fg);
  FBuffer.SetBgRGB(bg);
  for (size_t i = 0; i < text.size() && col + int(i) < FBuffer.FWidth; ++i)
    FBuffer.WriteCharAt(col + int(i), row, uint8_t(text[i]));
  FBuffer.RestoreAttributes(pen);
}

void TCellGrid::FillRect(int x0, int y0, int x1, int y1, TColorRGB color) {
  if (x1 < x0 || y1 < y0) return;
  TTextAttributes pen;
  FBuffer.SaveAttributes(pen);
  FBuffer.SetFgRGB(color);
  FBuffer.SetBgRGB(color);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) FBuffer.WriteCharAt(x, y, ' ');
  FBuffer.RestoreAttributes(pen);
}

void TCellGrid::DrawHRule(int x0, int x1, int row, TColorRGB fg, TColorRGB bg, bool dbl, uint8_t leftCap,
                          uint8_t rightCap) {
  FBuffer.SetFgRGB(fg);
  FBuffer.SetBgRGB(bg);
  FBuffer.WriteCharAt(x0, row, leftCap);
  const uint8_t line = dbl ? cp::DoubleH : cp::SingleH;
  for (int x = x0 + 1; x <= x1 - 1; ++x) FBuffer.WriteCharAt(x, row, line);
  FBuffer.WriteCharAt(x1, row, rightCap);
}

void TCellGrid::DrawFramedBox(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title,
                              bool dbl, TColorRGB titleFg) {
  const uint8_t tl = dbl ? cp::DoubleTL : cp::SingleTL, tr = dbl ? cp::DoubleTR : cp::SingleTR;
  const uint8_t bl = dbl ? cp::DoubleBL : cp::SingleBL, br = dbl ? cp::DoubleBR : cp::SingleBR;
  const uint8_t v = dbl ? cp::DoubleV : cp::SingleV;
  FillRect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, bg);
  DrawHRule(x0, x1, y0, fg, bg, dbl, tl, tr);
  DrawHRule(x0, x1, y1, fg, bg, dbl, bl, br);
  for (int y = y0 + 1; y <= y1 - 1; ++y) {
    FBuffer.WriteCharAt(x0, y, v);
    FBuffer.WriteCharAt(x1, y, v);
  }
  if (!title.empty()) {
    const std::string text = " " + title + " ";
    DrawTextAt(x0 + ((x1 - x0 + 1) - int(text.size())) / 2, y0, text, titleFg, bg);
  }
}

void TCellGrid::DrawListFrame(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title,
                              bool dbl) {
  DrawFramedBox(x0, y0, x1, y1, fg, bg, title, dbl, fg);
}

void TCellGrid::DrawFooter(const std::string& text) {
  const int w = Cols() - 4;
  const std::string shown = EllipsizeText(text, w);
  const int before = std::max(0, (w - int(shown.size())) / 2);
  DrawTextAt(2, Rows() - 2, PadText(std::string(size_t(before), ' ') + shown, w), scr::DarkGrey, scr::Black);
}
