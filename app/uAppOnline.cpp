// The online screen painter: the call's buffer through the renderer, with
// what the call's modes draw over it (or a mode's own picture in its place:
// the RIP/IGS canvas, the door's page), then the bottom line (prompt, status message or status bar), the
// transfer window, the popups in their fixed order and the mouse's
// highlights, all in the popup layer over the cells.
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

void TApplication::PaintTerminal(TScreenFrame& frame) {
  platform::Surface& target = frame.Target();
  const int width = target.Width(), height = target.Height();
  FTermRect = platform::Rect{0, 0, width, height};
  if (TCallMode* picture = FModes->FrameMode()) {
    bool promptOrStatus = false;
    TModeFrame modeFrame{target, BottomLineText(promptOrStatus), FBlinkPhase};
    picture->PaintFrame(modeFrame);
  } else {
    FRenderer->RenderBuffer(*FBuffer, target, 0, 0, width, height, FBlinkPhase, FGfxDirty, false);
    FGfxDirty = false;
    TModeFrame modeFrame{target, std::string(), FBlinkPhase};
    FModes->PaintOver(modeFrame);
  }
  TPopupLayer& layer = frame.Popups();
  DrawBottomLine(layer);
  const uint64_t now = platform::TickMs();
  const bool transfer = (FZmodem->State >= 2 && FZmodem->State <= 4) ||
                        (FXYmodem->Mode != TXYmodemEngine::xmIdle && !FXYmodem->IsWaitingForReceiver()) ||
                        now < FXferPanelUntil;
  if (transfer)
    DrawTransferWindow(layer, TTransferView{FXferTitle, FXferFile, FXferDone, FXferTotal, FXferRate, FXferErrors,
                                            FXferBlock});
  if (now < FPopups.Terminated.Until) FPopups.DrawTerminatedBox(layer);
  if (FPopups.Redial.Open) FPopups.DrawRedialBox(layer);
  if (FPopups.GuidePrompt) FPopups.DrawGuideUpdatePrompt(layer, !frame.StandardFont());
  if (now < FPopups.Toast.Until) FPopups.DrawMessageBox(layer);
  if (FQuickDial.IsOpen()) FQuickDial.Draw(layer);
  FTransferPrompts.Draw(layer);
  // The selection and the hovered link, over everything.
  FMouse->DrawHighlights(layer);
}

std::string TApplication::BottomLineText(bool& promptOrStatus) const {
  const int cols = FBuffer->FWidth;
  std::string modePrompt;
  const bool modeField = FModes->HoldsPromptLine(cols, modePrompt);
  const bool prompt = FWheelScrollback || FDoorwayMode || FPaused || FScriptPromptOpen || modeField;
  const bool status =
      !prompt && platform::TickMs() < FStatusUntil && !TrimText(FStatus).empty();
  promptOrStatus = prompt || status;
  if (!promptOrStatus && !FStatusBar) return "";
  std::string text;
  if (promptOrStatus) {
    text = FStatus;
    if (FPaused && !FWheelScrollback && !FDoorwayMode)
      text = "PAUSED - " + GroupThousands(int64_t(RxWaiting())) + " bytes waiting - Scroll Lock to resume";
  } else {
    text = StatusBarText();
  }
  if (FScriptPromptOpen) return PadText(ScriptInputDisplayText(cols), cols);
  if (modeField && !modePrompt.empty()) return PadText(modePrompt, cols);
  const int before = std::max(0, (cols - int(text.size())) / 2);
  return PadText(std::string(size_t(before), ' ') + text, cols);
}

void TApplication::DrawBottomLine(TPopupLayer& layer) {
  bool promptOrStatus = false;
  const std::string line = BottomLineText(promptOrStatus);
  if (line != FPaintedBottomLine) {
    // What the bottom line shows, in the debug log when it changes.
    FPaintedBottomLine = line;
    LogLine("Paint: bottom line \"" + TrimText(line) + "\"");
  }
  if (line.empty()) return;
  const int row = FBuffer->FHeight - 1;
  for (size_t i = 0; i < line.size(); ++i) {
    const uint8_t ch = uint8_t(line[i]);
    const TColorRGB fg = promptOrStatus ? scr::White : ch == cp::SingleV ? scr::Black : scr::LightGrey;
    layer.PutCell(int(i), row, ch, fg, scr::FaceBlue, false);
  }
}
