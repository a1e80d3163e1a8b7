#include "app/screens/uPopupLayer.h"

#include "app/uScreenText.h"

void TPopupLayer::Reset(int cols, int rows) {
  FCols = cols > 0 ? cols : 0;
  FRows = rows > 0 ? rows : 0;
  FCells.assign(size_t(FCols) * size_t(FRows), TPopupCell{});
  FDrawn = false;
}

void TPopupLayer::PutCell(int col, int row, uint8_t ch, TColorRGB fg, TColorRGB bg, bool uiFont) {
  if (col < 0 || row < 0 || col >= FCols || row >= FRows) return;
  TPopupCell& p = FCells[size_t(row) * size_t(FCols) + size_t(col)];
  p.Used = true;
  p.UiFont = uiFont;
  p.Cell = TCell{ch, fg, bg, false, false, false, false};
  FDrawn = true;
}

void TPopupLayer::PutCell(int col, int row, const TCell& cell) {
  if (col < 0 || row < 0 || col >= FCols || row >= FRows) return;
  TPopupCell& p = FCells[size_t(row) * size_t(FCols) + size_t(col)];
  p.Used = true;
  p.UiFont = false;
  p.Cell = cell;
  FDrawn = true;
}

void TPopupLayer::PutText(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg, bool uiFont) {
  for (size_t i = 0; i < text.size(); ++i) PutCell(col + int(i), row, uint8_t(text[i]), fg, bg, uiFont);
}

void TPopupLayer::PutCentred(int x, int w, int row, const std::string& text, TColorRGB fg, TColorRGB face,
                             bool uiFont) {
  PutText(x + 1 + (w - int(text.size())) / 2, row, text, fg, face, uiFont);
}

void TPopupLayer::DrawFrame(int x, int y, int w, int h, TColorRGB face, TColorRGB bevel, bool uiFont,
                            bool asciiFrame) {
  const uint8_t tl = asciiFrame ? '+' : cp::SingleTL, tr = asciiFrame ? '+' : cp::SingleTR;
  const uint8_t bl = asciiFrame ? '+' : cp::SingleBL, br = asciiFrame ? '+' : cp::SingleBR;
  const uint8_t hz = asciiFrame ? '-' : cp::SingleH, vt = asciiFrame ? '|' : cp::SingleV;
  const uint8_t sideL = asciiFrame ? ':' : cp::HalfLeft, sideR = asciiFrame ? ':' : cp::HalfRight;
  const int right = x + w + 1, bottom = y + h - 1;
  for (int row = y; row <= bottom; ++row) {
    PutCell(x - 1, row, sideL, scr::Black, face, uiFont);
    PutCell(right + 1, row, sideR, scr::Black, face, uiFont);
    for (int col = x; col <= right; ++col) {
      uint8_t ch = ' ';
      TColorRGB fg = scr::White;
      if (row == y) {
        ch = col == x ? tl : col == right ? tr : hz;
        fg = col == right ? bevel : scr::Black;
      } else if (row == bottom) {
        ch = col == x ? bl : col == right ? br : hz;
        fg = col == x ? scr::Black : bevel;
      } else if (col == x) {
        ch = vt;
        fg = scr::Black;
      } else if (col == right) {
        ch = vt;
        fg = bevel;
      }
      PutCell(col, row, ch, fg, face, uiFont);
    }
  }
}

const TPopupCell* TPopupLayer::At(int col, int row) const {
  if (col < 0 || row < 0 || col >= FCols || row >= FRows) return nullptr;
  const TPopupCell& p = FCells[size_t(row) * size_t(FCols) + size_t(col)];
  return p.Used ? &p : nullptr;
}
