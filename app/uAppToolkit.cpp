// The cell-grid toolkit of the text-mode screens: writing text, filling,
// rules and framed boxes into the buffer being composed, the list screens'
// own buffer, and the popup layer drawn cell by cell into the renderer.
// List screens compose into their own buffer so that showing the directory
// or the editor during a call never clears the call's screen, pictures or
// sound (the call buffer's cleared event is never raised by them).
#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uFontRenderer.h"

TTerminalBuffer& TApplication::DrawTarget() { return FDrawTarget ? *FDrawTarget : *FBuffer; }

void TApplication::DrawTextAt(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg) {
  TTerminalBuffer& b = DrawTarget();
  TTextAttributes pen;
  b.SaveAttributes(pen);
  b.SetFgRGB(fg);
  b.SetBgRGB(bg);
  for (size_t i = 0; i < text.size() && col + int(i) < b.FWidth; ++i) b.WriteCharAt(col + int(i), row, uint8_t(text[i]));
  b.RestoreAttributes(pen);
}

void TApplication::FillRect(int x0, int y0, int x1, int y1, TColorRGB color) {
  if (x1 < x0 || y1 < y0) return;
  TTerminalBuffer& b = DrawTarget();
  TTextAttributes pen;
  b.SaveAttributes(pen);
  b.SetFgRGB(color);
  b.SetBgRGB(color);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) b.WriteCharAt(x, y, ' ');
  b.RestoreAttributes(pen);
}

void TApplication::DrawHRule(int x0, int x1, int row, TColorRGB fg, TColorRGB bg, bool dbl, uint8_t leftCap,
                             uint8_t rightCap) {
  TTerminalBuffer& b = DrawTarget();
  b.SetFgRGB(fg);
  b.SetBgRGB(bg);
  b.WriteCharAt(x0, row, leftCap);
  const uint8_t line = dbl ? cp::DoubleH : cp::SingleH;
  for (int x = x0 + 1; x <= x1 - 1; ++x) b.WriteCharAt(x, row, line);
  b.WriteCharAt(x1, row, rightCap);
}

void TApplication::DrawFramedBox(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title,
                                 bool dbl, TColorRGB titleFg) {
  const uint8_t tl = dbl ? cp::DoubleTL : cp::SingleTL, tr = dbl ? cp::DoubleTR : cp::SingleTR;
  const uint8_t bl = dbl ? cp::DoubleBL : cp::SingleBL, br = dbl ? cp::DoubleBR : cp::SingleBR;
  const uint8_t v = dbl ? cp::DoubleV : cp::SingleV;
  FillRect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, bg);
  DrawHRule(x0, x1, y0, fg, bg, dbl, tl, tr);
  DrawHRule(x0, x1, y1, fg, bg, dbl, bl, br);
  TTerminalBuffer& b = DrawTarget();
  for (int y = y0 + 1; y <= y1 - 1; ++y) {
    b.WriteCharAt(x0, y, v);
    b.WriteCharAt(x1, y, v);
  }
  if (!title.empty()) {
    const std::string text = " " + title + " ";
    DrawTextAt(x0 + ((x1 - x0 + 1) - int(text.size())) / 2, y0, text, titleFg, bg);
  }
}

void TApplication::DrawListFrame(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title,
                                 bool dbl) {
  DrawFramedBox(x0, y0, x1, y1, fg, bg, title, dbl, fg);
}

TTerminalBuffer& TApplication::BeginListScreen() {
  const int w = FBuffer->FWidth, h = FBuffer->FHeight;
  if (!FScreenBuffer)
    FScreenBuffer = std::make_unique<TTerminalBuffer>(w, h);
  else if (FScreenBuffer->FWidth != w || FScreenBuffer->FHeight != h)
    FScreenBuffer->Resize(w, h);
  FDrawTarget = FScreenBuffer.get();
  FScreenBuffer->ClearScreen(false);
  FScreenBuffer->SetCursorVisible(false);
  FScreenBuffer->ResetAttributes();
  FillRect(0, 0, w - 1, h - 1, scr::Black);
  return *FScreenBuffer;
}

void TApplication::RenderListScreen(platform::Surface& target, int width, int height) {
  FDrawTarget = nullptr;
  FRenderer->RenderBuffer(*FScreenBuffer, target, 0, 0, width, height, true, false, false);
}

void TApplication::BeginFrame(bool listScreen) {
  // A frame of another buffer, or cells left over from last frame's popups,
  // must not survive into this one.
  if (listScreen != FLastFrameWasList) {
    FRenderer->Invalidate();
    FBuffer->Dirty = true;
    FLastFrameWasList = listScreen;
  }
  if (FPopupsDrawn) FBuffer->Dirty = true;
  FPopupsDrawn = false;
  FRenderer->SpritesHidden = listScreen;
}

void TApplication::ClearPopupLayer() {
  FPopupLayer.Cols = FRenderer ? FRenderer->Cols() : 0;
  FPopupLayer.Rows = FRenderer ? FRenderer->Rows() : 0;
  FPopupLayer.Cells.assign(size_t(FPopupLayer.Cols) * size_t(FPopupLayer.Rows), TPopupCell{});
}

void TApplication::PutPopupCell(int col, int row, uint8_t ch, TColorRGB fg, TColorRGB bg, bool uiFont) {
  if (col < 0 || row < 0 || col >= FPopupLayer.Cols || row >= FPopupLayer.Rows) return;
  TPopupCell& p = FPopupLayer.Cells[size_t(row) * size_t(FPopupLayer.Cols) + size_t(col)];
  p.Used = true;
  p.UiFont = uiFont;
  p.Cell = TCell{ch, fg, bg, false, false, false, false};
  if (uiFont)
    FRenderer->DrawCellUiFont(col, row, p.Cell);
  else
    FRenderer->DrawCell(col, row, p.Cell);
  FPopupsDrawn = true;
}

void TApplication::PutPopupText(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg, bool uiFont) {
  for (size_t i = 0; i < text.size(); ++i) PutPopupCell(col + int(i), row, uint8_t(text[i]), fg, bg, uiFont);
}

const TPopupCell* TPopupLayer::At(int col, int row) const {
  if (col < 0 || row < 0 || col >= Cols || row >= Rows) return nullptr;
  const TPopupCell& p = Cells[size_t(row) * size_t(Cols) + size_t(col)];
  return p.Used ? &p : nullptr;
}
