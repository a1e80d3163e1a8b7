#include "app/call/uCall.h"
#include "app/uOnlineMouse.h"

#include <algorithm>
#include <cstdio>

#include "app/screens/uPopupLayer.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppOutput.h"
#include "app/uMouseReport.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uUtf8Cp437.h"
#include "net/uWireTransport.h"

namespace {

// The report code of a window button.
int ButtonCode(int windowButton) {
  return windowButton == button::Left ? mousecode::Left
         : windowButton == button::Middle ? mousecode::Middle
                                          : mousecode::Right;
}

int ModifierBits(const TMouseEvent& m) { return MouseModifierBits(m.Shift, m.Alt, m.Ctrl); }

const char* TrueFalse(bool b) { return b ? "True" : "False"; }

}  // namespace

bool TOnlineMouse::Tracking() const { return FApp.ScreenMode() == smOnline && FApp.FParser->MouseMode != mtOff; }

bool TOnlineMouse::Mouse(const TMouseEvent& m) {
  switch (m.Kind) {
    case TMouseKind::Down:
    case TMouseKind::DoubleClick: return Press(m);
    case TMouseKind::Up: return Release(m);
    case TMouseKind::Move: return Move(m);
    case TMouseKind::Wheel: return Wheel(m);
  }
  return false;
}

bool TOnlineMouse::Press(const TMouseEvent& m) {
  const bool report = Tracking() && !m.Shift;
  if (m.Button == button::Right && LogEnabled) {
    char line[96];
    std::snprintf(line, sizeof line, "Mouse: R-down mode=%d trackMode=%d shift=%s", int(FApp.ScreenMode()),
                  FApp.FParser->MouseMode, TrueFalse(m.Shift));
    LogLine(line);
  }
  if (report) {
    // The second press of a double click is a press for the board too, so
    // every release it gets follows a press.
    if (OnBoardRows(m)) {
      FButton = ButtonCode(m.Button);
      SendReport(FButton + ModifierBits(m), m.Col, m.Row, false);
    }
    return false;
  }
  // A double click on the screen does nothing more than its first click did
  // (it neither starts a selection nor opens a link a second time).
  if (m.Kind == TMouseKind::DoubleClick) return false;
  if (m.Button == button::Right) {
    PasteToSession();
    return true;
  }
  if (m.Button != button::Left) return false;  // the middle button never pastes
  ClearLinkSelection();
  FSelStart = FSelEnd = ClampedCell(m);
  FSelecting = true;
  return true;
}

bool TOnlineMouse::Release(const TMouseEvent& m) {
  const int held = FButton;
  FButton = -1;
  if (m.Button == button::Left && FSelecting) {
    FollowSelection(m);
    FSelecting = false;
    FHasSelection = !(FSelStart == FSelEnd);
    if (LogEnabled) {
      char line[128];
      std::snprintf(line, sizeof line, "Mouse: L-up selection (%d,%d)-(%d,%d) hasSelection=%s", FSelStart.Col,
                    FSelStart.Row, FSelEnd.Col, FSelEnd.Row, TrueFalse(FHasSelection));
      LogLine(line);
    }
    if (FHasSelection)
      CopySelectionToClipboard();
    else
      OpenLinkAt(FSelStart, m.Ctrl);
    return true;
  }
  if (!Tracking() || FApp.FParser->MouseMode == mtX10) return false;
  // The left button releases whichever button is held; the others their own.
  const bool releases = m.Button == button::Left ? held >= 0 : held == ButtonCode(m.Button);
  if (releases && OnBoardRows(m))
    SendReport(held + ModifierBits(m), m.Col, m.Row, true);
  return false;
}

bool TOnlineMouse::Move(const TMouseEvent& m) {
  if (FSelecting) return FollowSelection(m);
  if (Tracking()) {
    // Motion while the board tracks: every move in any-event tracking, moves
    // with a button held in button-event tracking; one report per cell.
    const int mode = FApp.FParser->MouseMode;
    const bool wanted = mode == mtAnyEvent || (mode == mtButtonEvent && FButton >= 0);
    if (wanted && OnBoardRows(m) && !(TCellPoint{m.Col, m.Row} == FLastReport))
      SendReport((FButton >= 0 ? FButton + mousecode::Motion : mousecode::MotionNoButton) + ModifierBits(m), m.Col,
                 m.Row, false);
    if (!FHover) return false;
    ClearHover();
    return true;
  }
  return UpdateHover(m);
}

bool TOnlineMouse::Wheel(const TMouseEvent& m) {
  if (Tracking() && !m.Shift) {
    if (OnBoardRows(m))
      SendReport((m.WheelUp ? mousecode::WheelUp : mousecode::WheelDown) + ModifierBits(m), m.Col, m.Row, false);
    return false;
  }
  FApp.FOutput->ScrollbackWheel(m.WheelUp);
  return true;
}

bool TOnlineMouse::FollowSelection(const TMouseEvent& m) {
  const TCellPoint cell = ClampedCell(m);
  if (cell == FSelEnd) return false;
  FSelEnd = cell;
  return true;
}

