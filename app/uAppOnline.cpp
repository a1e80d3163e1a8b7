// The online screen painter, text-grid path: the call's buffer through the
// renderer, then the bottom line (prompt, status message or status bar) and
// the popups in their fixed order, all in the popup layer over the cells.
#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uFontRenderer.h"
#include "door/uDDOFXParser.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

void TApplication::PaintTerminal(platform::Surface& target, int width, int height) {
  FTermRect = platform::Rect{0, 0, width, height};
  FRenderer->RenderBuffer(*FBuffer, target, 0, 0, width, height, FBlinkPhase, FGfxDirty, false);
  FGfxDirty = false;
  ClearPopupLayer();
  DrawBottomLine();
  const uint64_t now = platform::TickMs();
  const bool transfer = (FZmodem->State >= 2 && FZmodem->State <= 4) ||
                        (FXYmodem->Mode != TXYmodemEngine::xmIdle && !FXYmodem->IsWaitingForReceiver()) ||
                        now < FXferPanelUntil;
  if (transfer) DrawTransferWindow();
  if (now < FTerminatedUntil) DrawTerminatedBox();
  if (FRedialPrompt) DrawRedialBox();
  if (FGuidePrompt) DrawGuideUpdatePrompt();
  if (now < FToastUntil) DrawMessageBox();
  if (FPopupsDrawn) FRenderer->Present(target, 0, 0, width, height, false);
}

std::string TApplication::BottomLineText(bool& promptOrStatus) const {
  const int cols = FBuffer->FWidth;
  const bool doorField = FMode == smOnline && FDDOFXParser && FDDOFXParser->IsTextFieldActive() && !IsDoorGraphicsMode();
  const bool prompt = FWheelScrollback || FDoorwayMode || FPaused || doorField;
  const bool status =
      !prompt && platform::TickMs() < FStatusUntil && !TrimText(FStatus).empty();
  promptOrStatus = prompt || status;
  if (!promptOrStatus && !FStatusBar) return "";
  std::string text;
  if (promptOrStatus) {
    text = FStatus;
    if (FPaused && !FWheelScrollback && !FDoorwayMode)
      text = "PAUSED - " + GroupThousands(int64_t(FRxPending.size())) + " bytes waiting - Scroll Lock to resume";
  } else {
    text = StatusBarText();
  }
  const int before = std::max(0, (cols - int(text.size())) / 2);
  return PadText(std::string(size_t(before), ' ') + text, cols);
}

void TApplication::DrawBottomLine() {
  bool promptOrStatus = false;
  const std::string line = BottomLineText(promptOrStatus);
  if (line.empty()) return;
  const int row = FBuffer->FHeight - 1;
  for (size_t i = 0; i < line.size(); ++i) {
    const uint8_t ch = uint8_t(line[i]);
    const TColorRGB fg = promptOrStatus ? scr::White : ch == cp::SingleV ? scr::Black : scr::LightGrey;
    PutPopupCell(int(i), row, ch, fg, scr::FaceBlue, false);
  }
}
