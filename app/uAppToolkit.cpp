// The grid the program screens compose into and the frame set-up every
// paint starts with, and drawing the popup layer over the rendered screen.
// Program screens compose into their own grid so that showing the directory
// or the editor during a call never clears the call's screen, pictures or
// sound (the call buffer's cleared event is never raised by them).
#include "app/uApp.h"
#include "core/uFontRenderer.h"

TTerminalBuffer& TApplication::ScreenGrid() {
  const int w = FBuffer->FWidth, h = FBuffer->FHeight;
  if (!FScreenBuffer)
    FScreenBuffer = std::make_unique<TTerminalBuffer>(w, h);
  else if (FScreenBuffer->FWidth != w || FScreenBuffer->FHeight != h)
    FScreenBuffer->Resize(w, h);
  return *FScreenBuffer;
}

void TApplication::BeginFrame(bool composedPicture) {
  // A frame of another buffer, or cells left over from last frame's popups,
  // must not survive into this one.
  if (composedPicture != FLastFrameWasList) {
    FRenderer->Invalidate();
    FBuffer->Dirty = true;
    FLastFrameWasList = composedPicture;
  }
  if (FPopupsDrawn) FBuffer->Dirty = true;
  FPopupsDrawn = false;
  FRenderer->SpritesHidden = composedPicture;
}

bool TApplication::DrawPopupLayer() {
  if (FPopupLayer.Empty()) return false;
  const int cols = FPopupLayer.Cols();
  const std::vector<TPopupCell>& cells = FPopupLayer.Cells();
  for (size_t i = 0; i < cells.size(); ++i) {
    if (!cells[i].Used) continue;
    const int col = int(i % size_t(cols)), row = int(i / size_t(cols));
    if (cells[i].UiFont)
      FRenderer->DrawCellUiFont(col, row, cells[i].Cell);
    else
      FRenderer->DrawCell(col, row, cells[i].Cell);
  }
  FPopupsDrawn = true;
  return true;
}