bool TOnlineMouse::UpdateHover(const TMouseEvent& m) {
  TLinkSpan link;
  const bool hover = m.OnCell && UrlAtCell(*FApp.FBuffer, m.Row, m.Col, link);
  const bool changed =
      hover != FHover || (hover && (m.Row != FLinkRow || link.Start != FLink.Start || link.End != FLink.End));
  FHover = hover;
  FLink = link;
  FLinkRow = hover ? m.Row : -1;
  return changed;
}

void TOnlineMouse::ClearLinkSelection() {
  FSelecting = false;
  FHasSelection = false;
}

void TOnlineMouse::ClearHover() {
  FHover = false;
  FLink = TLinkSpan{};
  FLinkRow = -1;
}

void TOnlineMouse::NormalizedSelection(TCellPoint& first, TCellPoint& last) const {
  const bool inOrder = FSelStart.Row < FSelEnd.Row || (FSelStart.Row == FSelEnd.Row && FSelStart.Col <= FSelEnd.Col);
  first = inOrder ? FSelStart : FSelEnd;
  last = inOrder ? FSelEnd : FSelStart;
}

TCellPoint TOnlineMouse::ClampedCell(const TMouseEvent& m) const {
  const TTerminalBuffer& b = *FApp.FBuffer;
  return TCellPoint{std::clamp(m.Col, 0, b.FWidth - 1), std::clamp(m.Row, 0, b.FHeight - 1)};
}

bool TOnlineMouse::OnBoardRows(const TMouseEvent& m) const {
  return m.OnCell && m.Row < FApp.FBuffer->VisibleRows();
}

void TOnlineMouse::OpenLinkAt(TCellPoint cell, bool inBrowser) {
  TLinkSpan link;
  if (!UrlAtCell(*FApp.FBuffer, cell.Row, cell.Col, link)) return;
  // Ctrl+click opens the browser; a plain click offers the link to the
  // call's modes first (the audio stream player takes it, and hands every
  // link it cannot play back to the browser itself).
  if (!inBrowser && FApp.FModes->LinkClicked(link.Url)) return;
  OpenUrlInBrowser(link.Url);
}

void TOnlineMouse::OpenUrlInBrowser(const std::string& url) { FApp.FWindow->OpenUrl(url); }

void TOnlineMouse::LinkNotOpened(const std::string& url, int openerStatus) {
  LogLine("Link: no browser took " + url + " (xdg-open ended with " + std::to_string(openerStatus) + ")");
  FApp.SetStatus("Could not open the link - no web browser could be started (xdg-open).", 4000);
}

void TOnlineMouse::SendReport(int code, int col, int row, bool release) {
  if (!FApp.FCall->Transport()) return;
  FLastReport = TCellPoint{col, row};
  FApp.FCall->Transport()->SendString(
      MouseReportBytes(FApp.FParser->MouseMode, FApp.FParser->SgrMouse, code, col, row, release));
}

void TOnlineMouse::SetClipboardText(const std::string& utf8, const std::string& message) {
  FApp.FWindow->SetClipboardText(utf8);
  FApp.SetStatus(message, 1500);
}

void TOnlineMouse::CopySelectionToClipboard() {
  if (!FHasSelection) return;
  TCellPoint first, last;
  NormalizedSelection(first, last);
  SetClipboardText(SelectionText(*FApp.FBuffer, first, last), "Copied selection to clipboard.");
}

void TOnlineMouse::CopyScreenToClipboard() {
  const TTerminalBuffer& b = *FApp.FBuffer;
  SetClipboardText(SelectionText(b, TCellPoint{0, 0}, TCellPoint{b.FWidth - 1, b.FHeight - 1}),
                   "Copied screen to clipboard.");
}

void TOnlineMouse::PasteToSession() {
  if (FApp.ScreenMode() != smOnline || !FApp.FCall->Transport()) return;
  const std::string text = FApp.FWindow->ClipboardText();
  if (text.empty()) {
    const std::string refusal = FApp.FWindow->ClipboardRefusal();
    if (!refusal.empty()) {
      LogLine("Paste: " + refusal);
      FApp.SetStatus(refusal, 4000);
      FApp.Invalidate();
    }
    return;
  }
  if (FApp.FOutput->Browsing()) FApp.FOutput->LeaveScrollback();
  FApp.SendTyped(PasteBytes(text, FApp.FCall->Utf8Mode()));
  FApp.Invalidate();
}

void TOnlineMouse::DrawHighlights(TPopupLayer& layer) const {
  const TTerminalBuffer& b = *FApp.FBuffer;
  if (FSelecting || FHasSelection) {
    TCellPoint first, last;
    NormalizedSelection(first, last);
    for (int row = first.Row; row <= last.Row; ++row) {
      const int from = row == first.Row ? first.Col : 0, to = row == last.Row ? last.Col : b.FWidth - 1;
      for (int col = from; col <= to; ++col) {
        TCell cell = b.GetDisplayCell(col, row);
        cell.Reverse = !cell.Reverse;  // the colours as shown, swapped
        layer.PutCell(col, row, cell);
      }
    }
  }
  if (FHover)
    for (int col = FLink.Start; col <= FLink.End; ++col) {
      TCell cell = b.GetDisplayCell(col, FLinkRow);
      cell.Underline = true;
      layer.PutCell(col, FLinkRow, cell);
    }
}
