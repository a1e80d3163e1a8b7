// Graphics windows: up to ten movable windows over the door picture, each
// with a private 640 x 480 canvas (and mirror) shown scrolled in a client
// area, and unless frameless a grey frame with a title bar, title buttons,
// scroll arrows and a resize grip drawn here in palette colours nearest to
// fixed greys. While a window is the drawing target, drawing goes into its
// canvas and new objects belong to it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr size_t kTitleMax = 60;

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool ValidWin(int64_t n) { return n >= 1 && n <= kGraphicsWindows; }

// The rectangle from parameters first..first+3 (x1, x2, y1, y2): ordered,
// clamped to the screen, and for a framed window at least 41 pixels each
// way where the screen allows.
void ReadWindowRect(TGfxGWin& w, const TDDOFXGfx::TParams& p, size_t first) {
  int64_t x1 = TDDOFXGfx::IntParam(p, first, 0), x2 = TDDOFXGfx::IntParam(p, first + 1, 0);
  int64_t y1 = TDDOFXGfx::IntParam(p, first + 2, 0), y2 = TDDOFXGfx::IntParam(p, first + 3, 0);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::clamp<int64_t>(x1, 0, kWidth - 1);
  x2 = std::clamp<int64_t>(x2, x1, kWidth - 1);
  y1 = std::clamp<int64_t>(y1, 0, kHeight - 1);
  y2 = std::clamp<int64_t>(y2, y1, kHeight - 1);
  if (!w.Frameless) {
    x2 = std::max(x2, std::min<int64_t>(x1 + 40, kWidth - 1));
    y2 = std::max(y2, std::min<int64_t>(y1 + 40, kHeight - 1));
  }
  w.X1 = int32_t(x1);
  w.X2 = int32_t(x2);
  w.Y1 = int32_t(y1);
  w.Y2 = int32_t(y2);
}

void Plot(uint8_t* buf, int64_t x, int64_t y, uint8_t c) {
  if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) buf[y * kWidth + x] = c;
}

void Fill(uint8_t* buf, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t c) {
  x1 = std::max<int64_t>(x1, 0);
  y1 = std::max<int64_t>(y1, 0);
  x2 = std::min<int64_t>(x2, kWidth - 1);
  y2 = std::min<int64_t>(y2, kHeight - 1);
  for (int64_t y = y1; y <= y2; ++y)
    if (x1 <= x2) std::memset(buf + y * kWidth + x1, c, size_t(x2 - x1 + 1));
}

// Bresenham between two points inside (or near) the screen.
void Line(uint8_t* buf, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t c) {
  const int64_t dx = x2 > x1 ? x2 - x1 : x1 - x2, dy = -(y2 > y1 ? y2 - y1 : y1 - y2);
  const int64_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int64_t err = dx + dy;
  for (;;) {
    Plot(buf, x1, y1, c);
    if (x1 == x2 && y1 == y2) break;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x1 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y1 += sy;
    }
  }
}

struct TFrameColours {
  uint8_t Face, Light, Shadow, Black, Grey, TitleText, TitleBar;
};

void RaisedFace(uint8_t* buf, int64_t x, int64_t y, const TFrameColours& c) {
  Fill(buf, x, y, x + 15, y + 13, c.Face);
  Line(buf, x, y, x + 15, y, c.Light);
  Line(buf, x, y, x, y + 13, c.Light);
  Line(buf, x, y + 13, x + 15, y + 13, c.Shadow);
  Line(buf, x + 15, y, x + 15, y + 13, c.Shadow);
}

}  // namespace

bool TDDOFXGfx::WindowExists(int n) const {
  return n == 0 || (ValidWin(n) && GraphicsWindows[size_t(n)].Defined);
}

bool TDDOFXGfx::WindowVisible(int n) const {
  return n == 0 || (ValidWin(n) && GraphicsWindows[size_t(n)].Defined && !GraphicsWindows[size_t(n)].Hidden);
}

