// Painters that draw into page 0 and are taken out again by copying the
// untouched mirror page 3 back: the door's text fields (stamped into a page,
// or drawn fresh into every frame while one is being edited), the text
// windows' character grids, and the paused background, which stamps the
// screen's animations into page 0 and freezes them.
#include <algorithm>
#include <cstring>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

bool ValidField(int n) { return n >= 1 && n <= kFields; }

// Copies the rectangle (clipped to the page) from the screen's page 3 to
// its page 0.
void RestoreFromMirror(TDDOFXGfx& g, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  x1 = std::max<int64_t>(x1, 0);
  y1 = std::max<int64_t>(y1, 0);
  x2 = std::min<int64_t>(x2, kWidth - 1);
  y2 = std::min<int64_t>(y2, kHeight - 1);
  if (x1 > x2 || y1 > y2) return;
  for (int64_t y = y1; y <= y2; ++y)
    std::memcpy(g.Pages[0].data() + y * kWidth + x1, g.Pages[3].data() + y * kWidth + x1, size_t(x2 - x1 + 1));
}

}  // namespace

// --- Text fields --------------------------------------------------------------

void TDDOFXGfx::SetField(int n, const TDDOFXFieldView& view) {
  if (!ValidField(n)) return;
  TGfxField& f = Fields[size_t(n)];
  const bool wasFocused = f.Defined && f.Focused;
  const bool moved = !(f.Defined && f.X == view.X && f.Y == view.Y);
  f.Defined = view.Defined;
  f.Focused = view.Focused;
  f.X = view.X;
  f.Y = view.Y;
  f.Width = view.Width;
  f.Bg = view.Bg;
  f.FocusBg = view.FocusBg;
  f.Fg = view.Fg;
  f.FontName = view.FontName;
  f.Text = view.Text;
  f.Stamped = f.Defined && !f.Focused;
  if (f.Stamped) {
    // A field that just lost the focus keeps its last look on the screen; a
    // new or moved one goes to the work page.
    if (wasFocused)
      PaintField(Pages[0].data(), n);
    else if (moved)
      PaintField(Pages[1].data(), n);
  }
  Dirty = true;
}

void TDDOFXGfx::DrawField(int n) {
  if (!ValidField(n)) return;
  const TGfxField& f = Fields[size_t(n)];
  if (f.Defined && f.Stamped) PaintField(Pages[0].data(), n);
  Dirty = true;
}

void TDDOFXGfx::ClearFields() {
  for (auto& f : Fields) f = TGfxField{};
  Dirty = true;
}

void TDDOFXGfx::PaintField(uint8_t* buffer, int n) {
  if (!ValidField(n)) return;
  const TGfxField& f = Fields[size_t(n)];
  const int64_t x = f.X, y = f.Y, width = std::max<int64_t>(f.Width, 0);
  const uint8_t bg = f.Focused ? f.FocusBg : f.Bg;
  const int64_t top = std::max<int64_t>(0, y - 17), bottom = std::min<int64_t>(kHeight - 1, y);
  const int64_t left = std::max<int64_t>(0, x), right = std::min<int64_t>(kWidth - 1, x + (width + 1) * 8 - 1);
  if (left <= right)
    for (int64_t r = top; r <= bottom; ++r) std::memset(buffer + r * kWidth + left, bg, size_t(right - left + 1));
  const uint8_t* glyphs = LoadFont(f.FontName);
  const int64_t shown = std::min<int64_t>(int64_t(f.Text.size()), width);
  // Only the characters whose cell can reach the page are drawn.
  const int64_t first = std::max<int64_t>(0, (-x - 7) / 8);
  const int64_t last = std::min<int64_t>(shown - 1, (kWidth - 1 - x) / 8 + 1);
  if (y - 16 < kHeight && y >= -16)
    for (int64_t i = first; i <= last; ++i)
      DrawGlyph(buffer, glyphs, 8, 16, int(x + 8 * i), int(y - 16), uint8_t(f.Text[size_t(i)]), f.Fg, -1);
  if (f.Focused && int64_t(f.Text.size()) < width && y - 1 >= 0 && y - 1 < kHeight) {
    const int64_t from = std::max<int64_t>(0, x + 8 * int64_t(f.Text.size()));
    const int64_t to = std::min<int64_t>(kWidth - 1, x + 8 * int64_t(f.Text.size()) + 7);
    for (int64_t c = from; c <= to; ++c) buffer[(y - 1) * kWidth + c] = f.Fg;
  }
}

void TDDOFXGfx::PaintLiveFields(uint8_t* work) {
  for (int n = 1; n <= kFields; ++n)
    if (Fields[size_t(n)].Defined && !Fields[size_t(n)].Stamped) PaintField(work, n);
}

// --- Text windows -------------------------------------------------------------

