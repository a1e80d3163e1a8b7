// The online screen: the call's own buffer with its bottom line (prompt,
// status message or status bar), the transfer window, the popups in their
// fixed order and the mouse's highlights; the keys and typed characters that
// go to the board; and the mouse (mouse reports, selection, links, paste and
// the wheel's scrollback view). What the call's modes paint, over the text
// grid or in its place, comes from their table. It is the application's view
// of the call, so it works on the application itself rather than through the
// screen services.
#pragma once
#include <string>

#include "app/uApp.h"
#include "app/uOnlineMouse.h"

class TOnlineScreen : public TScreen {
 public:
  explicit TOnlineScreen(TApplication& app) : A(app) {}

  TScreenMode Mode() const override { return smOnline; }
  bool ComposesPicture() const override { return false; }
  void Paint(TScreenFrame& frame) override { PaintTerminal(frame); }
  bool Key(const TKeyEvent& k) override {
    HandleOnlineKey(k.Key, k.Shift, k.Ctrl, k.Alt);
    return true;
  }
  bool Char(uint8_t ch, uint32_t codePoint) override {
    OnlineChar(ch, codePoint);
    return true;
  }
  bool Mouse(const TMouseEvent& m) override { return A.OnlineMouse().Mouse(m); }
  void Leave() override { A.OnlineMouse().ClearHover(); }

  // The status bar's line: board, size, state, type, call time and a help
  // hint (not yet centred).
  std::string StatusBarText() const;

 private:
  void PaintTerminal(TScreenFrame& frame);
  // The bottom line's text, and whether it is a prompt or status message.
  std::string BottomLineText(bool& promptOrStatus) const;
  // The bottom line, the popups and the highlights.
  void DrawOverlays(TPopupLayer& layer, bool standardFont);
  void DrawBottomLine(TPopupLayer& layer);
  void HandleOnlineKey(uint16_t vk, bool shift, bool ctrl, bool alt);
  // A typed character: to the board while a call is open.
  void OnlineChar(uint8_t ch, uint32_t codePoint);

  TApplication& A;
  std::string FPaintedBottomLine;  // the bottom line painted last, for the debug log
};
