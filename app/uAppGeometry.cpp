// The size of the online text screen, decided in one place: the board's
// request, else the phonebook entry, else the buffer as it is; the status
// bar's reserved row; the 8x8 font for tall screens; and pulling the window
// to the front.
#include <cmath>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppFonts.h"
#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"

void TApplication::ApplyTermGeometry() {
  FBuffer->SetReservedRows(FStatusBar ? 1 : 0);
  if (!FCall->Entry()) return;
  int cols = FCall->TermCols(), rows = FCall->TermRows(), text = FCall->TextRows(rows);
  if (FBuffer->FWidth != cols || FBuffer->FHeight != rows) FBuffer->Resize(cols, rows);
  if (FStatusBar)
    FBuffer->SetMargins(0, 0, cols - 1, text - 1);
  else
    FBuffer->ResetMargins();
}

void TApplication::OnResizeRequest(int rows, int cols) {
  if (!FCall->Transport() || !FCall->Entry()) return;
  if (FModes->KeepsScreenSize() || FCall->PetsciiActive() || FCall->ViewdataActive() || FCall->VT52Active()) {
    LogLine("Resize: CSI 8 t ignored in this terminal mode");
    return;
  }
  if (cols <= 0) cols = FCall->TermCols();
  if (rows <= 0) rows = FCall->TextRows(FCall->TermRows());
  cols = std::clamp(cols, 20, 255);
  rows = std::clamp(rows, 5, 150);
  int full = FStatusBar ? rows + 1 : rows;
  if (FCall->TermCols() == cols && FCall->TermRows() == full) return;
  char line[96];
  std::snprintf(line, sizeof line, "Resize: BBS requested %dx%d (was %dx%d)", cols, rows, FCall->TermCols(),
                FCall->TextRows(FCall->TermRows()));
  LogLine(line);
  FCall->SetBoardSize(cols, full);
  FFonts->ChooseFontForRows(rows);
  ApplyTermGeometry();
  FCall->Transport()->SetWindowSize(uint16_t(cols), uint16_t(rows));
  FBuffer->Dirty = true;
  SetStatus("Screen size " + std::to_string(cols) + "x" + std::to_string(rows) + " (set by the BBS)", 3000);
  Invalidate();
}

void TApplication::ForceForeground() {
  if (!FWindow || FNoForceFocus || FWindow->HasFocus()) return;
  FWindow->Raise();
}

void TApplication::ApplyScreenScale() {
  if (!FWindow) return;
  if (FConfig->ScreenScaleFullScreen) {
    SetFullscreen(true);
    return;
  }
  SetFullscreen(false);
  FWindow->SetClientSize(int(std::lround(640 * FConfig->ScreenScale)), int(std::lround(400 * FConfig->ScreenScale)));
}
