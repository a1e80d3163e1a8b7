// RIPscrip and SkyPix as a mode of the call: a call whose entry asks for RIP
// runs every received byte through the RIP parser, which takes its framing
// out of the stream and draws on the 640 x 350 canvas; the canvas scrolls
// with the text screen and is cleared with it. While the board has not
// switched RIP display off, the online screen is the canvas with the text
// cells drawn over it, stretched over the window, and a left click in one of
// the board's mouse regions sends the region's text.
//
// The parser's events reach the call here: replies to the board, the text
// window (which resizes the text grid to the RIP cell size, or hides the
// text), cursor moves and cursor queries in pixels, and the end of a SkyPix
// page, which gives the text grid back its 80 x 25.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TBGIStrokeFont;
class TRipCanvas;
class TRipParser;

class TRipMode : public TCallMode {
 public:
  explicit TRipMode(TCallModeServices& services);
  ~TRipMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FRipMode; }
  size_t PlainRun(const uint8_t*, size_t) const override { return 0; }
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  bool HidesText() const override { return FRipTextHidden; }
  bool KeepsScreenSize() const override { return FRipMode; }
  void Cleared() override;
  void Scrolled(int lines) override;

  bool ReplacesFrame() const override;
  void PaintFrame(TModeFrame& frame) override;
  bool Mouse(const TModeMouse& m) override;
  bool Char(uint8_t ch, uint16_t scanCode) override;

  // The parser's events.
  void RipTextWindow(int x0, int y0, int x1, int y1, int wrap, int size);
  void GotoXYPixels(int x, int y);
  void OnRipCursorPixels(int& x, int& y) const;
  void OnSkyPixEnd();
  // The first key or click after the board hid its text brings the text
  // screen back over an empty canvas.
  void EndRipTextHidden();

  // What the tests look at.
  const TRipCanvas& Canvas() const { return *FRipCanvas; }
  const TRipParser& Parser() const { return *FRipParser; }

 private:
  std::unique_ptr<TBGIStrokeFont> FBgiFonts[11];
  std::unique_ptr<TRipCanvas> FRipCanvas;
  // The canvas with the bottom line and popups over it, made for each frame
  // that has them, so they never stay on the board's picture.
  std::unique_ptr<TRipCanvas> FComposed;
  std::unique_ptr<TRipParser> FRipParser;  // draws on FRipCanvas
  bool FRipMode = false;
  int32_t FRipCellW = 8, FRipCellH = 8;
  bool FRipTextHidden = false, FRipGridSet = false;
};

// A region's text as a click sends it: the two characters "^c" are the one
// control code of c (either case); any other text goes as it is.
std::string RipClickText(const std::string& text);
