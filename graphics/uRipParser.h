// RIPscrip and SkyPix: the 640x350 canvas shared with IGS, the parser that
// takes RIPscrip framing out of the stream, and its events. The drawing
// command set is not built yet: the parser hands every byte to the text
// emulation unchanged, and the canvas stays blank.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/uBGIFont.h"
#include "platform/Surface.h"

class TRipCanvas {
 public:
  static constexpr int kWidth = 640, kHeight = 350;
  TRipCanvas() : Pixels(kWidth, kHeight) {}

  void Clear();
  void SetFontSlot(int slot, TBGIStrokeFont* font);
  // The text of the most recently added hot spot that holds the point.
  bool HitTest(int x, int y, std::string& text) const;
  int HotspotCount() const { return 0; }

  // Whatever draws on Pixels sets Drawn: a board clears its text screen far
  // more often than it draws, and Clear leaves an undrawn canvas as it is.
  platform::Surface Pixels;
  bool Drawn = false;
  bool Changed = false;  // read and cleared by the application after each chunk

 private:
  TBGIStrokeFont* FFonts[11] = {};
};

class TRipParser {
 public:
  explicit TRipParser(TRipCanvas* canvas) : FCanvas(canvas) {}

  // Takes RIPscrip and SkyPix framing; appends the bytes meant for the text
  // emulation to Out.
  void Feed(uint8_t b, std::vector<uint8_t>& out) { out.push_back(b); }
  void Reset();
  void ScrollUp(int pixelRows);

  std::function<void(const std::string&)> OnReply;
  std::function<void(int x0, int y0, int x1, int y1, int wrap, int size)> OnTextWindow;
  std::function<void(int x, int y)> OnGotoPixels;
  std::function<void(int& x, int& y)> OnGetCursorPixels;
  std::function<void()> OnSkyPixEnd;
  std::function<void()> OnSkyPixStart;
  bool RipDisabledByHost = false;
  bool SkyPixHideFontNames = false;

 private:
  TRipCanvas* FCanvas;
};
