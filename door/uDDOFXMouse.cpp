// The door's mouse and keys: a press travels through the graphics windows
// (title bands drag, grips resize, title buttons act) to the gadgets of the
// level it lands on; hovering fires mouse fields and switches the door's
// own pointers; gadget hot keys; mouse regions that repeat while held;
// collision regions that fire when an animation enters them; and the
// door's 16 x 16 pointers.
#include <algorithm>
#include <cctype>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr uint64_t kRegionFirstRepeatMs = 400;
constexpr uint64_t kCollisionGapMs = 100;
constexpr size_t kPointerFileBytes = 4096;
constexpr size_t kSmallPointerBytes = 68, kFullPointerBytes = 516;

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

bool Inside(int64_t x, int64_t y, int64_t x1, int64_t x2, int64_t y1, int64_t y2) {
  return x >= x1 && x <= x2 && y >= y1 && y <= y2;
}

uint16_t Le16(const std::string& d, size_t at) {
  return uint16_t(uint8_t(d[at]) | (uint16_t(uint8_t(d[at + 1])) << 8));
}

}  // namespace

bool TDDOFXGfx::IsDraggingWindow() const { return DragWindow > 0; }

bool TDDOFXGfx::HasCustomPointer() const {
  return FGraphicsMode && CurrentPointer >= 1 && CurrentPointer <= kPointers && Pointers[size_t(CurrentPointer)].Loaded;
}

bool TDDOFXGfx::KeyMatches(int hkey, int lkey, int high, int low) {
  if (low != 0) return lkey == low;
  return lkey == 0 && high != 0 && hkey == high;
}

// --- Presses ------------------------------------------------------------------

bool TDDOFXGfx::MouseDown(int x, int y, int button) {
  HeldRegions.clear();
  if (!FGraphicsMode || FadeOut) return false;
  RefreshWindows();
  int part = -1, lx = 0, ly = 0;
  const int n = WindowAt(x, y, part, lx, ly);
  if (n == 0) return DispatchClick(x, y, 0, button);
  if (ActiveWindow != n) {
    ActiveWindow = n;
    Dirty = true;
  }
  TGfxGWin& w = GraphicsWindows[size_t(n)];
  if (part == 0) {
    const int32_t keep = DrawWindow;
    DrawWindow = n;
    DispatchClick(lx, ly, n, button);
    DrawWindow = WindowExists(keep) ? keep : 0;
  } else if (button == 1) {
    switch (part) {
      case 1:
        if (w.Fixed == 0) {
          DragWindow = n;
          DragDX = x - w.X1;
          DragDY = y - w.Y1;
          DragResize = false;
        }
        break;
      case 2: FireGadget(w.CloseSend, w.CloseMacro); break;
      case 3:
        if (w.Icon > 0) CloseIcon(w.Icon);
        break;
      case 4: RestoreWindowRect(n); break;
      case 5: ToggleMaximise(n); break;
      case 6:
        if (w.NoResize == 0) {
          DragWindow = n;
          DragDX = w.X2 - x;
          DragDY = w.Y2 - y;
          DragResize = true;
        }
        break;
      case 7:
      case 8:
      case 9:
      case 10:
        if (part <= 8)
          w.ScrollY += part == 7 ? -16 : 16;
        else
          w.ScrollX += part == 9 ? -16 : 16;
        ClampScroll(n);
        break;
      default: break;
    }
  }
  Dirty = true;
  return true;
}

