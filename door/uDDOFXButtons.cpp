// The door's sprite gadgets: push buttons (a down face for 170 ms when
// pressed), radio buttons and check boxes (with exclusive groups and a
// flood-filled state mark), and icons (animations that open and close).
// A gadget that is worked hands its send text and macro to the gadget
// callback; which gadget a click or key reaches is the mouse unit's.
#include <algorithm>
#include <cctype>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr uint64_t kButtonDownMs = 170;

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool ValidGadget(int64_t n) { return n >= 1 && n <= kGadgets; }

}  // namespace

void TDDOFXGfx::FireGadget(const std::string& send, const std::string& macro) {
  if (send.empty() && macro.empty()) return;
  // Copies: the macro replayed by the callback may redefine the gadget
  // these texts belong to.
  const std::string sendCopy = send, macroCopy = macro;
  if (OnGadget) OnGadget(sendCopy, macroCopy);
  Dirty = true;
}

std::string TDDOFXGfx::UnescapeSendText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '^' && i + 1 < text.size()) {
      const int next = std::toupper(static_cast<unsigned char>(text[i + 1]));
      if (next >= 64 && next <= 95) {
        out += char(next - 64);
        ++i;
        continue;
      }
    }
    out += c == '~' ? ',' : c;
  }
  return out;
}

bool TDDOFXGfx::SpriteRect(int sprite, int64_t x, int64_t y, TGfxRect& r) const {
  if (sprite < 0 || size_t(sprite) >= Sprites.size()) return false;
  const TGfxSprite& s = *Sprites[size_t(sprite)];
  if (s.Width <= 0 || s.Height <= 0) return false;
  r.X1 = I32(x);
  r.Y1 = I32(y - s.Height + 1);
  r.X2 = I32(x + s.Width - 1);
  r.Y2 = I32(y);
  return true;
}

bool TDDOFXGfx::PointInRect(const TGfxRect& r, int64_t x, int64_t y) {
  return x >= r.X1 && x <= r.X2 && y >= r.Y1 && y <= r.Y2;
}

// --- Push buttons ---------------------------------------------------------------

void TDDOFXGfx::DefinePushButton(const TParams& p) {
  const int64_t n = IntParam(p, 0, 0);
  if (n == 0) {
    for (auto& b : Buttons) b = TGfxButton{};
    return;
  }
  if (!ValidGadget(n)) return;
  TGfxButton b;
  b.Active = true;
  b.UpSprite = FindSprite(StrParam(p, 1));
  b.DownSprite = FindSprite(StrParam(p, 2));
  if (b.DownSprite < 0) b.DownSprite = b.UpSprite;
  b.X = I32(IntParam(p, 3, 0));
  b.Y = I32(IntParam(p, 4, 0));
  b.HotKeyHigh = I32(IntParam(p, 5, 0));
  b.HotKeyLow = I32(IntParam(p, 6, 0));
  b.PassKey = IntParam(p, 7, 0) == 1;
  b.MouseButton = I32(IntParam(p, 8, 1));
  b.SendText = UnescapeSendText(StrParam(p, 9));
  b.Macro = StrParam(p, 10);
  Buttons[size_t(n)] = b;
  if (b.UpSprite >= 0) DrawSprite(b.UpSprite, 1, b.X, b.Y, true, true, false);
}

void TDDOFXGfx::PressButton(int n) {
  if (!ValidGadget(n) || !Buttons[size_t(n)].Active) return;
  const TGfxButton& b = Buttons[size_t(n)];
  // The down face goes on page 0 only: the mirror keeps the up face.
  if (b.DownSprite >= 0) BlitSprite(Page(0), b.DownSprite, b.X, b.Y, true, true, false);
  PressedButton = n;
  PressGeneration = PageVersion;
  ButtonReleaseAt = Now + kButtonDownMs;
  Dirty = true;
  FireGadget(b.SendText, b.Macro);
}

