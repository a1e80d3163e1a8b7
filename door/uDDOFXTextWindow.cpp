// Text windows: ten small terminals on the door's graphics screen. Each has
// an 80 x 100 character grid with a cursor, colours and a few ANSI
// sequences, seen through a rectangle of text cells that can scroll over
// the grid and follow the cursor. The "1" words manage them; the door's
// plain text bytes are fed into the current one. Painting them is in the
// field painter's unit.
#include <algorithm>
#include <cctype>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr int kGridCells = kTextWindowCols * kTextWindowRows;
constexpr size_t kMaxEscParams = 40;
// ANSI colour numbers to the text-mode palette.
constexpr uint8_t kAnsiToPalette[8] = {0, 4, 2, 6, 1, 5, 3, 7};

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

bool Flag(const TDDOFXGfx::TParams& p, size_t index) {
  std::string v = Trim(TDDOFXGfx::StrParam(p, index));
  for (char& c : v) c = char(std::toupper(static_cast<unsigned char>(c)));
  return v == "Y";
}

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool ValidWindow(int n) { return n >= 1 && n <= kTextWindows; }

// The view position limited so that the inner area stays on the grid: the
// upper limit first, then the lower one.
int32_t LimitView(int64_t v, int64_t gridSize, int64_t inner) {
  v = std::min(v, gridSize + 1 - inner);
  return I32(std::max<int64_t>(v, 1));
}

}  // namespace

int64_t TDDOFXGfx::TextWindowWidth(const TGfxWindow& w) {
  const int64_t width = int64_t(w.Right) - w.Left + (w.Border ? -1 : 1);
  return std::max<int64_t>(width, 1);
}

int64_t TDDOFXGfx::TextWindowHeight(const TGfxWindow& w) {
  const int64_t height = int64_t(w.Bottom) - w.Top + (w.Border ? -1 : 1);
  return std::max<int64_t>(height, 1);
}

bool TDDOFXGfx::TextWindowActive() const {
  return FGraphicsMode && ValidWindow(CurrentTextWindow) && TextWindows[size_t(CurrentTextWindow)].Defined;
}

void TDDOFXGfx::OpenTextWindow(int n, const TParams& list, bool create) {
  if (!ValidWindow(n)) return;
  TGfxWindow& w = TextWindows[size_t(n)];
  const size_t d = create ? 1 : 0;
  w.Left = I32(IntParam(list, d + 0, 1));
  w.Right = I32(IntParam(list, d + 1, 80));
  w.Top = I32(IntParam(list, d + 2, 1));
  w.Bottom = I32(IntParam(list, d + 3, 30));
  w.BorderColour = I32(IntParam(list, d + 4, 15));
  w.TitleColour = I32(IntParam(list, d + 5, 15));
  w.Border = Flag(list, d + 6);
  w.Hidden = Flag(list, d + 7);
  w.FollowCol = Flag(list, d + 8);
  w.FollowRow = Flag(list, d + 9);
  w.TopTitle = StrParam(list, d + 11);
  w.BottomTitle = StrParam(list, d + 12);
  w.FontName = Trim(StrParam(list, d + 13));
  if (create) {
    w.Fg = 7;
    w.Bg = 0;
    w.Bold = w.Blink = w.Reverse = false;
    w.EscState = 0;
    w.EscParams.clear();
    w.SavedCol = w.SavedRow = 0;
    ClearTextWindow(n);
  } else if (w.Cells.size() != size_t(kGridCells)) {
    ClearTextWindow(n);
  }
  w.ViewCol = w.ViewRow = 1;
  w.Defined = true;
  if (!w.FontName.empty()) LoadFont(w.FontName);
  CurrentTextWindow = n;
  Dirty = true;
}

void TDDOFXGfx::CloseTextWindow() {
  const int current = CurrentTextWindow;
  if (!ValidWindow(current) || !TextWindows[size_t(current)].Defined) return;
  EraseTextWindow(current);
  TextWindows[size_t(current)].Defined = false;
  ChangedTextWindow = -1;
  // The next current window is the nearest defined one below, wrapping
  // round from 1 to 10.
  CurrentTextWindow = 0;
  int candidate = current;
  for (int k = 0; k < kTextWindows - 1; ++k) {
    candidate = candidate == 1 ? kTextWindows : candidate - 1;
    if (TextWindows[size_t(candidate)].Defined) {
      CurrentTextWindow = candidate;
      break;
    }
  }
  Dirty = true;
}