bool TDDOFXGfx::DispatchClick(int x, int y, int level, int button) {
  HitWindow = level;
  bool taken = false;
  if (button == 1 && level == 0)
    for (int n = 1; n <= kFields; ++n) {
      const TGfxField& f = Fields[size_t(n)];
      if (f.Defined && Inside(x, y, f.X, int64_t(f.X) + int64_t(f.Width) * 8 + 7, int64_t(f.Y) - 17, f.Y)) {
        if (OnFieldClick) OnFieldClick(n);
        Dirty = true;
        return true;
      }
    }
  TGfxRect r;
  for (int n = 1; n <= kGadgets; ++n) {
    const TGfxButton& b = Buttons[size_t(n)];
    if (b.Active && b.Owner == level && b.MouseButton == button && SpriteRect(b.UpSprite, b.X, b.Y, r) &&
        PointInRect(r, x, y)) {
      PressButton(n);
      return true;
    }
  }
  if (button == 1) {
    for (int k = 0; k < 2; ++k) {
      const std::vector<TGfxToggle>& table = k == 0 ? RadioButtons : CheckBoxes;
      for (int n = 1; n <= kGadgets; ++n) {
        const TGfxToggle& t = table[size_t(n)];
        if (t.Active && t.Owner == level && SpriteRect(t.SpriteA, t.X, t.Y, r) && PointInRect(r, x, y)) {
          ClickToggle(k == 1, n);
          return true;
        }
      }
    }
    int box = 0, row = 0;
    if (ListBoxAt(level, x, y, box, row)) {
      ListBoxClick(box, row);
      return true;
    }
    for (int n = 1; n <= kGadgets; ++n) {
      const TGfxIcon& icon = Icons[size_t(n)];
      if (icon.Active && !icon.Open && icon.Owner == level && IconRect(n, r) && PointInRect(r, x, y)) {
        OpenIcon(n);
        return true;
      }
    }
  }
  for (int n = 1; n <= kRegions; ++n) {
    const TGfxRegion& g = Regions[size_t(n)];
    if (!g.Active || g.Owner != level || g.MouseButton != button || !Inside(x, y, g.X1, g.X2, g.Y1, g.Y2)) continue;
    taken = true;
    if (g.Repeat) HeldRegions.push_back(n);
    FireGadget(g.SendText, g.Macro);
  }
  if (!HeldRegions.empty()) NextRegionRepeat = Now + kRegionFirstRepeatMs;
  return taken;
}

void TDDOFXGfx::MouseUp() {
  HeldRegions.clear();
  DragWindow = 0;
}

// --- Moves and hovering ---------------------------------------------------------

bool TDDOFXGfx::MouseMove(int x, int y, bool inside) {
  bool result = CurrentPointer > 0 && (x != LastMouseX || y != LastMouseY || inside != MouseInside);
  LastMouseX = x;
  LastMouseY = y;
  MouseInside = inside;
  if (!FGraphicsMode) return result;
  if (DragWindow > 0 && inside) {
    if (DragWindow > kGraphicsWindows || !GraphicsWindows[size_t(DragWindow)].Defined) {
      DragWindow = 0;
      return result;
    }
    TGfxGWin& w = GraphicsWindows[size_t(DragWindow)];
    if (DragResize) {
      w.X2 = I32(std::max<int64_t>(std::min<int64_t>({int64_t(w.X1) + w.ContentWidth + 23, kWidth - 1,
                                                       int64_t(x) + DragDX}),
                                   int64_t(w.X1) + 60));
      w.Y2 = I32(std::max<int64_t>(std::min<int64_t>({int64_t(w.Y1) + w.ContentHeight + 33, kHeight - 1,
                                                       int64_t(y) + DragDY}),
                                   int64_t(w.Y1) + 60));
    } else {
      const int64_t width = int64_t(w.X2) - w.X1, height = int64_t(w.Y2) - w.Y1;
      w.X1 = I32(std::max<int64_t>(0, std::min<int64_t>(kWidth - 1 - width, int64_t(x) - DragDX)));
      w.Y1 = I32(std::max<int64_t>(0, std::min<int64_t>(kHeight - 1 - height, int64_t(y) - DragDY)));
      w.X2 = I32(w.X1 + width);
      w.Y2 = I32(w.Y1 + height);
    }
    w.Maximised = false;
    ClampScroll(DragWindow);
    Dirty = true;
    return true;
  }
  if (!inside) return result;
  int part = -1, lx = x, ly = y;
  const int n = WindowAt(x, y, part, lx, ly);
  if (n > 0 && part != 0) return result;
  if (n == 0) {
    lx = x;
    ly = y;
  }
  for (auto it = MouseFieldOrder.rbegin(); it != MouseFieldOrder.rend(); ++it) {
    const int32_t k = *it;
    if (k < 1 || k > kMouseFields) continue;
    const TGfxMFld& f = MouseFields[size_t(k)];
    if (!f.Active || f.Owner != n || !Inside(lx, ly, f.X1, f.X2, f.Y1, f.Y2)) continue;
    if (k != HoveredMouseField) {
      HoveredMouseField = k;
      if (f.Pointer >= 1 && f.Pointer <= kPointers && f.KeepPointer == 0 && Pointers[size_t(f.Pointer)].Loaded)
        CurrentPointer = f.Pointer;
      FireGadget(f.SendText, f.Macro);
      result = true;
    }
    break;
  }
  return result;
}

