#include "app/call/uCall.h"
#include "app/uOnlineScreen.h"

#include <algorithm>
#include <cstdio>

#include "app/call/uCallModes.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/uAppFonts.h"
#include "app/uAppOutput.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "app/uScreenText.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Keys.h"
#include "platform/Tick.h"

namespace vk = platform::vk;

namespace {

const std::string kEsc(1, '\x1b');

// The bytes a special key sends to the board; empty for keys that send none.
std::string SpecialKeyBytes(uint16_t key, bool atascii, bool renegade) {
  switch (key) {
    case vk::Back: return "\x08";
    case vk::Tab: return "\x09";
    case vk::Return: return atascii ? "\x9b" : "\x0d";
    case vk::Up: return kEsc + "[A";
    case vk::Down: return kEsc + "[B";
    case vk::Right: return kEsc + "[C";
    case vk::Left: return kEsc + "[D";
    case vk::Home: return kEsc + "[H";
    case vk::End: return kEsc + "[K";
    case vk::Prior: return kEsc + (renegade ? "[r" : "[V");
    case vk::Next: return kEsc + (renegade ? "[q" : "[U");
    case vk::Insert: return kEsc + (renegade ? "[n" : "[@");
    case vk::Delete: return "\x7f";
    default: return "";
  }
}

}  // namespace

void TOnlineScreen::PaintTerminal(TScreenFrame& frame) {
  platform::Surface& target = frame.Target();
  const int width = target.Width(), height = target.Height();
  A.FTermRect = platform::Rect{0, 0, width, height};
  // The bottom line, the popups and the highlights are cells of the popup
  // layer, drawn over the picture afterwards unless a mode draws them into
  // its own.
  TPopupLayer& layer = frame.Popups();
  DrawOverlays(layer, frame.StandardFont());
  if (TCallMode* picture = A.FModes->FrameMode()) {
    bool promptOrStatus = false;
    TModeFrame modeFrame{target, BottomLineText(promptOrStatus), A.FBlinkPhase, &layer};
    picture->PaintFrame(modeFrame);
    if (modeFrame.OverlaysDrawn) frame.SetPopupsComposed();
  } else {
    A.FRenderer->RenderBuffer(*A.FBuffer, target, 0, 0, width, height, A.FBlinkPhase, A.FGfxDirty, false);
    A.FGfxDirty = false;
    TModeFrame modeFrame{target, std::string(), A.FBlinkPhase, &layer};
    A.FModes->PaintOver(modeFrame);
  }
}

void TOnlineScreen::DrawOverlays(TPopupLayer& layer, bool standardFont) {
  DrawBottomLine(layer);
  const uint64_t now = platform::TickMs();
  if (A.FCall->TransferWindowShown(now)) DrawTransferWindow(layer, A.FCall->TransferView());
  if (now < A.FPopups.Terminated.Until) A.FPopups.DrawTerminatedBox(layer);
  if (A.FPopups.Redial.Open) A.FPopups.DrawRedialBox(layer);
  if (A.FPopups.GuidePrompt) A.FPopups.DrawGuideUpdatePrompt(layer, !standardFont);
  if (now < A.FPopups.Toast.Until) A.FPopups.DrawMessageBox(layer);
  if (A.FQuickDial.IsOpen()) A.FQuickDial.Draw(layer);
  A.FUploads->Prompts().Draw(layer);
  // The selection and the hovered link, over everything.
  A.FMouse->DrawHighlights(layer);
}

std::string TOnlineScreen::BottomLineText(bool& promptOrStatus) const {
  const int cols = A.FBuffer->FWidth;
  std::string modePrompt;
  const bool modeField = A.FModes->HoldsPromptLine(cols, modePrompt);
  const bool prompt = A.FOutput->Browsing() || A.FDoorwayMode || A.FCall->Paused() || A.FScripts->PromptOpen() || modeField;
  const bool status =
      !prompt && platform::TickMs() < A.FStatusUntil && !TrimText(A.FStatus).empty();
  promptOrStatus = prompt || status;
  if (!promptOrStatus && !A.FStatusBar) return "";
  std::string text;
  if (promptOrStatus) {
    text = A.FStatus;
    if (A.FCall->Paused() && !A.FOutput->Browsing() && !A.FDoorwayMode)
      text = "PAUSED - " + GroupThousands(int64_t(A.FCall->RxWaiting())) + " bytes waiting - Scroll Lock to resume";
  } else {
    text = StatusBarText();
  }
  if (A.FScripts->PromptOpen()) return PadText(A.FScripts->ScriptInputDisplayText(cols), cols);
  if (modeField && !modePrompt.empty()) return PadText(modePrompt, cols);
  const int before = std::max(0, (cols - int(text.size())) / 2);
  return PadText(std::string(size_t(before), ' ') + text, cols);
}

