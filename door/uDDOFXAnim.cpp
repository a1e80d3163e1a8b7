// Animations (sprite ranges shown in turn, optionally along Bezier motion
// paths, with frame sounds), motion paths and sprite sequences. Animations
// are drawn by the composer over page 0 each frame; sequences draw
// themselves into the pages when the door asks.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

using namespace ddofxgfx;

namespace {

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// One step back and forth over 0..count-1, turning at either end first.
void Bounce(int32_t& offset, int32_t& dir, int32_t count) {
  if (dir == 0) dir = 1;
  if (offset + dir < 0 || offset + dir > count - 1) dir = -dir;
  offset += dir;
}

}  // namespace

void TDDOFXGfx::DefineAnimation(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0);
  if (n == 0) {
    StopAnimation(0);
    return;
  }
  if (n < 1 || n > kAnims) return;
  if (Anims[size_t(n)].Playing) StopAnimation(int(n));
  TGfxAnim& a = Anims[size_t(n)];
  a = TGfxAnim{};
  a.X = I32(IntParam(p, 1, 0));
  a.Y = I32(IntParam(p, 2, 0));
  a.FrameMode = I32(IntParam(p, 3, 0));
  a.FirstSprite = FindSprite(StrParam(p, 4));
  a.LastSprite = FindSprite(StrParam(p, 5));
  a.FirstPath = I32(IntParam(p, 6, 0));
  a.LastPath = I32(IntParam(p, 7, 0));
  a.PathMode = I32(IntParam(p, 8, 0));
  a.DrawMode = I32(IntParam(p, 9, 0));
  a.Speed = I32(IntParam(p, 10, 20));
  a.SoundsOn = IntParam(p, 11, 0) != 0;
  if (a.LastPath < a.FirstPath) a.LastPath = a.FirstPath;
  a.PathIndex = a.FirstPath;
  a.Defined = a.FirstSprite >= 0 && a.LastSprite >= a.FirstSprite;
  if (!a.Defined)
    Log("2ANIM " + std::to_string(n) + ": frames not found " + StrParam(p, 4) + ".." + StrParam(p, 5));
}

void TDDOFXGfx::FlyAnimation(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0);
  if (n < 1 || n > kAnims || !Anims[size_t(n)].Defined) return;
  TGfxAnim& a = Anims[size_t(n)];
  a.X = I32(IntParam(p, 1, 0));
  a.Y = I32(IntParam(p, 2, 0));
  const int first = FindSprite(StrParam(p, 3)), last = FindSprite(StrParam(p, 4));
  if (first >= 0 && last >= first) {
    a.FirstSprite = first;
    a.LastSprite = last;
    a.FrameOffset = 0;
  }
  if (p.size() > 5) a.DrawMode = I32(IntParam(p, 5, a.DrawMode));
  Dirty = true;
}

void TDDOFXGfx::AnimationSound(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0), slot = IntParam(p, 1, 0);
  if (n < 1 || n > kAnims || slot < 1 || slot > kAnimSounds) return;
  Anims[size_t(n)].Sounds[size_t(slot)] = {I32(IntParam(p, 2, 0)), I32(IntParam(p, 3, 8500)), I32(IntParam(p, 4, 1))};
}

void TDDOFXGfx::DefineMotion(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0);
  if (n == 0) {
    std::fill(Motions.begin(), Motions.end(), TGfxMotion{});
    return;
  }
  if (n < 1 || n > kMotions) return;
  TGfxMotion& m = Motions[size_t(n)];
  m.X0 = I32(IntParam(p, 1, 0));
  m.Y0 = I32(IntParam(p, 2, 0));
  m.X3 = I32(IntParam(p, 3, 0));
  m.Y3 = I32(IntParam(p, 4, 0));
  m.X1 = I32(IntParam(p, 5, 0));
  m.Y1 = I32(IntParam(p, 6, 0));
  m.X2 = I32(IntParam(p, 7, 0));
  m.Y2 = I32(IntParam(p, 8, 0));
  m.Steps = std::max<int32_t>(I32(IntParam(p, 9, 1)), 1);
  m.Defined = true;
}

bool TDDOFXGfx::PlayAnimation(int n) {
  if (n < 1 || n > kAnims) return false;
  TGfxAnim& a = Anims[size_t(n)];
  if (!a.Defined || a.Playing) return false;
  a.Playing = true;
  a.NextDue = 0;
  PlayFrameSounds(n);
  if (std::find(PlayList.begin(), PlayList.end(), n) == PlayList.end()) PlayList.push_back(n);
  Dirty = true;
  return true;
}