void TDDOFXGfx::ClearTextWindow(int n) {
  if (!ValidWindow(n)) return;
  TGfxWindow& w = TextWindows[size_t(n)];
  w.Cells.assign(size_t(kGridCells), TGfxCell{' ', 7, w.Bg});
  w.CursorCol = w.CursorRow = 0;
}

void TDDOFXGfx::TextWindowLineFeed(int n) {
  TGfxWindow& w = TextWindows[size_t(n)];
  if (w.Cells.size() != size_t(kGridCells)) ClearTextWindow(n);
  ++w.CursorRow;
  if (w.CursorRow >= kTextWindowRows) {
    std::copy(w.Cells.begin() + kTextWindowCols, w.Cells.end(), w.Cells.begin());
    std::fill(w.Cells.end() - kTextWindowCols, w.Cells.end(), TGfxCell{' ', 7, w.Bg});
    w.CursorRow = kTextWindowRows - 1;
  }
}

void TDDOFXGfx::TextWindowPutChar(int n, uint8_t ch) {
  TGfxWindow& w = TextWindows[size_t(n)];
  if (w.Cells.size() != size_t(kGridCells)) ClearTextWindow(n);
  if (w.CursorCol >= WrapColumns) {
    w.CursorCol = 0;
    TextWindowLineFeed(n);
  }
  uint8_t fg = w.Bold ? uint8_t(w.Fg | 8) : w.Fg, bg = w.Bg;
  if (w.Reverse) {
    fg = w.Bg;
    bg = uint8_t(w.Fg & 7);
  }
  if (w.CursorRow >= 0 && w.CursorRow < kTextWindowRows && w.CursorCol >= 0 && w.CursorCol < kTextWindowCols)
    w.Cells[size_t(w.CursorRow * kTextWindowCols + w.CursorCol)] = TGfxCell{ch, fg, bg};
  ++w.CursorCol;
}