TGfxRect TDDOFXGfx::ClientRect(int n) const {
  const TGfxGWin& w = GraphicsWindows[size_t(n)];
  if (w.Frameless) return TGfxRect{w.X1, w.Y1, w.X2, w.Y2};
  return TGfxRect{w.X1 + 12, w.Y1 + 20, w.X2 - 12, w.Y2 - 14};
}

void TDDOFXGfx::ClampScroll(int n) {
  TGfxGWin& w = GraphicsWindows[size_t(n)];
  const TGfxRect c = ClientRect(n);
  const int64_t cw = int64_t(c.X2) - c.X1 + 1, ch = int64_t(c.Y2) - c.Y1 + 1;
  w.ScrollX = I32(std::max<int64_t>(0, std::min<int64_t>(w.ScrollX, w.ContentWidth - cw)));
  w.ScrollY = I32(std::max<int64_t>(0, std::min<int64_t>(w.ScrollY, w.ContentHeight - ch)));
}

int TDDOFXGfx::TitleButtonX(int n, int kind) const {
  const TGfxGWin& w = GraphicsWindows[size_t(n)];
  static const int kOrder[] = {2, 5, 4, 3};
  int x = w.X2 - 20;
  for (int k : kOrder) {
    const bool shown = k == 2 || (k == 5 && w.NoMaximise == 0) || (k == 4 && w.NoHome == 0) ||
                       (k == 3 && w.Icon > 0 && w.NoMinimise == 0);
    if (!shown) continue;
    if (x < w.X1 + 4) return -1;
    if (k == kind) return x;
    x -= 18;
  }
  return -1;
}

bool TDDOFXGfx::NeedsScrollBar(int n, bool vertical) const {
  const TGfxGWin& w = GraphicsWindows[size_t(n)];
  if (w.Frameless) return false;
  const TGfxRect c = ClientRect(n);
  if (vertical) {
    const int64_t h = int64_t(c.Y2) - c.Y1 + 1;
    return w.NoVScroll == 0 && h < w.ContentHeight && h - 1 >= 30;
  }
  const int64_t wd = int64_t(c.X2) - c.X1 + 1;
  return w.NoHScroll == 0 && wd < w.ContentWidth && wd - 1 >= 30;
}

int TDDOFXGfx::WindowAt(int x, int y, int& part, int& localX, int& localY) const {
  part = -1;
  localX = localY = 0;
  auto test = [&](int n) {
    if (!ValidWin(n) || !WindowVisible(n)) return false;
    const TGfxGWin& w = GraphicsWindows[size_t(n)];
    if (x < w.X1 || x > w.X2 || y < w.Y1 || y > w.Y2) return false;
    const TGfxRect c = ClientRect(n);
    part = -1;
    if (x >= c.X1 && x <= c.X2 && y >= c.Y1 && y <= c.Y2) {
      part = 0;
      localX = x + w.ScrollX - c.X1;
      localY = y + w.ScrollY - c.Y1;
    } else if (!w.Frameless && y < c.Y1) {
      part = 1;
      if (y >= w.Y1 + 3 && y <= w.Y1 + 16)
        for (int kind : {2, 3, 4, 5}) {
          const int bx = TitleButtonX(n, kind);
          if (bx >= 0 && x >= bx && x <= bx + 15) {
            part = kind;
            break;
          }
        }
    } else if (x > c.X2 && y > c.Y2) {
      part = 6;
    } else if (x > c.X2 && NeedsScrollBar(n, true)) {
      if (y <= c.Y1 + 11)
        part = 7;
      else if (y >= c.Y2 - 11)
        part = 8;
    } else if (y > c.Y2 && NeedsScrollBar(n, false)) {
      if (x <= c.X1 + 11)
        part = 9;
      else if (x >= c.X2 - 11)
        part = 10;
    }
    return true;
  };
  if (ActiveWindow > 0 && test(ActiveWindow)) return ActiveWindow;
  for (int n = kGraphicsWindows; n >= 1; --n)
    if (n != ActiveWindow && test(n)) return n;
  part = -1;
  return 0;
}