bool TDDOFXGfx::HoverTest(int x, int y, int level) const {
  TGfxRect r;
  if (level == 0)
    for (int n = 1; n <= kFields; ++n) {
      const TGfxField& f = Fields[size_t(n)];
      if (f.Defined && Inside(x, y, f.X, int64_t(f.X) + int64_t(f.Width) * 8 + 7, int64_t(f.Y) - 17, f.Y))
        return true;
    }
  int box = 0, row = 0;
  if (ListBoxAt(level, x, y, box, row)) return true;
  for (int n = 1; n <= kGadgets; ++n) {
    const TGfxButton& b = Buttons[size_t(n)];
    if (b.Active && b.Owner == level && SpriteRect(b.UpSprite, b.X, b.Y, r) && PointInRect(r, x, y)) return true;
    for (const auto* table : {&RadioButtons, &CheckBoxes}) {
      const TGfxToggle& t = (*table)[size_t(n)];
      if (t.Active && t.Owner == level && SpriteRect(t.SpriteA, t.X, t.Y, r) && PointInRect(r, x, y)) return true;
    }
    const TGfxRegion& g = Regions[size_t(n)];
    const bool wholeScreen = g.X1 == 0 && g.X2 >= kWidth - 1 && g.Y1 == 0 && g.Y2 >= kHeight - 1;
    if (g.Active && g.Owner == level && !(g.SendText.empty() && g.Macro.empty()) && !wholeScreen &&
        Inside(x, y, g.X1, g.X2, g.Y1, g.Y2))
      return true;
    const TGfxIcon& icon = Icons[size_t(n)];
    if (icon.Active && !icon.Open && icon.Owner == level && IconRect(n, r) && PointInRect(r, x, y)) return true;
  }
  return false;
}

bool TDDOFXGfx::IsOverHotspot(int x, int y) const {
  if (!FGraphicsMode || FadeOut) return false;
  int part = -1, lx = 0, ly = 0;
  const int n = WindowAt(x, y, part, lx, ly);
  if (n == 0) return HoverTest(x, y, 0);
  const TGfxGWin& w = GraphicsWindows[size_t(n)];
  switch (part) {
    case 0: return HoverTest(lx, ly, n);
    case 2: return !(w.CloseSend.empty() && w.CloseMacro.empty());
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
    case 9:
    case 10: return true;
    default: return false;
  }
}

// --- Hot keys -------------------------------------------------------------------

bool TDDOFXGfx::HotKey(int hkey, int lkey, bool& pass) {
  if (!FGraphicsMode) return false;
  // Windows in hit-test order: the active one, then 10 down to 1.
  for (int k = 0; k <= kGraphicsWindows; ++k) {
    const int n = k == 0 ? ActiveWindow : kGraphicsWindows + 1 - k;
    if (n < 1 || (k > 0 && n == ActiveWindow)) continue;
    const TGfxGWin& w = GraphicsWindows[size_t(n)];
    if (!w.Defined || (w.CloseSend.empty() && w.CloseMacro.empty())) continue;
    if (!KeyMatches(hkey, lkey, w.HotKeyHigh, w.HotKeyLow)) continue;
    pass = w.PassKey;
    FireGadget(w.CloseSend, w.CloseMacro);
    return true;
  }
  const int32_t keep = DrawWindow;
  bool taken = false;
  for (int n = 1; n <= kGadgets && !taken; ++n) {
    const TGfxButton& b = Buttons[size_t(n)];
    if (b.Active && WindowVisible(b.Owner) && KeyMatches(hkey, lkey, b.HotKeyHigh, b.HotKeyLow)) {
      DrawWindow = b.Owner;
      pass = b.PassKey;
      PressButton(n);
      taken = true;
    }
  }
  for (int k = 0; k < 2 && !taken; ++k) {
    std::vector<TGfxToggle>& table = k == 0 ? RadioButtons : CheckBoxes;
    for (int n = 1; n <= kGadgets && !taken; ++n) {
      const TGfxToggle& t = table[size_t(n)];
      if (t.Active && WindowVisible(t.Owner) && KeyMatches(hkey, lkey, t.HotKeyHigh, t.HotKeyLow)) {
        DrawWindow = t.Owner;
        pass = t.PassKey;
        ClickToggle(k == 1, n);
        taken = true;
      }
    }
  }
  DrawWindow = WindowExists(keep) ? keep : 0;
  return taken;
}

