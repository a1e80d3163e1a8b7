// The composed door picture: page 0 with the moving and interactive things
// layered over a copy of it (page 0 itself is left as it was), the palette
// turned into 24-bit colour with the fade, the door pointer, the shake, and
// the status line on the bottom 16 rows.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

void TDDOFXGfx::RenderFrame(uint32_t* output, const std::string& status) {
  RefreshWindows();
  uint8_t* work = FWork.data();
  std::memcpy(work, Pages[0].data(), kPageSize);
  if (!FBackgroundPaused)
    for (int32_t n : PlayList) {
      if (n < 1 || n > kAnims) continue;
      const TGfxAnim& a = Anims[size_t(n)];
      if (!a.Playing || a.Owner != 0 || a.LastSprite < a.FirstSprite) continue;
      int x = 0, y = 0;
      AnimPosition(n, x, y);
      const int64_t frame = int64_t(a.FirstSprite) +
                            std::clamp<int64_t>(a.FrameOffset, 0, int64_t(a.LastSprite) - a.FirstSprite);
      BlitSprite(work, int(frame), x, y, a.DrawMode != 0, a.DrawMode != 0, a.DrawMode == 2);
    }
  DrawMusicBars(0, work);
  PaintLiveFields(work);
  for (int n = 1; n <= kGraphicsWindows; ++n)
    if (n != ActiveWindow && WindowVisible(n)) PaintGraphicsWindow(n, work);
  if (ActiveWindow >= 1 && ActiveWindow <= kGraphicsWindows && WindowVisible(ActiveWindow))
    PaintGraphicsWindow(ActiveWindow, work);

  double fade = 1.0;
  if (FadeOut)
    fade = 0.0;
  else if (FadeStart != 0)
    fade = std::clamp(double(Now - FadeStart) / double(std::max(FadeMs, 1)), 0.0, 1.0);
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) {
    uint32_t rgb = 0;
    for (int c = 0; c < 3; ++c) {
      // Each component is limited to 0..255 before it is packed, so one
      // channel never carries into the next; halves round to even.
      const double v = std::nearbyint(double(Palette[size_t(i * 3 + c)]) * 255.0 / 63.0 * fade);
      rgb = (rgb << 8) | uint32_t(std::clamp(v, 0.0, 255.0));
    }
    colours[i] = rgb;
  }

  if (HasCustomPointer() && MouseInside && CurrentPointer >= 1 && CurrentPointer <= kPointers) {
    const TGfxPointer& p = Pointers[size_t(CurrentPointer)];
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 16; ++c) {
        const int64_t x = int64_t(LastMouseX) - p.HotX + c, y = int64_t(LastMouseY) - p.HotY + r;
        if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) continue;
        uint8_t& px = work[y * kWidth + x];
        px = uint8_t((px & p.Mask[size_t(r * 16 + c)]) ^ p.Colours[size_t(r * 16 + c)]);
      }
  }

  if (ShakeUntil != 0) {
    const int dx = int(std::nearbyint(std::sin(double(Now) / 18.0) * 6.0));
    const int dy = int(std::nearbyint(std::cos(double(Now) / 23.0) * 4.0));
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int sx = x - dx, sy = y - dy;
        output[y * kWidth + x] =
            sx >= 0 && sx < kWidth && sy >= 0 && sy < kHeight ? colours[work[sy * kWidth + sx]] : 0;
      }
  } else {
    for (int i = 0; i < kPageSize; ++i) output[i] = colours[work[i]];
  }

  if (!status.empty()) {
    const size_t length = std::min<size_t>(status.size(), 80);
    for (int r = 0; r < 16; ++r) {
      uint32_t* row = output + (464 + r) * kWidth;
      for (int x = 0; x < kWidth; ++x) {
        const size_t k = size_t(x / 8);
        const bool ink = k < length && (TextFont[size_t(uint8_t(status[k])) * 16 + size_t(r)] & (128 >> (x % 8))) != 0;
        row[x] = ink ? 0xFFFFFFu : 0x0000AAu;
      }
    }
  }
  Dirty = false;
}