void TDDOFXGfx::ToggleMaximise(int n) {
  if (!ValidWin(n) || !GraphicsWindows[size_t(n)].Defined) return;
  TGfxGWin& w = GraphicsWindows[size_t(n)];
  if (w.Maximised) {
    w.X1 = w.SavedX1;
    w.X2 = w.SavedX2;
    w.Y1 = w.SavedY1;
    w.Y2 = w.SavedY2;
    w.Maximised = false;
  } else {
    w.SavedX1 = w.X1;
    w.SavedX2 = w.X2;
    w.SavedY1 = w.Y1;
    w.SavedY2 = w.Y2;
    w.X1 = w.Y1 = 0;
    w.X2 = std::min(w.Frameless ? w.ContentWidth - 1 : w.ContentWidth + 23, kWidth - 1);
    w.Y2 = std::min(w.Frameless ? w.ContentHeight - 1 : w.ContentHeight + 33, kHeight - 1);
    w.Maximised = true;
  }
  ClampScroll(n);
  Dirty = true;
}

void TDDOFXGfx::RestoreWindowRect(int n) {
  if (!ValidWin(n) || !GraphicsWindows[size_t(n)].Defined) return;
  TGfxGWin& w = GraphicsWindows[size_t(n)];
  w.X1 = w.HomeX1;
  w.X2 = w.HomeX2;
  w.Y1 = w.HomeY1;
  w.Y2 = w.HomeY2;
  w.Maximised = false;
  ClampScroll(n);
  Dirty = true;
}

void TDDOFXGfx::CloseGraphicsWindow(int n) {
  if (!ValidWin(n)) return;
  GraphicsWindows[size_t(n)] = TGfxGWin{};
  for (int32_t* field : {&ActiveWindow, &OwnerWindow, &DrawWindow, &DragWindow})
    if (*field == n) *field = 0;
  Dirty = true;
}

uint8_t TDDOFXGfx::NearestColour(int r, int g, int b) const {
  int best = 0;
  int64_t bestDistance = INT64_MAX;
  for (int i = 0; i < 256; ++i) {
    const int64_t dr = Palette[size_t(i * 3)] - r, dg = Palette[size_t(i * 3 + 1)] - g,
                  db = Palette[size_t(i * 3 + 2)] - b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
      if (d == 0) break;
    }
  }
  return uint8_t(best);
}

void TDDOFXGfx::StampOwner(const TGfxCommand& c) {
  TParams p;
  SplitParams(c.ParamText, 2, p);
  const int64_t n = IntParam(p, 0, 0);
  if (n <= 0) return;
  const int32_t owner = OwnerWindow;
  if (c.Name == "2ANIM") {
    if (n <= kAnims) Anims[size_t(n)].Owner = owner;
    return;
  }
  if (n > kGadgets) return;
  if (c.Name == "2ICON")
    Icons[size_t(n)].Owner = owner;
  else if (c.Name == "3MREG" || c.Name == "3MREGN")
    Regions[size_t(n)].Owner = owner;
  else if (c.Name == "3MFLD")
    MouseFields[size_t(n)].Owner = owner;
  else if (c.Name == "5CPUSHB")
    Buttons[size_t(n)].Owner = owner;
  else if (c.Name == "5CRBUTTON")
    RadioButtons[size_t(n)].Owner = owner;
  else if (c.Name == "5CCHKBOX")
    CheckBoxes[size_t(n)].Owner = owner;
  else if (c.Name == "5CLBOX")
    ListBoxes[size_t(n)].Owner = owner;
}

