// Music level bars: up to sixteen meters, each showing the level of one
// channel of the door's music, polled every 40 ms, falling back gently, and
// optionally cycling their colour through a palette range. A bar belongs
// to the screen or to the graphics window that was the owner when it was
// defined.
#include <algorithm>
#include <cstring>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr uint64_t kPollMs = 40;
constexpr int32_t kFullLevel = 40;
constexpr int32_t kFallPerPoll = 4;

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

void TDDOFXGfx::MusicBarCommand(const TGfxCommand& c) {
  TParams p;
  SplitParams(c.ParamText, 0, p);
  if (c.Name == "7DEFBAR") {
    const int64_t n = IntParam(p, 0, 0);
    if (n < 1 || n > kMusicBars) return;
    TGfxMusicBar& b = MusicBars[size_t(n)];
    b.X = I32(IntParam(p, 1, 0));
    b.Y = I32(IntParam(p, 2, 0));
    b.Length = I32(std::max<int64_t>(0, IntParam(p, 3, 0)));
    b.Thickness = I32(std::max<int64_t>(1, IntParam(p, 4, 8)));
    b.Colour = int32_t(IntParam(p, 5, 0) & 0xFF);
    b.Cycle = IntParam(p, 6, 0) == 1;
    b.CycleFrom = int32_t(IntParam(p, 7, 0) & 0xFF);
    b.CycleTo = int32_t(IntParam(p, 8, 0) & 0xFF);
    b.Wrap = IntParam(p, 9, 0) == 1;
    b.Direction = I32(IntParam(p, 10, 1));
    b.Owner = OwnerWindow;
    const int32_t lo = std::min(b.CycleFrom, b.CycleTo), hi = std::max(b.CycleFrom, b.CycleTo);
    b.CurrentColour = b.Cycle && b.Colour >= lo && b.Colour <= hi ? b.Colour : b.CycleFrom;
    b.Step = b.CycleTo < b.CycleFrom ? -1 : 1;
    if (!b.Defined) b.Level = 0;
    b.Defined = true;
    return;
  }
  if (c.Name == "7MUSBAR") {
    MusicBarsOn = IntParam(p, 0, 0) == 1;
    NextBarPoll = 0;
  }
  for (auto& b : MusicBars) b.Level = 0;
  Dirty = true;
}

bool TDDOFXGfx::UpdateMusicBars() {
  if (!MusicBarsOn || Now < NextBarPoll) return false;
  NextBarPoll = Now + kPollMs;
  bool any = false;
  for (int i = 0; i < kMusicBars; ++i) {
    TGfxMusicBar& b = MusicBars[size_t(i + 1)];
    if (!b.Defined) continue;
    any = true;
    const int d = OnMusicLevel ? OnMusicLevel(i) : -1;
    if (d < 0)
      b.Level = -1;
    else if (d < b.Level)
      b.Level = std::max(d, b.Level - kFallPerPoll);
    else
      b.Level = d;
    const int32_t lo = std::min(b.CycleFrom, b.CycleTo), hi = std::max(b.CycleFrom, b.CycleTo);
    if (!b.Cycle || lo >= hi) continue;
    if (b.Wrap) {
      const int32_t next = b.CurrentColour + (b.CycleTo < b.CycleFrom ? -1 : 1);
      b.CurrentColour = next < lo || next > hi ? b.CycleFrom : next;
    } else {
      if (b.Step == 0) b.Step = 1;
      const int32_t next = b.CurrentColour + b.Step;
      if (next < lo || next > hi) {
        b.CurrentColour -= b.Step;
        b.Step = -b.Step;
      } else {
        b.CurrentColour = next;
      }
    }
    b.CurrentColour = std::clamp(b.CurrentColour, lo, hi);
  }
  return any;
}

void TDDOFXGfx::DrawMusicBars(int owner, uint8_t* work) {
  if (!MusicBarsOn) return;
  for (int n = 1; n <= kMusicBars; ++n) {
    const TGfxMusicBar& b = MusicBars[size_t(n)];
    if (!b.Defined || b.Owner != owner || b.Level <= 0) continue;
    const int64_t full = int64_t(b.Length) * 4;
    // A full level or more fills the bar (and keeps the product small).
    const int64_t len = b.Level >= kFullLevel ? full : (full * b.Level + kFullLevel / 2) / kFullLevel;
    if (len <= 0) continue;
    const uint8_t colour = uint8_t(b.Cycle ? b.CurrentColour : b.Colour);
    const int64_t x = b.X, y = b.Y, t = b.Thickness;
    int64_t x1, x2, y1, y2;
    switch (b.Direction) {
      case 2: x1 = x, x2 = x + t - 1, y1 = y, y2 = y + len - 1; break;
      case 3: x1 = x, x2 = x + len - 1, y1 = y - t + 1, y2 = y; break;
      case 4: x1 = x - len + 1, x2 = x, y1 = y - t + 1, y2 = y; break;
      default: x1 = x, x2 = x + t - 1, y1 = y - len + 1, y2 = y; break;
    }
    x1 = std::max<int64_t>(x1, 0);
    y1 = std::max<int64_t>(y1, 0);
    x2 = std::min<int64_t>(x2, kWidth - 1);
    y2 = std::min<int64_t>(y2, kHeight - 1);
    if (x1 > x2) continue;
    for (int64_t r = y1; r <= y2; ++r) std::memset(work + r * kWidth + x1, colour, size_t(x2 - x1 + 1));
  }
}
