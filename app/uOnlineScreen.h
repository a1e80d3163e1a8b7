// The online screen: the call's own buffer with its bottom line and popups,
// the keys and typed characters that go to the board, and the mouse (mouse
// reports, selection, links, paste and the wheel's scrollback view). It is
// the application's view of the call, so it works on the application itself
// rather than through the screen services.
#pragma once
#include "app/uApp.h"
#include "app/uOnlineMouse.h"

class TOnlineScreen : public TScreen {
 public:
  explicit TOnlineScreen(TApplication& app) : FApp(app) {}

  TScreenMode Mode() const override { return smOnline; }
  bool ComposesPicture() const override { return false; }
  void Paint(TScreenFrame& frame) override { FApp.PaintTerminal(frame); }
  bool Key(const TKeyEvent& k) override {
    FApp.HandleOnlineKey(k.Key, k.Shift, k.Ctrl, k.Alt);
    return true;
  }
  bool Char(uint8_t ch, uint32_t codePoint) override {
    FApp.OnlineChar(ch, codePoint);
    return true;
  }
  bool Mouse(const TMouseEvent& m) override { return FApp.OnlineMouse().Mouse(m); }
  void Leave() override { FApp.OnlineMouse().ClearHover(); }

 private:
  TApplication& FApp;
};
