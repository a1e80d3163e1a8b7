#include "graphics/uRipParser.h"

#include <algorithm>

void TRipCanvas::Clear() {
  if (Drawn) Pixels.Fill(0);
  Drawn = false;
  Changed = true;
}

void TRipCanvas::SetFontSlot(int slot, TBGIStrokeFont* font) {
  if (slot >= 1 && slot <= 10) FFonts[slot] = font;
}

bool TRipCanvas::HitTest(int, int, std::string&) const { return false; }

void TRipParser::Reset() {
  RipDisabledByHost = false;
  if (FCanvas) FCanvas->Clear();
}

void TRipParser::ScrollUp(int pixelRows) {
  if (!FCanvas || pixelRows <= 0) return;
  platform::Surface& s = FCanvas->Pixels;
  int rows = std::min(pixelRows, s.Height());
  s.Copy(s, platform::Rect{0, rows, s.Width(), s.Height()}, 0, 0);
  s.FillRect(platform::Rect{0, s.Height() - rows, s.Width(), s.Height()}, 0);
  FCanvas->Drawn = true;
  FCanvas->Changed = true;
}