bool TDDOFXGfx::ReleasePushButton() {
  if (PressedButton == 0 || Now < ButtonReleaseAt) return false;
  const int n = PressedButton;
  PressedButton = 0;
  if (ValidGadget(n)) {
    const TGfxButton& b = Buttons[size_t(n)];
    // A screen button does not put its face back over a page the door has
    // replaced since the press.
    if (b.Active && b.UpSprite >= 0 && WindowExists(b.Owner) && (b.Owner != 0 || PageVersion == PressGeneration)) {
      const int32_t keep = DrawWindow;
      DrawWindow = b.Owner;
      DrawSprite(b.UpSprite, 0, b.X, b.Y, true, true, false);
      DrawWindow = keep;
    }
  }
  Dirty = true;
  return true;
}

// --- Radio buttons and check boxes -----------------------------------------------

void TDDOFXGfx::DefineToggle(bool checkBox, const TParams& p) {
  std::vector<TGfxToggle>& table = checkBox ? CheckBoxes : RadioButtons;
  const int64_t n = IntParam(p, 0, 0);
  if (n == 0) {
    for (auto& t : table) t = TGfxToggle{};
    return;
  }
  if (!ValidGadget(n)) return;
  TGfxToggle t;
  t.Active = true;
  size_t k;  // the field after the faces
  if (checkBox) {
    t.SpriteA = FindSprite(StrParam(p, 1));
    t.SpriteB = FindSprite(StrParam(p, 2));
    t.DisabledSprite = FindSprite(StrParam(p, 3));
    k = 4;
  } else {
    t.FillDX = I32(IntParam(p, 1, 0));
    t.FillDY = I32(IntParam(p, 2, 0));
    t.OnColour = uint8_t(IntParam(p, 3, 0) & 0xFF);
    t.OffColour = uint8_t(IntParam(p, 4, 0) & 0xFF);
    t.SpriteA = t.SpriteB = FindSprite(StrParam(p, 5));
    t.DisabledSprite = FindSprite(StrParam(p, 6));
    k = 7;
  }
  if (t.DisabledSprite < 0) t.DisabledSprite = t.SpriteA;
  t.X = I32(IntParam(p, k, 0));
  t.Y = I32(IntParam(p, k + 1, 0));
  t.Checked = IntParam(p, k + 2, 0) == 1;
  t.Enabled = IntParam(p, k + 3, 1) == 1;
  t.Group = I32(IntParam(p, k + 4, 0));
  t.FireGroup = I32(IntParam(p, k + 5, 0));
  t.HotKeyHigh = I32(IntParam(p, k + 6, 0));
  t.HotKeyLow = I32(IntParam(p, k + 7, 0));
  t.PassKey = IntParam(p, k + 8, 0) == 1;
  t.SendText = UnescapeSendText(StrParam(p, k + 9));
  t.Macro = StrParam(p, k + 10);
  table[size_t(n)] = t;
  DrawToggle(checkBox, int(n), 1);
}

void TDDOFXGfx::DrawToggle(bool checkBox, int n, int page) {
  if (!ValidGadget(n)) return;
  const TGfxToggle& t = (checkBox ? CheckBoxes : RadioButtons)[size_t(n)];
  if (!t.Active) return;
  int face;
  if (checkBox)
    face = !t.Enabled ? t.DisabledSprite : t.Checked ? t.SpriteA : t.SpriteB;
  else
    face = t.Enabled ? t.SpriteA : t.DisabledSprite;
  DrawSprite(face, page, t.X, t.Y, true, true, false);
  TGfxRect bounds;
  if (!checkBox && t.Enabled && SpriteRect(face, t.X, t.Y, bounds)) {
    const int64_t sx = int64_t(t.X) + t.FillDX, sy = int64_t(t.Y) - t.FillDY;
    if (sx >= 0 && sx < kWidth && sy >= 0 && sy < kHeight) {
      const uint8_t mark = t.Checked ? t.OnColour : t.OffColour;
      FloodFill(page, int(sx), int(sy), mark, bounds);
      if (page == 0) FloodFill(3, int(sx), int(sy), mark, bounds);
    }
  }
  Dirty = true;
}