bool TDDOFXGfx::StopAnimation(int n) {
  if (n == 0) {
    std::fill(Anims.begin(), Anims.end(), TGfxAnim{});
    PlayList.clear();
  } else if (n >= 1 && n <= kAnims) {
    Anims[size_t(n)].Playing = false;
    PlayList.erase(std::remove(PlayList.begin(), PlayList.end(), n), PlayList.end());
  } else {
    return false;
  }
  Dirty = true;
  return true;
}

bool TDDOFXGfx::StepAnimation(int n) {
  TGfxAnim& a = Anims[size_t(n)];
  const int32_t frame = a.FrameOffset, path = a.PathIndex, pathStep = a.PathStep;
  const int64_t count = int64_t(a.LastSprite) - a.FirstSprite + 1;
  if (a.FrameMode == 1 || a.FrameMode == 4) {
    if (count > 0) a.FrameOffset = int32_t((int64_t(a.FrameOffset) + 1) % count);
  } else if (a.FrameMode == 2) {
    if (a.FrameOffset < count - 1) ++a.FrameOffset;
  } else if (a.FrameMode == 3) {
    if (count > 1) Bounce(a.FrameOffset, a.FrameDir, int32_t(count));
  }
  if (a.FirstPath > 0 && !a.PathDone && a.PathMode != 0) {
    if (a.PathIndex < 1 || a.PathIndex > kMotions) a.PathIndex = a.FirstPath;
    auto stepsOf = [this](int32_t path) {
      return path >= 1 && path <= kMotions ? std::max<int32_t>(Motions[size_t(path)].Steps, 1) : 1;
    };
    const int32_t steps = stepsOf(a.PathIndex);
    if (a.PathDir == 0) a.PathDir = 1;
    a.PathStep += a.PathDir;
    if (a.PathStep >= steps) {
      if (a.PathIndex < a.LastPath) {
        ++a.PathIndex;
        a.PathStep = 0;
      } else if (a.PathMode == 1) {
        a.PathIndex = a.FirstPath;
        a.PathStep = 0;
      } else if (a.PathMode == 3) {
        a.PathDir = -1;
        a.PathStep = steps - 1;
      } else {
        a.PathStep = steps - 1;
        a.PathDone = true;
      }
    } else if (a.PathStep < 0) {
      if (a.PathIndex > a.FirstPath) {
        --a.PathIndex;
        a.PathStep = stepsOf(a.PathIndex) - 1;
      } else {
        a.PathDir = 1;
        a.PathStep = 0;
      }
    }
  }
  if (a.FrameOffset != frame) PlayFrameSounds(n);
  return a.FrameOffset != frame || a.PathIndex != path || a.PathStep != pathStep;
}

void TDDOFXGfx::PlayFrameSounds(int n) {
  if (!OnPlayBite || n < 1 || n > kAnims) return;
  const TGfxAnim& a = Anims[size_t(n)];
  if (!a.SoundsOn) return;
  for (int s = 1; s <= kAnimSounds; ++s) {
    const TGfxAnimSound& sound = a.Sounds[size_t(s)];
    if (sound.Bite > 0 && int64_t(sound.OnFrame) == int64_t(a.FrameOffset) + 1) OnPlayBite(sound.Bite, sound.Rate);
  }
}

void TDDOFXGfx::AnimPosition(int n, int& x, int& y) const {
  const TGfxAnim& a = Anims[size_t(n)];
  if (a.FirstPath > 0 && a.PathIndex >= 1 && a.PathIndex <= kMotions && Motions[size_t(a.PathIndex)].Defined) {
    MotionPoint(a.PathIndex, a.PathStep, x, y);
    return;
  }
  x = a.X;
  y = a.Y;
}

void TDDOFXGfx::MotionPoint(int path, int step, int& x, int& y) const {
  const TGfxMotion& m = Motions[size_t(path)];
  const double t = m.Steps < 2 ? 1.0 : std::min(double(step) / double(m.Steps - 1), 1.0);
  const double u = 1 - t;
  const double bx = u * u * u * m.X0 + 3 * t * u * u * m.X1 + 3 * t * t * u * m.X2 + t * t * t * m.X3;
  const double by = u * u * u * m.Y0 + 3 * t * u * u * m.Y1 + 3 * t * t * u * m.Y2 + t * t * t * m.Y3;
  // Nearest integer, halves to even (the current rounding mode).
  x = int(std::clamp(std::nearbyint(bx), double(INT32_MIN), double(INT32_MAX)));
  y = int(std::clamp(std::nearbyint(by), double(INT32_MIN), double(INT32_MAX)));
}

