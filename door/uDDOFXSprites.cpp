// Sprites: named rectangles cut from a page, kept by index (animations,
// sequences and gadgets hold indexes, so redefining a name keeps its index)
// and drawn by their bottom-left pixel, colour 0 transparent.
#include <algorithm>
#include <cctype>

#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

using namespace ddofxgfx;

int TDDOFXGfx::FindSprite(const std::string& name) const {
  auto it = SpriteNames.find(ddofxtext::Upper(ddofxtext::Trim(name)));
  return it == SpriteNames.end() ? -1 : it->second;
}

void TDDOFXGfx::DefineSprite(int page, const TParams& params) {
  const std::string name = ddofxtext::Upper(ddofxtext::Trim(StrParam(params, 4)));
  if (name.empty()) return;
  int index = FindSprite(name);
  if (index < 0) {
    if (Sprites.size() >= kMaxSprites) {
      Log("too many sprites, not defined: " + name);
      return;
    }
    index = int(Sprites.size());
    auto sprite = std::make_unique<TGfxSprite>();
    sprite->Name = name;
    Sprites.push_back(std::move(sprite));
    SpriteNames.emplace(name, index);
  }
  TGfxSprite& s = *Sprites[size_t(index)];
  const int64_t x1 = IntParam(params, 0, 0), x2 = IntParam(params, 1, 0);
  const int64_t y1 = IntParam(params, 2, 0), y2 = IntParam(params, 3, 0);
  const int64_t w = x2 - x1 + 1, h = y2 - y1 + 1;
  SpriteBytes -= std::min(SpriteBytes, s.Pixels.size());
  s.Width = s.Height = 0;
  std::vector<uint8_t>().swap(s.Pixels);
  // Bounded before anything is taken: a rectangle off the page, thinner than
  // two pixels or over the pixel cap gives an empty sprite of that name.
  if (x1 < 0 || y1 < 0 || x2 >= kWidth || y2 >= kHeight || w < 2 || h < 2 || w * h > kMaxSpritePixels) return;
  if (SpriteBytes + size_t(w * h) > kMaxSpriteBytes) {
    // Count again in case sprites were replaced elsewhere, then decide.
    SpriteBytes = 0;
    for (const auto& other : Sprites) SpriteBytes += other->Pixels.size();
    if (SpriteBytes + size_t(w * h) > kMaxSpriteBytes) {
      Log("sprite memory full, " + name + " left empty");
      return;
    }
  }
  const uint8_t* p = Page(page);
  SpriteBytes += size_t(w * h);
  s.Width = int32_t(w);
  s.Height = int32_t(h);
  s.Pixels.resize(size_t(w * h));
  for (int64_t r = 0; r < h; ++r)
    std::copy(p + (y1 + r) * kWidth + x1, p + (y1 + r) * kWidth + x1 + w, s.Pixels.begin() + r * w);
}

void TDDOFXGfx::BlitSprite(uint8_t* buffer, int index, int x, int bottomY, bool transparent, bool clip,
                           bool mirror) const {
  if (index < 0 || size_t(index) >= Sprites.size()) return;
  const TGfxSprite& s = *Sprites[size_t(index)];
  if (s.Width <= 0 || s.Height <= 0) return;
  const int64_t top = int64_t(bottomY) - s.Height + 1;
  if (!clip && (x < 0 || top < 0 || int64_t(x) + s.Width > kWidth || bottomY >= kHeight)) return;
  const int64_t r0 = std::max<int64_t>(0, -top), r1 = std::min<int64_t>(s.Height, kHeight - top);
  const int64_t c0 = std::max<int64_t>(0, -int64_t(x)), c1 = std::min<int64_t>(s.Width, kWidth - int64_t(x));
  for (int64_t r = r0; r < r1; ++r) {
    const uint8_t* row = s.Pixels.data() + r * s.Width;
    const int64_t at = (top + r) * kWidth + x;
    for (int64_t c = c0; c < c1; ++c) {
      const uint8_t v = mirror ? row[s.Width - 1 - c] : row[c];
      if (transparent && v == 0) continue;
      buffer[at + c] = v;
    }
  }
}

void TDDOFXGfx::DrawSprite(int index, int page, int x, int bottomY, bool transparent, bool clip, bool mirror) {
  BlitSprite(Page(page), index, x, bottomY, transparent, clip, mirror);
  if (page == 0) BlitSprite(Page(3), index, x, bottomY, transparent, clip, mirror);
  Dirty = true;
}

void TDDOFXGfx::FlipSprite(const std::string& name) {
  const int index = FindSprite(name);
  if (index < 0) return;
  TGfxSprite& s = *Sprites[size_t(index)];
  for (int r = 0; r < s.Height / 2; ++r)
    std::swap_ranges(s.Pixels.begin() + r * s.Width, s.Pixels.begin() + (r + 1) * s.Width,
                     s.Pixels.begin() + (s.Height - 1 - r) * s.Width);
}

void TDDOFXGfx::FreeSprites() {
  Sprites.clear();
  SpriteNames.clear();
  SpriteBytes = 0;
}