void TDDOFXGfx::PaintGraphicsWindow(int n, uint8_t* work) {
  if (!ValidWin(n)) return;
  const TGfxGWin& w = GraphicsWindows[size_t(n)];
  if (!w.Defined || w.Canvas.size() < size_t(kPageSize)) return;
  std::vector<uint8_t> scratch(w.Canvas);
  for (int32_t a : PlayList) {
    if (a < 1 || a > kAnims) continue;
    const TGfxAnim& anim = Anims[size_t(a)];
    if (!anim.Playing || anim.Owner != n || anim.LastSprite < anim.FirstSprite) continue;
    int x = 0, y = 0;
    AnimPosition(a, x, y);
    const int64_t frame = int64_t(anim.FirstSprite) +
                          std::clamp<int64_t>(anim.FrameOffset, 0, int64_t(anim.LastSprite) - anim.FirstSprite);
    BlitSprite(scratch.data(), int(frame), x, y, anim.DrawMode != 0, anim.DrawMode != 0, anim.DrawMode == 2);
  }
  DrawMusicBars(n, scratch.data());
  const TGfxRect c = ClientRect(n);
  for (int64_t y = std::max<int64_t>(c.Y1, 0); y <= std::min<int64_t>(c.Y2, kHeight - 1); ++y) {
    const int64_t sy = y + w.ScrollY - c.Y1;
    if (sy < 0 || sy >= kHeight) continue;
    for (int64_t x = std::max<int64_t>(c.X1, 0); x <= std::min<int64_t>(c.X2, kWidth - 1); ++x) {
      const int64_t sx = x + w.ScrollX - c.X1;
      if (sx >= 0 && sx < kWidth) work[y * kWidth + x] = scratch[size_t(sy * kWidth + sx)];
    }
  }
  if (w.Frameless) return;
  const bool active = n == ActiveWindow;
  const TFrameColours col{NearestColour(42, 42, 42), NearestColour(63, 63, 63), NearestColour(21, 21, 21),
                          NearestColour(0, 0, 0),    NearestColour(32, 32, 32), NearestColour(63, 63, 21),
                          active ? NearestColour(42, 0, 0) : NearestColour(0, 0, 42)};
  const int64_t X1 = w.X1, X2 = w.X2, Y1 = w.Y1, Y2 = w.Y2;
  // The frame bands, edge lines and the sunken bevel round the client area.
  Fill(work, X1, Y1, X2, c.Y1 - 1, col.Face);
  Fill(work, X1, c.Y2 + 1, X2, Y2, col.Face);
  Fill(work, X1, c.Y1, c.X1 - 1, c.Y2, col.Face);
  Fill(work, c.X2 + 1, c.Y1, X2, c.Y2, col.Face);
  Line(work, X1, Y1, X2, Y1, col.Light);
  Line(work, X1, Y1, X1, Y2, col.Light);
  Line(work, X2, Y1, X2, Y2, col.Black);
  Line(work, X1, Y2, X2, Y2, col.Black);
  Line(work, X1 + 1, Y2 - 1, X2 - 1, Y2 - 1, col.Shadow);
  Line(work, X2 - 1, Y1 + 1, X2 - 1, Y2 - 1, col.Shadow);
  Line(work, c.X1 - 1, c.Y1 - 1, c.X2 + 1, c.Y1 - 1, col.Shadow);
  Line(work, c.X1 - 1, c.Y1 - 1, c.X1 - 1, c.Y2 + 1, col.Shadow);
  Line(work, c.X1 - 1, c.Y2 + 1, c.X2 + 1, c.Y2 + 1, col.Light);
  Line(work, c.X2 + 1, c.Y1 - 1, c.X2 + 1, c.Y2 + 1, col.Light);
  // Title bar and title.
  Fill(work, X1 + 3, Y1 + 2, X2 - 3, Y1 + 17, col.TitleBar);
  int64_t limit = X2 - 4;
  for (int kind : {2, 5, 4, 3}) {
    const int bx = TitleButtonX(n, kind);
    if (bx >= 0) limit = std::min<int64_t>(limit, bx - 2);
  }
  for (size_t i = 0; i < w.Title.size(); ++i) {
    const int64_t x = X1 + 6 + int64_t(i) * 8;
    if (x + 7 > limit) break;
    DrawGlyph(work, TextFont.data(), 8, 16, int(x), int(Y1 + 2), uint8_t(w.Title[i]), col.TitleText, -1);
  }
  // Title buttons.
  const int64_t t = Y1;
  for (int kind : {2, 5, 4, 3}) {
    const int bx = TitleButtonX(n, kind);
    if (bx < 0) continue;
    RaisedFace(work, bx, t + 3, col);
    if (kind == 2) {
      const uint8_t ink = w.CloseSend.empty() && w.CloseMacro.empty() ? col.Grey : col.Black;
      Line(work, bx + 4, t + 6, bx + 11, t + 13, ink);
      Line(work, bx + 5, t + 6, bx + 12, t + 13, ink);
      Line(work, bx + 11, t + 6, bx + 4, t + 13, ink);
      Line(work, bx + 12, t + 6, bx + 5, t + 13, ink);
    } else if (kind == 5) {
      int64_t e = bx + 12, a = t + 5;
      if (w.Maximised) {
        Fill(work, bx + 6, t + 6, bx + 12, t + 7, col.Black);
        Line(work, bx + 12, t + 6, bx + 12, t + 11, col.Black);
        e = bx + 9;
        a = t + 9;
      }
      Fill(work, bx + 3, a, e, a + 1, col.Black);
      Line(work, bx + 3, a, bx + 3, t + 13, col.Black);
      Line(work, e, a, e, t + 13, col.Black);
      Line(work, bx + 3, t + 13, e, t + 13, col.Black);
    } else if (kind == 4) {
      Line(work, bx + 3, t + 10, bx + 7, t + 6, col.Black);
      Line(work, bx + 8, t + 6, bx + 12, t + 10, col.Black);
      Line(work, bx + 4, t + 10, bx + 4, t + 13, col.Black);
      Line(work, bx + 11, t + 10, bx + 11, t + 13, col.Black);
      Line(work, bx + 4, t + 13, bx + 11, t + 13, col.Black);
    } else {
      Fill(work, bx + 4, t + 11, bx + 11, t + 12, col.Black);
    }
  }
  // Scroll arrows.
  if (NeedsScrollBar(n, true)) {
    RaisedFace(work, c.X2 + 1, c.Y1, col);
    RaisedFace(work, c.X2 + 1, c.Y2 - 11, col);
    const int64_t xc = int64_t(c.X2) + 6;
    for (int j = 0; j <= 3; ++j) {
      Line(work, xc - j, c.Y1 + 4 + j, xc + j + 1, c.Y1 + 4 + j, col.Black);
      Line(work, xc - j, c.Y2 - 4 - j, xc + j + 1, c.Y2 - 4 - j, col.Black);
    }
  }
  if (NeedsScrollBar(n, false)) {
    RaisedFace(work, c.X1, c.Y2 + 1, col);
    RaisedFace(work, c.X2 - 15, c.Y2 + 1, col);
    const int64_t yc = int64_t(c.Y2) + 7;
    for (int j = 0; j <= 3; ++j) {
      Line(work, c.X1 + 5 + j, yc - j, c.X1 + 5 + j, yc + j + 1, col.Black);
      Line(work, c.X2 - 5 - j, yc - j, c.X2 - 5 - j, yc + j + 1, col.Black);
    }
  }
  if (w.NoResize == 0)
    for (int j = 0; j <= 8; ++j) Line(work, X2 - 2 - j, Y2 - 2, X2 - 2, Y2 - 2 - j, j % 3 == 0 ? col.Light : col.Shadow);
}