void TDDOFXGfx::PaintTextWindow(uint8_t* buffer, int n) {
  if (n < 1 || n > kTextWindows) return;
  const TGfxWindow& w = TextWindows[size_t(n)];
  const int cw = CellWidth, ch = CellHeight;
  if (!w.Defined || w.Hidden || cw <= 0 || ch <= 0) return;
  // Cells (1-based) that lie on the page at all; nothing outside is visited.
  const int64_t maxCol = (kWidth + cw - 1) / cw, maxRow = (kHeight + ch - 1) / ch;
  const uint8_t* glyphs = LoadFont(w.FontName);
  auto put = [&](int64_t col, int64_t row, uint8_t c, int fg, int bg) {
    if (col < 1 || col > maxCol || row < 1 || row > maxRow) return;
    DrawGlyph(buffer, glyphs, cw, ch, int((col - 1) * cw), int((row - 1) * ch), c, fg, bg);
  };
  const int64_t left = w.Left, right = w.Right, top = w.Top, bottom = w.Bottom;
  int64_t originCol = left, originRow = top;
  if (w.Border) {
    const int frame = w.BorderColour & 0xFF;
    for (int64_t c = std::max<int64_t>(left, 1); c <= std::min(right, maxCol); ++c) {
      put(c, top, 205, frame, 0);
      put(c, bottom, 205, frame, 0);
    }
    for (int64_t r = std::max<int64_t>(top, 1); r <= std::min(bottom, maxRow); ++r) {
      put(left, r, 186, frame, 0);
      put(right, r, 186, frame, 0);
    }
    put(left, top, 201, frame, 0);
    put(right, top, 187, frame, 0);
    put(left, bottom, 200, frame, 0);
    put(right, bottom, 188, frame, 0);
    const int titleBg = n == CurrentTextWindow ? 4 : 1;
    for (int k = 0; k < 2; ++k) {
      const std::string& title = k == 0 ? w.TopTitle : w.BottomTitle;
      const int64_t m = std::min<int64_t>(int64_t(title.size()), right - left - 1);
      if (title.empty() || m <= 0) continue;
      const int64_t from = (right - left - m + 1) / 2 + left;
      for (int64_t i = std::max<int64_t>(0, 1 - from); i < m && from + i <= maxCol; ++i)
        put(from + i, k == 0 ? top : bottom, uint8_t(title[size_t(i)]), w.TitleColour & 0xFF, titleBg);
    }
    originCol = left + 1;
    originRow = top + 1;
  }
  const int64_t width = TextWindowWidth(w), height = TextWindowHeight(w);
  const int64_t r0 = std::max<int64_t>(0, 1 - originRow), r1 = std::min(height - 1, maxRow - originRow);
  const int64_t c0 = std::max<int64_t>(0, 1 - originCol), c1 = std::min(width - 1, maxCol - originCol);
  const bool haveCells = w.Cells.size() == size_t(kTextWindowCols * kTextWindowRows);
  for (int64_t r = r0; r <= r1; ++r)
    for (int64_t c = c0; c <= c1; ++c) {
      const int64_t gridRow = int64_t(w.ViewRow) + r - 1, gridCol = int64_t(w.ViewCol) + c - 1;
      TGfxCell cell;
      if (haveCells && gridRow >= 0 && gridRow < kTextWindowRows && gridCol >= 0 && gridCol < kTextWindowCols)
        cell = w.Cells[size_t(gridRow * kTextWindowCols + gridCol)];
      put(originCol + c, originRow + r, cell.Ch, cell.Fg, cell.Bg);
    }
}

void TDDOFXGfx::RefreshWindows() {
  if (ChangedTextWindow == 0) return;
  if (ChangedTextWindow > 0) {
    PaintTextWindow(Page(0), ChangedTextWindow);
  } else {
    for (int n = 1; n <= kTextWindows; ++n)
      if (n != CurrentTextWindow) PaintTextWindow(Page(0), n);
    PaintTextWindow(Page(0), CurrentTextWindow);
  }
  ChangedTextWindow = 0;
  Dirty = true;
}

void TDDOFXGfx::EraseTextWindow(int n) {
  if (n < 1 || n > kTextWindows || !TextWindows[size_t(n)].Defined) return;
  const TGfxWindow& w = TextWindows[size_t(n)];
  const int64_t cw = CellWidth, ch = CellHeight;
  RestoreFromMirror(*this, (int64_t(w.Left) - 1) * cw, (int64_t(w.Top) - 1) * ch, int64_t(w.Right) * cw - 1,
                    int64_t(w.Bottom) * ch - 1);
  Dirty = true;
}

// --- Paused background ----------------------------------------------------------

bool TDDOFXGfx::PauseCommand(const TGfxCommand& c, bool& result) {
  if (c.Text == "~PAUSEBAK")
    PauseBackground();
  else if (c.Text == "~UNPAUSEBAK")
    ResumeBackground();
  else
    return false;
  // The interpreter keeps its own note of the pause as well.
  result = false;
  return true;
}

void TDDOFXGfx::PauseBackground() {
  if (FBackgroundPaused) return;
  RefreshWindows();
  PausedRects.clear();
  for (int32_t n : PlayList) {
    if (n < 1 || n > kAnims) continue;
    const TGfxAnim& a = Anims[size_t(n)];
    if (!a.Playing || a.Owner != 0 || a.LastSprite < a.FirstSprite) continue;
    int x = 0, y = 0;
    AnimPosition(n, x, y);
    const int64_t frame =
        int64_t(a.FirstSprite) + std::clamp<int64_t>(a.FrameOffset, 0, int64_t(a.LastSprite) - a.FirstSprite);
    BlitSprite(Pages[0].data(), int(frame), x, y, a.DrawMode != 0, a.DrawMode != 0, a.DrawMode == 2);
    TGfxRect r;
    if (SpriteRect(int(frame), x, y, r)) PausedRects.push_back(r);
  }
  FBackgroundPaused = true;
  Dirty = true;
}

void TDDOFXGfx::ResumeBackground() {
  if (!FBackgroundPaused) return;
  for (const TGfxRect& r : PausedRects) RestoreFromMirror(*this, r.X1, r.Y1, r.X2, r.Y2);
  PausedRects.clear();
  FBackgroundPaused = false;
  ChangedTextWindow = -1;
  Dirty = true;
}
