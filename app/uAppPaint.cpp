// Painting: every frame is drawn into a back buffer the size of the client
// area by the current screen, then shown in one block. Also keeps the
// window's proportions after the user resizes it.
#include <cmath>

#include "app/uApp.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "platform/Tick.h"

void TApplication::FreeBackBuffer() {
  if (FWindow) FWindow->FreeBackBuffer();
}

void TApplication::PaintScreen(platform::Surface& target) {
  const int w = target.Width(), h = target.Height();
  // A screen that gives way to another while painting (the editor whose
  // entry is gone) hands the frame to the screen that replaced it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::shared_ptr<TScreen> screen = FScreens.Current();
    if (!screen) break;
    if (screen->Mode() != FPaintedMode) {
      // The debug log tells which screen the user saw from when.
      LogLine("Paint: screen mode " + std::to_string(screen->Mode()));
      FPaintedMode = screen->Mode();
    }
    const bool composes = screen->ComposesPicture();
    BeginFrame(composes);
    FPopupLayer.Reset(FBuffer->FWidth, FBuffer->FHeight);
    TTerminalBuffer& grid = composes ? ScreenGrid() : *FBuffer;
    if (composes) TCellGrid(grid).Clear();
    TScreenFrame frame(grid, FPopupLayer, target, FStdFontLoaded);
    screen->Paint(frame);
    if (FScreens.Current() != screen) continue;
    FComposedScreen = composes ? screen.get() : nullptr;
    FShownCaret = frame.HasCaret();
    FShownCaretCol = frame.CaretCol();
    FShownCaretRow = frame.CaretRow();
    FShownCaretColour = frame.CaretColour();
    if (composes) FRenderer->RenderBuffer(grid, target, 0, 0, w, h, true, false, false);
    bool drawn = !frame.PopupsComposed() && DrawPopupLayer();
    if (frame.HasCaret()) {
      FRenderer->DrawCursor(frame.CaretCol(), frame.CaretRow(), frame.CaretColour());
      drawn = true;
    }
    if (drawn) FRenderer->Present(target, 0, 0, w, h, false);
    break;
  }
}

// A composed picture is a function of the program's state, which timers and
// finished background work change without always saying so: composing it
// again into a scratch grid and comparing tells, for a few microseconds,
// whether a frame is due, where painting it would cost the whole renderer.
bool TApplication::ComposedPictureChanged() {
  std::shared_ptr<TScreen> screen = FScreens.Current();
  if (!screen || !screen->ComposesPicture() || screen.get() != FComposedScreen || !FLastFrameWasList ||
      !FScreenBuffer)
    return true;
  const TTerminalBuffer& shown = *FScreenBuffer;
  if (!FRecomposeGrid || FRecomposeGrid->FWidth != shown.FWidth || FRecomposeGrid->FHeight != shown.FHeight)
    FRecomposeGrid = std::make_unique<TTerminalBuffer>(shown.FWidth, shown.FHeight);
  TTerminalBuffer& grid = *FRecomposeGrid;
  TCellGrid(grid).Clear();
  FRecomposePopups.Reset(FBuffer->FWidth, FBuffer->FHeight);
  TScreenFrame frame(grid, FRecomposePopups, FNoTarget, FStdFontLoaded);
  screen->Paint(frame);
  if (FScreens.Current() != screen) return true;
  return grid.Rows != shown.Rows || grid.CursorVisible != shown.CursorVisible || grid.CursorX != shown.CursorX ||
         grid.CursorY != shown.CursorY || !(FRecomposePopups == FPopupLayer) || frame.HasCaret() != FShownCaret ||
         (FShownCaret && (frame.CaretCol() != FShownCaretCol || frame.CaretRow() != FShownCaretRow ||
                          !(frame.CaretColour() == FShownCaretColour)));
}

void TApplication::SnapAspectAfterResize() {
  // A window the system sized (full screen, maximised, minimised) keeps its size.
  if (!FRenderer || !FWindow || FWindow->FullScreen() || FWindow->Maximized()) return;
  int pw = FRenderer->PixelWidth(), ph = FRenderer->PixelHeight();
  if (pw <= 0 || ph <= 0) return;
  int cw = FWindow->ClientWidth(), ch = FWindow->ClientHeight();
  if (cw <= 0) return;
  double aspect = double(pw) / double(ph);
  int wanted = int(std::nearbyint(cw / aspect));  // halves to even, as the rounding mode is
  if (wanted != ch) FWindow->SetClientSize(cw, wanted);
}