// --- Pointers -------------------------------------------------------------------

void TDDOFXGfx::LoadPointer(int n, const std::string& name) {
  if (n < 1 || n > kPointers) return;
  TGfxPointer& p = Pointers[size_t(n)];
  p = TGfxPointer{};
  std::string data;
  if (!FindAsset('M', name, data) && !ReadAsset(name, false, data)) return;
  if (data.size() > kPointerFileBytes) data.resize(kPointerFileBytes);
  if (data.size() < kSmallPointerBytes) return;
  p.HotX = std::min<int32_t>(Le16(data, 0), 15);
  p.HotY = std::min<int32_t>(Le16(data, 2), 15);
  if (data.size() >= kFullPointerBytes) {
    std::copy(data.begin() + 4, data.begin() + 260, p.Mask.begin());
    std::copy(data.begin() + 260, data.begin() + 516, p.Colours.begin());
  } else {
    for (int r = 0; r < 16; ++r) {
      const uint16_t andBits = Le16(data, size_t(4 + r * 2)), xorBits = Le16(data, size_t(36 + r * 2));
      for (int c = 0; c < 16; ++c) {
        const uint16_t bit = uint16_t(0x8000 >> c);
        p.Mask[size_t(r * 16 + c)] = (andBits & bit) ? 255 : 0;
        p.Colours[size_t(r * 16 + c)] = (xorBits & bit) ? 15 : 0;
      }
    }
  }
  p.Loaded = true;
}

// --- Collisions -----------------------------------------------------------------

void TDDOFXGfx::CheckCollisions() {
  if (FBackgroundPaused) return;
  struct THit {
    int Region, Animation;
  };
  std::vector<THit> hits;
  for (int c = 1; c <= kCollisions; ++c) {
    TGfxColl& g = Collisions[size_t(c)];
    if (!g.Active) continue;
    for (int32_t a : PlayList) {
      if (a < 1 || a > kAnims || (g.AnimFilter != 0 && g.AnimFilter != a)) continue;
      const TGfxAnim& anim = Anims[size_t(a)];
      if (!anim.Playing || anim.Owner != 0 || anim.FirstSprite < 0 || anim.LastSprite < anim.FirstSprite) continue;
      int x = 0, y = 0;
      AnimPosition(a, x, y);
      const int64_t frame = int64_t(anim.FirstSprite) +
                            std::clamp<int64_t>(anim.FrameOffset, 0, int64_t(anim.LastSprite) - anim.FirstSprite);
      TGfxRect r;
      if (!SpriteRect(int(frame), x, y, r)) continue;
      // The frame's last column and row do not count.
      if (!(g.X2 >= r.X1 && int64_t(r.X2) - 1 >= g.X1 && g.Y2 >= r.Y1 && int64_t(r.Y2) - 1 >= g.Y1)) continue;
      if (!g.OneShot && Now < g.LastFire + kCollisionGapMs) break;
      g.LastFire = Now;
      if (g.OneShot) g.Active = false;
      hits.push_back({c, a});
      break;
    }
  }
  for (const THit& h : hits) {
    const TGfxColl g = Collisions[size_t(h.Region)];
    if (OnResult) OnResult(g.SendText, g.Macro, g.Register, h.Animation);
  }
  if (!hits.empty()) Dirty = true;
}

// --- Commands -------------------------------------------------------------------