void TDDOFXGfx::ExecuteWindowCsi(int n, const std::string& text, uint8_t final) {
  TGfxWindow& w = TextWindows[size_t(n)];
  if (w.Cells.size() != size_t(kGridCells)) ClearTextWindow(n);
  std::string s = text;
  if (!s.empty() && (s[0] == '=' || s[0] == '?')) s.erase(0, 1);
  std::vector<int64_t> params;
  int64_t value = 0;
  bool pending = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      value = std::min<int64_t>(value * 10 + (c - '0'), 1000000);
      pending = true;
    } else if (c == ';') {
      if (params.size() < 16) params.push_back(value);
      value = 0;
      pending = false;
    }
  }
  if ((pending || !s.empty()) && params.size() < 16) params.push_back(value);
  auto param = [&](size_t i, int64_t def) { return i < params.size() && params[i] > 0 ? params[i] : def; };
  const int lastCol = kTextWindowCols - 1, lastRow = kTextWindowRows - 1;
  auto blank = [&](int64_t row, int64_t from, int64_t to) {
    for (int64_t c = std::max<int64_t>(from, 0); c <= std::min<int64_t>(to, lastCol); ++c) {
      TGfxCell& cell = w.Cells[size_t(row * kTextWindowCols + c)];
      cell.Ch = ' ';
      cell.Bg = w.Bg;
    }
  };
  switch (final) {
    case 'A': w.CursorRow = I32(std::max<int64_t>(0, w.CursorRow - param(0, 1))); break;
    case 'B': w.CursorRow = I32(std::min<int64_t>(lastRow, w.CursorRow + param(0, 1))); break;
    case 'C': w.CursorCol = I32(std::min<int64_t>(lastCol, w.CursorCol + param(0, 1))); break;
    case 'D': w.CursorCol = I32(std::max<int64_t>(0, w.CursorCol - param(0, 1))); break;
    case 'H':
    case 'f':
      w.CursorRow = I32(std::clamp<int64_t>(param(0, 1), 1, kTextWindowRows) - 1);
      w.CursorCol = I32(std::clamp<int64_t>(param(1, 1), 1, kTextWindowCols) - 1);
      break;
    case 'J':
      if (!params.empty() && params[0] == 2) {
        ClearTextWindow(n);
        w.ViewRow = 1;
      } else if ((params.empty() || params[0] == 0) && w.CursorRow >= 0 && w.CursorRow <= lastRow) {
        blank(w.CursorRow, w.CursorCol, lastCol);
        for (int64_t r = w.CursorRow + 1; r <= lastRow; ++r) blank(r, 0, lastCol);
      }
      break;
    case 'K': {
      if (w.CursorRow < 0 || w.CursorRow > lastRow) break;
      const int64_t mode = params.empty() ? 0 : params[0];
      if (mode == 1)
        blank(w.CursorRow, 0, std::min<int64_t>(w.CursorCol, lastCol));
      else if (mode == 2)
        blank(w.CursorRow, 0, lastCol);
      else
        blank(w.CursorRow, w.CursorCol, lastCol);
      break;
    }
    case 'm':
      if (params.empty()) params.push_back(0);
      for (int64_t v : params) {
        if (v == 0) {
          w.Fg = 7;
          w.Bg = 0;
          w.Bold = w.Blink = w.Reverse = false;
        } else if (v == 1) {
          w.Bold = true;
        } else if (v == 5) {
          w.Blink = true;
        } else if (v == 7) {
          w.Reverse = true;
        } else if (v == 22) {
          w.Bold = false;
        } else if (v == 25) {
          w.Blink = false;
        } else if (v == 27) {
          w.Reverse = false;
        } else if (v >= 30 && v <= 37) {
          w.Fg = kAnsiToPalette[v - 30];
        } else if (v == 39) {
          w.Fg = 7;
        } else if (v >= 40 && v <= 47) {
          w.Bg = kAnsiToPalette[v - 40];
        } else if (v == 49) {
          w.Bg = 0;
        }
      }
      break;
    case 's':
      w.SavedCol = w.CursorCol;
      w.SavedRow = w.CursorRow;
      break;
    case 'u':
      w.CursorCol = w.SavedCol;
      w.CursorRow = w.SavedRow;
      break;
    default: break;
  }
}

void TDDOFXGfx::FollowCursor(int n) {
  TGfxWindow& w = TextWindows[size_t(n)];
  const int64_t width = TextWindowWidth(w), height = TextWindowHeight(w);
  int64_t viewRow = w.ViewRow, viewCol = w.ViewCol;
  if (w.FollowRow) {
    if (int64_t(w.CursorRow) + 1 < viewRow) viewRow = int64_t(w.CursorRow) + 1;
    if (viewRow + height - 1 < int64_t(w.CursorRow) + 1) viewRow = int64_t(w.CursorRow) + 2 - height;
  }
  if (w.FollowCol) {
    if (int64_t(w.CursorCol) + 1 < viewCol) viewCol = int64_t(w.CursorCol) + 1;
    if (viewCol + width - 1 < int64_t(w.CursorCol) + 1) viewCol = int64_t(w.CursorCol) + 2 - width;
  }
  w.ViewCol = LimitView(viewCol, kTextWindowCols, width);
  w.ViewRow = LimitView(viewRow, kTextWindowRows, height);
}