void TOnlineScreen::DrawBottomLine(TPopupLayer& layer) {
  bool promptOrStatus = false;
  const std::string line = BottomLineText(promptOrStatus);
  if (line != FPaintedBottomLine) {
    // What the bottom line shows, in the debug log when it changes.
    FPaintedBottomLine = line;
    LogLine("Paint: bottom line \"" + TrimText(line) + "\"");
  }
  if (line.empty()) return;
  const int row = A.FBuffer->FHeight - 1;
  for (size_t i = 0; i < line.size(); ++i) {
    const uint8_t ch = uint8_t(line[i]);
    const TColorRGB fg = promptOrStatus ? scr::White : ch == cp::SingleV ? scr::Black : scr::LightGrey;
    layer.PutCell(int(i), row, ch, fg, scr::FaceBlue, false);
  }
}

std::string TOnlineScreen::StatusBarText() const {
  const std::string sep = std::string(" ") + char(cp::SingleV) + " ";
  const bool online = A.FCall->Transport() != nullptr;
  std::string name = "KORVAN";
  const TPhonebookEntry* entry = A.FCall->Entry().get();
  if (online && entry) name = TrimText(entry->Name).empty() ? entry->Host : entry->Name;
  const std::string size = std::to_string(A.FBuffer->FWidth) + "x" + std::to_string(A.FBuffer->FHeight);
  const std::string state = A.FScripts->Recording() ? "*REC*" : online ? "ONLINE" : "OFFLINE";
  std::string type = "-";
  if (online && entry && !TrimText(entry->TermType).empty()) type = UpperText(entry->TermType);
  const int64_t secs = A.FCall->ConnectTick() ? int64_t((platform::TickMs() - A.FCall->ConnectTick()) / 1000) : 0;
  char time[32];
  if (secs >= 3600)
    std::snprintf(time, sizeof time, "%.2d:%.2d:%.2d", int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
  else
    std::snprintf(time, sizeof time, "%.2d:%.2d", int(secs / 60), int(secs % 60));
  const std::string tail = sep + CenterText(size, 7) + sep + CenterText(state, 7) + sep + CenterText(type, 10) + sep +
                           CenterText(time, 8) + sep + "Alt+Z:Help";
  const int width = std::clamp(A.FBuffer->FWidth - 2 - int(tail.size()), 0, 20);
  name = name.substr(0, size_t(width));
  while (!name.empty() && uint8_t(name.back()) <= ' ') name.pop_back();
  return " " + CenterText(name, width) + tail;
}

void TOnlineScreen::HandleOnlineKey(uint16_t key, bool shift, bool ctrl, bool alt) {
  // 1. No call open: Esc goes back to the directory.
  if (!A.FCall->Transport()) {
    if (key == vk::Escape) {
      A.FDialStage = 0;
      A.FDialEntry.reset();
      A.FFonts->RestoreDefaultFont();
      A.SwitchScreen(smDirectory);
      A.FStatus = kDirectoryStatus;
    }
    return;
  }
  // 2-3. A mode that takes keys (a door's text field or key commands).
  if (A.FModes->Key(TKeyEvent{key, shift, ctrl, alt, A.FLastScanCode})) return;
  // 4. Ctrl+letter sends its control code.
  if (ctrl && !alt && key >= vk::Letter('A') && key <= vk::Letter('Z')) {
    A.SendTyped(std::string(1, char(key - vk::Letter('A') + 1)));
    return;
  }
  // Esc while the call is still connecting cancels it.
  if (key == vk::Escape) {
    if (A.FCall->Transport()->Connected.load()) {
      A.SendTyped(kEsc);
      return;
    }
    A.FPopups.Terminated.Reason =
        A.FCall->Entry() ? "Cancelled connecting to " + ShownHost(*A.FCall->Entry()) + "." : "Cancelled connecting.";
    A.FStatus = A.FStatusBar ? A.FPopups.Terminated.Reason : "";
    A.FPopups.Terminated.Until = platform::TickMs() + 500;
    A.DisconnectCurrent();
    A.FBuffer->ClearScreen(true);
    A.FBuffer->ResetAttributes();
    A.FBuffer->Dirty = true;
    return;
  }
  // 5. Special keys.
  const bool atascii = A.FCall->Petscii() && A.FCall->Petscii()->GetMode() == TPetsciiParser::pmAtascii;
  std::string bytes = SpecialKeyBytes(key, atascii, A.FCall->Renegade());
  if (!bytes.empty()) A.SendTyped(bytes);
}

void TOnlineScreen::OnlineChar(uint8_t ch, uint32_t codePoint) {
  if (!A.FCall->Transport()) return;
  // A mode that takes typed characters (a door's text field) has them first.
  if (A.FModes->Char(ch, A.FLastScanCode)) return;
  if (A.FOutput->Browsing()) A.FOutput->LeaveScrollback();
  // In UTF-8 mode the typed character goes out in UTF-8 as typed; without
  // it, a byte above 127 as the code point with the same value.
  if (A.FCall->Utf8Mode() && codePoint > 127)
    A.SendTyped(CodePointToUtf8(codePoint));
  else if (A.FCall->Utf8Mode() && ch > 127)
    A.SendTyped(CodePointToUtf8(ch));
  else
    A.SendTyped(std::string(1, char(ch)));
  if (A.FCmdEcho) {
    A.FParser->ProcessChar(ch);
    A.Invalidate();
  }
}