bool TDDOFXGfx::MouseCommand(const TGfxCommand& c, bool& result) {
  const std::string& name = c.Name;
  TParams p;
  if (name == "3MREG" || name == "3MREGN") {
    SplitParams(c.ParamText, 8, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n == 0) {
      for (auto& g : Regions) g.Active = false;
    } else if (n >= 1 && n <= kRegions) {
      TGfxRegion g;
      g.X1 = I32(IntParam(p, 1, 0));
      g.X2 = I32(IntParam(p, 2, 0));
      g.Y1 = I32(IntParam(p, 3, 0));
      g.Y2 = I32(IntParam(p, 4, 0));
      g.MouseButton = I32(IntParam(p, 5, 1));
      g.SendText = UnescapeSendText(StrParam(p, 6));
      g.Macro = StrParam(p, 7);
      g.Repeat = name == "3MREG";
      g.Active = g.MouseButton > 0 && g.X1 < g.X2 && g.Y1 < g.Y2;
      Regions[size_t(n)] = g;
    }
    // The interpreter keeps its own list of regions as well.
    result = false;
    return true;
  }
  if (name == "3MFLD") {
    SplitParams(c.ParamText, 9, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n == 0) {
      for (auto& f : MouseFields) f.Active = false;
      MouseFieldOrder.clear();
      HoveredMouseField = 0;
    } else if (n >= 1 && n <= kMouseFields) {
      TGfxMFld f;
      f.X1 = I32(IntParam(p, 1, 0));
      f.X2 = I32(IntParam(p, 2, 0));
      f.Y1 = I32(IntParam(p, 3, 0));
      f.Y2 = I32(IntParam(p, 4, 0));
      f.Pointer = I32(IntParam(p, 5, 0));
      f.KeepPointer = I32(IntParam(p, 6, 0));
      f.SendText = UnescapeSendText(StrParam(p, 7));
      f.Macro = StrParam(p, 8);
      f.Active = f.X1 < f.X2;
      MouseFields[size_t(n)] = f;
      if (std::find(MouseFieldOrder.begin(), MouseFieldOrder.end(), n) == MouseFieldOrder.end())
        MouseFieldOrder.push_back(int32_t(n));
      if (HoveredMouseField == n) HoveredMouseField = 0;
    }
    return true;
  }
  if (name == "3MFSWP") {
    SplitParams(c.ParamText, 0, p);
    const int64_t a = IntParam(p, 0, 0), b = IntParam(p, 1, 0);
    auto ia = std::find(MouseFieldOrder.begin(), MouseFieldOrder.end(), a);
    auto ib = std::find(MouseFieldOrder.begin(), MouseFieldOrder.end(), b);
    if (ia != MouseFieldOrder.end() && ib != MouseFieldOrder.end()) std::iter_swap(ia, ib);
    return true;
  }
  if (c.Text == "3MFFRSH") {
    HoveredMouseField = 0;
    return true;
  }
  if (name == "3MPL") {
    SplitParams(c.ParamText, 2, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n >= 1 && n <= kPointers) LoadPointer(int(n), Trim(StrParam(p, 1)));
    return true;
  }
  if (name == "3SMP") {
    SplitParams(c.ParamText, 0, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n == 0)
      CurrentPointer = 0;
    else if (n >= 1 && n <= kPointers && Pointers[size_t(n)].Loaded)
      CurrentPointer = int32_t(n);
    Dirty = true;
    return true;
  }
  if (name == "2COLL") {
    SplitParams(c.ParamText, 10, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n == 0) {
      for (auto& g : Collisions) g.Active = false;
    } else if (n >= 1 && n <= kCollisions) {
      TGfxColl g;
      g.X1 = I32(IntParam(p, 1, 0));
      g.X2 = I32(IntParam(p, 2, 0));
      g.Y1 = I32(IntParam(p, 3, 0));
      g.Y2 = I32(IntParam(p, 4, 0));
      g.OneShot = IntParam(p, 5, 0) == 1;
      g.Register = I32(IntParam(p, 6, 0));
      g.AnimFilter = I32(IntParam(p, 7, 0));
      g.SendText = StrParam(p, 8);
      g.Macro = StrParam(p, 9);
      g.LastFire = 0;
      g.Active = true;
      Collisions[size_t(n)] = g;
    }
    return true;
  }
  return false;
}
