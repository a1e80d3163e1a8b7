// The mouse on the online screen, decided per event in a fixed order: while
// the board asks for mouse tracking (and Shift is not held) every press,
// release, wheel step and the motion the board asked for goes to it as a
// report; otherwise the left button selects text (copied to the clipboard
// when released), a click opens the link under it, the right button pastes
// and the wheel browses the scrollback. Also the online screen's clipboard
// commands and the highlights the painter draws over the cells. Like the
// online screen it is the application's view of the call.
#pragma once
#include "app/screens/uScreen.h"
#include "app/uClipboardText.h"
#include "app/uScreenLinks.h"

class TApplication;
class TPopupLayer;

class TOnlineMouse {
 public:
  explicit TOnlineMouse(TApplication& app) : FApp(app) {}

  // One event on the online screen; true when what is shown changed.
  bool Mouse(const TMouseEvent& m);
  // The selection ends: a press, a cleared screen, a new call.
  void ClearLinkSelection();
  // No link is under the pointer (another screen is shown).
  void ClearHover();

  // The board asked for mouse reports (on the online screen).
  bool Tracking() const;
  bool HasSelection() const { return FHasSelection; }
  bool LinkHover() const { return FHover; }
  const TLinkSpan& HoveredLink() const { return FLink; }
  int HoveredRow() const { return FLinkRow; }
  // The corners in reading order.
  void NormalizedSelection(TCellPoint& first, TCellPoint& last) const;

  // Url in the web browser; a browser that does not take it is reported
  // later (LinkNotOpened).
  void OpenUrlInBrowser(const std::string& url);

  void CopySelectionToClipboard();
  // Every row as displayed, the reserved status row included.
  void CopyScreenToClipboard();
  // The browser did not take a link opened here: the opener could not be
  // started, or ended with OpenerStatus (xdg-open's 3: no browser found).
  void LinkNotOpened(const std::string& url, int openerStatus);
  // The clipboard to the board in one write, on the online screen with a
  // call open.
  void PasteToSession();

  // The selection in reverse and the hovered link underlined, over the
  // cells and the popups.
  void DrawHighlights(TPopupLayer& layer) const;

 private:
  bool Press(const TMouseEvent& m);
  bool Release(const TMouseEvent& m);
  bool Move(const TMouseEvent& m);
  bool Wheel(const TMouseEvent& m);
  bool FollowSelection(const TMouseEvent& m);
  bool UpdateHover(const TMouseEvent& m);
  void OpenLinkAt(TCellPoint cell, bool inBrowser);
  void SendReport(int code, int col, int row, bool release);
  void SetClipboardText(const std::string& utf8, const std::string& message);
  TCellPoint ClampedCell(const TMouseEvent& m) const;
  // The pointer is on a cell of the rows the board was told it has (not on
  // the reserved status row): only there is it reported.
  bool OnBoardRows(const TMouseEvent& m) const;

  TApplication& FApp;
  bool FSelecting = false, FHasSelection = false;
  TCellPoint FSelStart, FSelEnd;
  int FButton = -1;  // the held button of the last reported press (0 left, 1 middle, 2 right)
  TCellPoint FLastReport{-1, -1};
  bool FHover = false;
  TLinkSpan FLink;
  int FLinkRow = -1;
};