void TDDOFXGfx::FloodFill(int page, int x, int y, uint8_t colour, const TGfxRect& bounds) {
  if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) return;
  uint8_t* p = Page(page);
  const uint8_t target = p[y * kWidth + x];
  if (target == colour) return;
  const int64_t left = std::max<int64_t>(bounds.X1, 0), right = std::min<int64_t>(bounds.X2, kWidth - 1);
  const int64_t top = std::max<int64_t>(bounds.Y1, 0), bottom = std::min<int64_t>(bounds.Y2, kHeight - 1);
  std::vector<int32_t> stack;
  stack.reserve(256);
  stack.push_back(y * kWidth + x);
  while (!stack.empty()) {
    const int32_t at = stack.back();
    stack.pop_back();
    const int32_t px = at % kWidth, py = at / kWidth;
    if (px < left || px > right || py < top || py > bottom || p[at] != target) continue;
    p[at] = colour;
    if (px + 1 <= right) stack.push_back(at + 1);
    if (px - 1 >= left) stack.push_back(at - 1);
    if (py + 1 <= bottom) stack.push_back(at + kWidth);
    if (py - 1 >= top) stack.push_back(at - kWidth);
  }
  Dirty = true;
}

void TDDOFXGfx::ClickToggle(bool checkBox, int n) {
  if (!ValidGadget(n)) return;
  std::vector<TGfxToggle>& table = checkBox ? CheckBoxes : RadioButtons;
  TGfxToggle& t = table[size_t(n)];
  if (!t.Active || !t.Enabled) return;
  if (t.Group > 0) {
    // A checked member of a group is not unchecked by clicking it.
    if (t.Checked) return;
    for (int j = 1; j <= kGadgets; ++j) {
      TGfxToggle& other = table[size_t(j)];
      if (j != n && other.Active && other.Group == t.Group && other.Checked) {
        other.Checked = false;
        DrawToggle(checkBox, j, 0);
      }
    }
  }
  t.Checked = !t.Checked;
  DrawToggle(checkBox, n, 0);
}

void TDDOFXGfx::FireToggles(bool checkBox, int n) {
  if (!ValidGadget(n)) return;
  const std::vector<TGfxToggle>& table = checkBox ? CheckBoxes : RadioButtons;
  const TGfxToggle& t = table[size_t(n)];
  if (!t.Active) return;
  const int32_t group = t.Group, fireGroup = t.FireGroup;
  for (int j = 1; j <= kGadgets; ++j) {
    const TGfxToggle& other = table[size_t(j)];
    if (!other.Active || !other.Checked) continue;
    if (j == n || (group > 0 && other.Group == group) || (fireGroup > 0 && other.FireGroup == fireGroup))
      FireGadget(other.SendText, other.Macro);
  }
}

// --- Icons ----------------------------------------------------------------------

void TDDOFXGfx::OpenIcon(int n) {
  if (!ValidGadget(n)) return;
  TGfxIcon& icon = Icons[size_t(n)];
  if (!icon.Active || icon.Open) return;
  icon.Open = true;
  StopAnimation(icon.Animation);
  FireGadget(icon.OpenSend, icon.OpenMacro);
}

void TDDOFXGfx::CloseIcon(int n) {
  if (!ValidGadget(n)) return;
  TGfxIcon& icon = Icons[size_t(n)];
  if (!icon.Active) return;
  icon.Open = false;
  PlayAnimation(icon.Animation);
  FireGadget(icon.CloseSend, icon.CloseMacro);
}

bool TDDOFXGfx::IconRect(int n, TGfxRect& r) const {
  if (!ValidGadget(n)) return false;
  const TGfxIcon& icon = Icons[size_t(n)];
  if (icon.Animation < 1 || icon.Animation > kAnims || !Anims[size_t(icon.Animation)].Defined) return false;
  int x = 0, y = 0;
  AnimPosition(icon.Animation, x, y);
  return SpriteRect(Anims[size_t(icon.Animation)].FirstSprite, x, y, r);
}