void TDDOFXGfx::AddSingleSequence(const TParams& p) {
  if (SequenceCount >= kSequences) return;
  TGfxSequence& s = Sequences[size_t(++SequenceCount)];
  s = TGfxSequence{};
  s.Kind = 1;
  s.X = I32(IntParam(p, 0, 0));
  s.Y = I32(IntParam(p, 1, 0));
  s.Margin = std::max<int32_t>(I32(IntParam(p, 2, 0)), 0);
  s.FirstSprite = s.LastSprite = FindSprite(StrParam(p, 3));
  s.Flip = I32(IntParam(p, 4, 1));
}

void TDDOFXGfx::DefineSequence(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0);
  if (n < 1 || n > kSequences) return;
  TGfxSequence& s = Sequences[size_t(n)];
  s = TGfxSequence{};
  s.Kind = 2;
  s.X = I32(IntParam(p, 1, 0));
  s.Y = I32(IntParam(p, 2, 0));
  s.Margin = std::max<int32_t>(I32(IntParam(p, 3, 0)), 0);
  s.FirstSprite = ddofxtext::Upper(ddofxtext::Trim(StrParam(p, 4))) == "NONE" ? -1 : FindSprite(StrParam(p, 4));
  s.LastSprite = std::max(FindSprite(StrParam(p, 5)), s.FirstSprite);
  s.Mode = I32(IntParam(p, 6, 1));
  s.Flip = I32(IntParam(p, 7, 1));
  SequenceCount = std::max(SequenceCount, int32_t(n));
}

void TDDOFXGfx::ClearSingleSequences() {
  for (int32_t k = 1; k <= SequenceCount; ++k)
    if (Sequences[size_t(k)].Kind == 1) Sequences[size_t(k)] = TGfxSequence{};
  while (SequenceCount > 0 && Sequences[size_t(SequenceCount)].Kind == 0) --SequenceCount;
}

void TDDOFXGfx::ClearAllSequences() {
  for (int32_t k = 1; k <= SequenceCount; ++k) Sequences[size_t(k)] = TGfxSequence{};
  SequenceCount = 0;
}

void TDDOFXGfx::SpriteSequence() {
  struct TPart {
    int Slot, Sprite;
    int64_t Left, Top, Right, Bottom;  // clipped to the page
  };
  std::vector<TPart> parts;
  for (int32_t k = 1; k <= SequenceCount; ++k) {
    TGfxSequence& s = Sequences[size_t(k)];
    if (s.Kind == 0 || s.FirstSprite < 0) continue;
    int64_t index = s.FirstSprite;
    if (s.Kind == 2) {
      const int32_t count = int32_t(std::min<int64_t>(int64_t(s.LastSprite) - s.FirstSprite + 1, INT32_MAX));
      if (count > 1) {
        if (s.Mode == 2)
          Bounce(s.Step, s.Dir, count);
        else
          s.Step = int32_t((int64_t(s.Step) + 1) % count);
      }
      index = s.FirstSprite + std::clamp<int64_t>(s.Step, 0, std::max(count - 1, 0));
    }
    if (index < 0 || size_t(index) >= Sprites.size() || Sprites[size_t(index)]->Width == 0) continue;
    const TGfxSprite& sp = *Sprites[size_t(index)];
    const int64_t left = int64_t(s.X) - s.Margin, right = int64_t(s.X) + sp.Width + s.Margin - 1;
    const int64_t top = int64_t(s.Y) - sp.Height - s.Margin + 1, bottom = int64_t(s.Y) + s.Margin;
    parts.push_back({k, int(index), std::max<int64_t>(left, 0), std::max<int64_t>(top, 0),
                     std::min<int64_t>(right, kWidth - 1), std::min<int64_t>(bottom, kHeight - 1)});
  }
  auto copy = [this](int from, int to, const TPart& p) {
    if (p.Left > p.Right || p.Top > p.Bottom) return;
    const uint8_t* src = Page(from);
    uint8_t* dst = Page(to);
    if (src == dst) return;
    for (int64_t y = p.Top; y <= p.Bottom; ++y)
      std::copy(src + y * kWidth + p.Left, src + y * kWidth + p.Right + 1, dst + y * kWidth + p.Left);
  };
  for (const TPart& p : parts) copy(2, 1, p);
  for (const TPart& p : parts) {
    const TGfxSequence& s = Sequences[size_t(p.Slot)];
    BlitSprite(Page(1), p.Sprite, s.X, s.Y, true, true, s.Flip == 2);
  }
  for (const TPart& p : parts) {
    copy(1, 0, p);
    copy(1, 3, p);
  }
  Dirty = true;
}