bool TDDOFXGfx::GraphicsWindowCommand(const TGfxCommand& c, bool& result) {
  const std::string& name = c.Name;
  static const char* const kWords[] = {"2GWIN",   "2DCGWIN", "2CGWIN",  "2ALERTGWIN", "2CALMGWIN", "2AGWIN",
                                       "2FGWIN",  "2HGWIN?", "2AGWIN?", "2VGWIN?",    "2SGWIN?",   "2CHGWIN",
                                       "2CHVGP",  "2CHVGPR", "2ZGWIN",  "2RGWIN",     "2RAGWIN",   "2RGWINI",
                                       "2VXY",    "7DEFBAR", "7MUSBAR", "7CLRBAR"};
  if (std::none_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return name == w; })) return false;
  result = true;
  if (name[0] == '7') {
    MusicBarCommand(c);
    return true;
  }
  TParams p;
  const int maxFields = name == "2GWIN" ? 20 : name == "2DCGWIN" ? 6 : name == "2CHGWIN" ? 14 : name == "2VXY" ? 3 : 0;
  SplitParams(c.ParamText, maxFields, p);
  const int64_t n = IntParam(p, 0, 0);
  const bool defined = ValidWin(n) && GraphicsWindows[size_t(n)].Defined;
  // The queries answer -1 for a number out of range and -2 for a window
  // that is not open.
  auto checked = [&]() {
    if (!ValidWin(n)) {
      ForwardReply("-1");
      return false;
    }
    if (!defined) {
      ForwardReply("-2");
      return false;
    }
    return true;
  };
  if (name == "2GWIN") {
    if (n == 0) {
      for (int k = 1; k <= kGraphicsWindows; ++k) CloseGraphicsWindow(k);
      return true;
    }
    if (!ValidWin(n)) return true;
    TGfxGWin w;
    w.Frameless = IntParam(p, 18, 0) == 1;
    ReadWindowRect(w, p, 1);
    w.HomeX1 = w.SavedX1 = w.X1;
    w.HomeX2 = w.SavedX2 = w.X2;
    w.HomeY1 = w.SavedY1 = w.Y1;
    w.HomeY2 = w.SavedY2 = w.Y2;
    w.ContentWidth = int32_t(std::clamp<int64_t>(IntParam(p, 5, kWidth), 1, kWidth));
    w.ContentHeight = int32_t(std::clamp<int64_t>(IntParam(p, 6, kHeight), 1, kHeight));
    w.Icon = I32(IntParam(p, 7, 0));
    w.Hidden = IntParam(p, 9, 0) == 1;
    w.Fixed = I32(IntParam(p, 10, 0));
    w.NoResize = I32(IntParam(p, 11, 0));
    w.NoMaximise = I32(IntParam(p, 12, 0));
    w.NoHome = I32(IntParam(p, 13, 0));
    w.NoMinimise = I32(IntParam(p, 14, 0));
    w.NoHScroll = I32(IntParam(p, 15, 0));
    w.NoVScroll = I32(IntParam(p, 16, 0));
    w.Title = StrParam(p, 18).substr(0, kTitleMax);
    w.Canvas.assign(size_t(kPageSize), 0);
    w.Mirror.assign(size_t(kPageSize), 0);
    w.Defined = true;
    GraphicsWindows[size_t(n)] = std::move(w);
    if (IntParam(p, 8, 0) == 1) ActiveWindow = int32_t(n);
    ClampScroll(int(n));
    Dirty = true;
  } else if (name == "2DCGWIN") {
    if (!defined) return true;
    TGfxGWin& w = GraphicsWindows[size_t(n)];
    w.HotKeyHigh = I32(IntParam(p, 1, 0));
    w.HotKeyLow = I32(IntParam(p, 2, 0));
    w.PassKey = IntParam(p, 3, 0) == 1;
    w.CloseSend = UnescapeSendText(StrParam(p, 4));
    w.CloseMacro = StrParam(p, 5);
    Dirty = true;
  } else if (name == "2CGWIN") {
    CloseGraphicsWindow(int(std::clamp<int64_t>(n, 0, kGraphicsWindows + 1)));
  } else if (name == "2ALERTGWIN") {
    if (defined) OwnerWindow = DrawWindow = int32_t(n);
  } else if (name == "2CALMGWIN") {
    OwnerWindow = DrawWindow = 0;
  } else if (name == "2AGWIN") {
    if (n == 0 || defined) ActiveWindow = int32_t(n);
    Dirty = true;
  } else if (name == "2FGWIN") {
    ForwardReply(std::to_string(ActiveWindow));
  } else if (name == "2HGWIN?") {
    if (checked()) ForwardReply(GraphicsWindows[size_t(n)].Hidden ? "Y" : "N");
  } else if (name == "2AGWIN?") {
    if (checked()) ForwardReply(ActiveWindow == n ? "Y" : "N");
  } else if (name == "2VGWIN?") {
    ForwardReply(!ValidWin(n) ? "-1" : defined ? "Y" : "N");
  } else if (name == "2SGWIN?") {
    if (checked()) {
      const TGfxGWin& w = GraphicsWindows[size_t(n)];
      char text[96];
      std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", w.X1, w.X2, w.Y1, w.Y2, w.ScrollX, w.ScrollY);
      ForwardReply(text);
    }
  } else if (name == "2CHGWIN") {
    if (!defined) return true;
    TGfxGWin& w = GraphicsWindows[size_t(n)];
    ReadWindowRect(w, p, 1);
    w.Maximised = false;
    w.Hidden = IntParam(p, 5, 0) == 1;
    w.Fixed = I32(IntParam(p, 6, 0));
    w.NoResize = I32(IntParam(p, 7, 0));
    w.NoMaximise = I32(IntParam(p, 8, 0));
    w.NoHome = I32(IntParam(p, 9, 0));
    w.NoMinimise = I32(IntParam(p, 10, 0));
    w.NoHScroll = I32(IntParam(p, 11, 0));
    w.NoVScroll = I32(IntParam(p, 12, 0));
    w.Title = StrParam(p, 13).substr(0, kTitleMax);
    ClampScroll(int(n));
    Dirty = true;
  } else if (name == "2CHVGP" || name == "2CHVGPR") {
    if (!defined) return true;
    TGfxGWin& w = GraphicsWindows[size_t(n)];
    const int32_t oldX = w.ScrollX, oldY = w.ScrollY;
    const int64_t x = IntParam(p, 1, 0), y = IntParam(p, 2, 0);
    w.ScrollX = I32(name == "2CHVGP" ? x : int64_t(oldX) + x);
    w.ScrollY = I32(name == "2CHVGP" ? y : int64_t(oldY) + y);
    const int32_t wantX = w.ScrollX, wantY = w.ScrollY;
    ClampScroll(int(n));
    // An absolute position the content cannot show leaves the view where
    // it was.
    if (name == "2CHVGP" && (w.ScrollX != wantX || w.ScrollY != wantY)) {
      w.ScrollX = oldX;
      w.ScrollY = oldY;
    }
    Dirty = true;
  } else if (name == "2ZGWIN") {
    ToggleMaximise(int(std::clamp<int64_t>(n, 0, kGraphicsWindows + 1)));
  } else if (name == "2RGWIN") {
    if (c.Text.find(',') != std::string::npos) RestoreWindowRect(int(std::clamp<int64_t>(n, 0, kGraphicsWindows + 1)));
    Dirty = true;
  } else if (name == "2RAGWIN") {
    for (int k = 1; k <= kGraphicsWindows; ++k) RestoreWindowRect(k);
    Dirty = true;
  } else if (name == "2RGWINI") {
    Dirty = true;
  } else if (name == "2VXY") {
    if (OwnerWindow > 0) LoadPcx(Trim(StrParam(p, 2)), 0, I32(IntParam(p, 0, 0)), I32(IntParam(p, 1, 0)));
  }
  return true;
}