// --- Commands -------------------------------------------------------------------

bool TDDOFXGfx::GadgetCommand(const TGfxCommand& c, bool& result) {
  const std::string& name = c.Name;
  TParams p;
  if (name == "5CPUSHB" || name == "5CRBUTTON" || name == "5CCHKBOX") {
    SplitParams(c.ParamText, name == "5CPUSHB" ? 11 : name == "5CRBUTTON" ? 18 : 15, p);
    if (name == "5CPUSHB")
      DefinePushButton(p);
    else
      DefineToggle(name == "5CCHKBOX", p);
    // The interpreter keeps its own list of these as well.
    result = false;
    return true;
  }
  if (name == "5EXRBTN" || name == "5EXCBOX") {
    SplitParams(c.ParamText, 0, p);
    FireToggles(name == "5EXCBOX", int(std::clamp<int64_t>(IntParam(p, 0, 0), -1, kGadgets + 1)));
    return true;
  }
  if (name == "5DERBTN" || name == "5DECBOX") {
    SplitParams(c.ParamText, 0, p);
    const int64_t n = IntParam(p, 0, 0);
    const bool checkBox = name == "5DECBOX";
    if (ValidGadget(n) && (checkBox ? CheckBoxes : RadioButtons)[size_t(n)].Active) {
      (checkBox ? CheckBoxes : RadioButtons)[size_t(n)].Enabled = IntParam(p, 1, 0) == 1;
      DrawToggle(checkBox, int(n), 0);
    }
    return true;
  }
  if (name == "2ICON") {
    SplitParams(c.ParamText, 0, p);
    const int64_t n = IntParam(p, 0, 0), anim = IntParam(p, 4, 0);
    if (n == 0) {
      for (auto& icon : Icons) icon = TGfxIcon{};
    } else if (ValidGadget(n) && anim >= 1 && anim <= kAnims && Anims[size_t(anim)].Defined) {
      TGfxAnim& a = Anims[size_t(anim)];
      a.X = I32(IntParam(p, 1, 0));
      a.Y = I32(IntParam(p, 2, 0));
      a.FirstPath = a.LastPath = 0;
      a.PathMode = 0;
      TGfxIcon& icon = Icons[size_t(n)];
      icon.Active = true;
      icon.Open = false;
      icon.Animation = int32_t(anim);
      PlayAnimation(int(anim));
    }
    return true;
  }
  if (name == "2ICONO" || name == "2ICONC" || name == "2ICOND") {
    SplitParams(c.ParamText, 3, p);
    const int64_t n = IntParam(p, 0, 0);
    if (ValidGadget(n)) {
      TGfxIcon& icon = Icons[size_t(n)];
      const std::string send = UnescapeSendText(StrParam(p, 1)), macro = StrParam(p, 2);
      if (name == "2ICONO") {
        icon.OpenSend = send;
        icon.OpenMacro = macro;
      } else if (name == "2ICONC") {
        icon.CloseSend = send;
        icon.CloseMacro = macro;
      } else {
        icon.ActionSend = send;
        icon.ActionMacro = macro;
      }
    }
    return true;
  }
  if (name == "2OICON" || name == "2CICON" || name == "2DICON" || name == "2KICON") {
    SplitParams(c.ParamText, 0, p);
    const int64_t n = IntParam(p, 0, 0);
    if (!ValidGadget(n)) return true;
    if (name == "2OICON")
      OpenIcon(int(n));
    else if (name == "2CICON")
      CloseIcon(int(n));
    else if (name == "2DICON") {
      if (Icons[size_t(n)].Active) FireGadget(Icons[size_t(n)].ActionSend, Icons[size_t(n)].ActionMacro);
    } else
      Icons[size_t(n)].Active = false;
    return true;
  }
  return false;
}