void TDDOFXGfx::FeedTextWindow(uint8_t b) {
  const int n = CurrentTextWindow;
  if (!ValidWindow(n) || !TextWindows[size_t(n)].Defined) return;
  TGfxWindow& w = TextWindows[size_t(n)];
  Dirty = true;
  if (ChangedTextWindow == 0)
    ChangedTextWindow = n;
  else if (ChangedTextWindow > 0 && ChangedTextWindow != n)
    ChangedTextWindow = -1;
  if (w.EscState == 1) {
    if (b == '[') {
      w.EscState = 2;
      w.EscParams.clear();
    } else {
      w.EscState = 0;
    }
    return;
  }
  if (w.EscState == 2) {
    if (b >= 64 && b <= 126) {
      w.EscState = 0;
      ExecuteWindowCsi(n, w.EscParams, b);
      FollowCursor(n);
    } else if (w.EscParams.size() < kMaxEscParams) {
      w.EscParams += char(b);
    } else {
      w.EscState = 0;
    }
    return;
  }
  switch (b) {
    case 0:
    case 7: break;
    case 8:
      if (w.CursorCol > 0) --w.CursorCol;
      break;
    case 9: w.CursorCol = std::min((w.CursorCol / 8 + 1) * 8, WrapColumns - 1); break;
    case 10: TextWindowLineFeed(n); break;
    case 12:
      ClearTextWindow(n);
      w.ViewRow = 1;
      break;
    case 13: w.CursorCol = 0; break;
    case 27: w.EscState = 1; break;
    default: TextWindowPutChar(n, b); break;
  }
  FollowCursor(n);
}

bool TDDOFXGfx::TextWindowCommand(const TGfxCommand& c, bool& result) {
  const std::string& name = c.Name;
  static const char* const kWords[] = {"1OPEN", "1CHANGE", "1CLOSE", "1HIDE", "1UNHIDE",
                                       "1WIN",  "1SWAP",   "1POS",   "1POSR", "1GOTOC"};
  if (std::none_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return name == w; })) return false;
  result = true;
  TParams p;
  const int current = CurrentTextWindow;
  const bool haveCurrent = ValidWindow(current) && TextWindows[size_t(current)].Defined;
  if (name == "1OPEN") {
    SplitParams(c.ParamText, 16, p);
    const int64_t n = IntParam(p, 0, 0);
    if (ValidWindow(int(std::clamp<int64_t>(n, 0, 11)))) OpenTextWindow(int(n), p, true);
    return true;
  }
  if (name == "1WIN") {
    SplitParams(c.ParamText, 0, p);
    const int64_t n = IntParam(p, 0, 0);
    if (n >= 1 && n <= kTextWindows && TextWindows[size_t(n)].Defined) CurrentTextWindow = int32_t(n);
    Dirty = true;
    return true;
  }
  if (name == "1SWAP") {
    SplitParams(c.ParamText, 0, p);
    const int64_t a = IntParam(p, 0, 0), b = IntParam(p, 1, 0);
    if (a >= 1 && a <= kTextWindows && b >= 1 && b <= kTextWindows) {
      std::swap(TextWindows[size_t(a)], TextWindows[size_t(b)]);
      if (CurrentTextWindow == a)
        CurrentTextWindow = int32_t(b);
      else if (CurrentTextWindow == b)
        CurrentTextWindow = int32_t(a);
      Dirty = true;
    }
    return true;
  }
  if (!haveCurrent) return true;
  TGfxWindow& w = TextWindows[size_t(current)];
  if (name == "1CHANGE") {
    SplitParams(c.ParamText, 15, p);
    EraseTextWindow(current);
    OpenTextWindow(current, p, false);
  } else if (name == "1CLOSE") {
    CloseTextWindow();
  } else if (name == "1HIDE") {
    EraseTextWindow(current);
    w.Hidden = true;
    ChangedTextWindow = -1;
  } else if (name == "1UNHIDE") {
    w.Hidden = false;
    Dirty = true;
  } else if (name == "1POS" || name == "1POSR") {
    SplitParams(c.ParamText, 0, p);
    const int64_t col = IntParam(p, 0, 0), row = IntParam(p, 1, 0);
    int64_t viewCol = w.ViewCol, viewRow = w.ViewRow;
    if (name == "1POSR") {
      viewCol += col;
      viewRow += row;
    } else {
      if (col != 0) viewCol = col;
      if (row != 0) viewRow = row;
    }
    w.ViewCol = LimitView(viewCol, kTextWindowCols, TextWindowWidth(w));
    w.ViewRow = LimitView(viewRow, kTextWindowRows, TextWindowHeight(w));
    Dirty = true;
  } else {  // 1GOTOC: the cursor row becomes the last visible row
    const int64_t height = TextWindowHeight(w);
    w.ViewRow = LimitView(int64_t(w.CursorRow) + 2 - height, kTextWindowRows, height);
    Dirty = true;
  }
  return true;
}
