// List boxes: a column of text rows in the door font showing part of a list
// of up to 100 items, with a cursor row, selectable items and a send text
// and macro per item that the door fires at the end.
#include <algorithm>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

constexpr int kMaxItems = 100;
constexpr uint64_t kDoubleClickMs = 500;

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int64_t ItemCount(const TGfxListBox& b) { return b.Items.empty() ? 0 : int64_t(b.Items.size()) - 1; }

int64_t MaxTop(const TGfxListBox& b) { return std::max<int64_t>(1, ItemCount(b) - b.Rows + 1); }

TGfxRect BoxRect(const TGfxListBox& b) {
  TGfxRect r;
  r.X1 = b.X;
  r.X2 = I32(int64_t(b.X) + int64_t(b.Columns) * 8 - 1);
  r.Y1 = I32(int64_t(b.Bottom) - int64_t(b.Rows) * 16 + 1);
  r.Y2 = b.Bottom;
  return r;
}

}  // namespace

void TDDOFXGfx::DrawListBox(int n, int page) {
  if (n < 1 || n > kListBoxes || !ListBoxes[size_t(n)].Active) return;
  const TGfxListBox& b = ListBoxes[size_t(n)];
  const uint8_t* glyphs = LoadFont(FontName);
  uint8_t* target = Page(page);
  uint8_t* mirror = page == 0 ? Page(3) : nullptr;
  const int64_t count = ItemCount(b), top = int64_t(b.Bottom) - int64_t(b.Rows) * 16 + 1;
  for (int64_t r = 1; r <= b.Rows; ++r) {
    const int64_t rowTop = top + (r - 1) * 16;
    if (rowTop + 15 < 0 || rowTop >= kHeight) continue;
    const int64_t i = int64_t(b.TopItem) + r - 1;
    uint8_t fg = b.Fg, bg = b.Bg;
    const std::string* text = nullptr;
    if (i >= 1 && i <= count) {
      const TGfxListItem& item = b.Items[size_t(i)];
      text = &item.Text;
      if (item.Selected) {
        fg = b.SelectedFg;
        bg = b.SelectedBg;
      }
      if (r == b.CursorRow) {
        bg = b.CursorBg;
        if (!item.Selected) fg = b.CursorFg;
      }
    }
    for (int64_t k = 0; k < b.Columns; ++k) {
      const int64_t x = int64_t(b.X) + k * 8;
      if (x + 7 < 0 || x >= kWidth) continue;
      const uint8_t ch = text && size_t(k) < text->size() ? uint8_t((*text)[size_t(k)]) : uint8_t(' ');
      DrawGlyph(target, glyphs, 8, 16, int(x), int(rowTop), ch, fg, bg);
      if (mirror) DrawGlyph(mirror, glyphs, 8, 16, int(x), int(rowTop), ch, fg, bg);
    }
  }
  Dirty = true;
}

void TDDOFXGfx::ScrollListBox(int n, int64_t mode, int64_t amount) {
  TGfxListBox& b = ListBoxes[size_t(n)];
  if (!b.Enabled) return;
  const int64_t maxTop = MaxTop(b);
  int64_t top = b.TopItem;
  if (mode == 0)
    top += amount;
  else if (mode == 1)
    top += amount * b.Rows;
  else if (mode == 2)
    top = amount > 0 ? 1 : maxTop;
  b.TopItem = I32(std::clamp<int64_t>(top, 1, maxTop));
  DrawListBox(n, 0);
}

void TDDOFXGfx::MoveListCursor(int n, int64_t mode, int64_t amount) {
  TGfxListBox& b = ListBoxes[size_t(n)];
  if (!b.Enabled) return;
  const int64_t count = ItemCount(b);
  int64_t row = b.CursorRow;
  if (mode == 1) {
    row = amount > 0 ? std::min<int64_t>(b.Rows, count - b.TopItem + 1) : 1;
  } else {
    row += amount;
    if (row > b.Rows) {
      row = b.Rows;
      if (b.TopItem < MaxTop(b)) ++b.TopItem;
    } else if (row < 1) {
      row = 1;
      if (b.TopItem > 1) --b.TopItem;
    }
  }
  if (int64_t(b.TopItem) + row - 1 > count) row = std::max<int64_t>(1, count - b.TopItem + 1);
  b.CursorRow = I32(row);
  DrawListBox(n, 0);
}

void TDDOFXGfx::ToggleListSelection(int n) {
  TGfxListBox& b = ListBoxes[size_t(n)];
  if (!b.Enabled) return;
  const int64_t i = int64_t(b.TopItem) + b.CursorRow - 1;
  if (i < 1 || i > ItemCount(b) || !b.Items[size_t(i)].Enabled) return;
  TGfxListItem& item = b.Items[size_t(i)];
  if (!item.Selected && b.MultiSelect == 0)
    for (TGfxListItem& other : b.Items) other.Selected = false;
  item.Selected = !item.Selected;
  DrawListBox(n, 0);
}

void TDDOFXGfx::ModifyListItem(int n, int64_t item, const TParams& p) {
  TGfxListBox& b = ListBoxes[size_t(n)];
  const int64_t count = ItemCount(b);
  int64_t from = item, to = item;
  if (item == 0) {
    from = 1;
    to = count;
  } else if (item < 1 || item > count) {
    return;
  }
  const int64_t enabled = IntParam(p, 2, -1), selected = IntParam(p, 3, -1);
  const std::string text = StrParam(p, 4), send = UnescapeSendText(StrParam(p, 5)), macro = StrParam(p, 6);
  for (int64_t i = from; i <= to; ++i) {
    TGfxListItem& it = b.Items[size_t(i)];
    if (enabled == 0 || enabled == 1) it.Enabled = enabled == 1;
    if (selected == 0 || selected == 1) it.Selected = selected == 1;
    if (!text.empty()) it.Text = text;
    if (!send.empty()) it.SendText = send;
    if (!macro.empty()) it.Macro = macro;
  }
}

bool TDDOFXGfx::ListBoxAt(int level, int x, int y, int& box, int& row) const {
  for (int n = 1; n <= kListBoxes; ++n) {
    const TGfxListBox& b = ListBoxes[size_t(n)];
    if (!b.Active || !b.Enabled || b.Owner != level) continue;
    const TGfxRect r = BoxRect(b);
    if (!PointInRect(r, x, y)) continue;
    box = n;
    row = int((int64_t(y) - r.Y1) / 16 + 1);
    return true;
  }
  return false;
}

void TDDOFXGfx::ListBoxClick(int n, int row) {
  TGfxListBox& b = ListBoxes[size_t(n)];
  const int64_t item = int64_t(b.TopItem) + row - 1;
  if (item > ItemCount(b)) return;
  b.CursorRow = row;
  if (LastListBox == n && LastListItem == item && Now - LastListClickAt < kDoubleClickMs) {
    ToggleListSelection(n);
    LastListBox = 0;
  } else {
    DrawListBox(n, 0);
    LastListBox = n;
    LastListItem = I32(item);
    LastListClickAt = Now;
  }
}

bool TDDOFXGfx::ListBoxCommand(const TGfxCommand& c, bool& result) {
  const std::string& name = c.Name;
  if (name.rfind("5CLB", 0) != 0 && name.rfind("5LB", 0) != 0) return false;
  result = true;
  TParams p;
  SplitParams(c.ParamText, name == "5LBMODLST" ? 7 : 0, p);
  const int64_t n = IntParam(p, 0, 0);
  if (name == "5CLBOX") {
    if (n == 0) {
      for (auto& b : ListBoxes) b = TGfxListBox{};
      return true;
    }
    if (n < 1 || n > kListBoxes) return true;
    TGfxListBox b;
    b.X = I32(IntParam(p, 1, 0));
    b.Bottom = I32(IntParam(p, 2, 0));
    b.Columns = int32_t(std::clamp<int64_t>(IntParam(p, 3, 10), 1, 40));
    b.Rows = int32_t(std::clamp<int64_t>(IntParam(p, 4, 5), 1, 30));
    b.Fg = uint8_t(IntParam(p, 5, 15) & 0xFF);
    b.Bg = uint8_t(IntParam(p, 6, 0) & 7);
    b.CursorFg = uint8_t(IntParam(p, 7, 15) & 0xFF);
    b.CursorBg = uint8_t(IntParam(p, 8, 4) & 7);
    b.SelectedFg = uint8_t(IntParam(p, 9, 14) & 0xFF);
    b.SelectedBg = uint8_t(IntParam(p, 10, 6) & 7);
    const int64_t count = std::clamp<int64_t>(IntParam(p, 11, 1), 1, kMaxItems);
    b.MultiSelect = I32(IntParam(p, 12, 0));
    TGfxListItem blank;
    blank.Enabled = true;
    b.Items.assign(size_t(count + 1), blank);
    b.TopItem = b.CursorRow = 1;
    b.Active = b.Enabled = true;
    ListBoxes[size_t(n)] = std::move(b);
    return true;
  }
  if (n < 1 || n > kListBoxes || !ListBoxes[size_t(n)].Active) return true;
  TGfxListBox& b = ListBoxes[size_t(n)];
  if (name == "5LBMODLST") {
    ModifyListItem(int(n), IntParam(p, 1, 0), p);
  } else if (name == "5LBDRWLST" || name == "5LBSHWLST") {
    DrawListBox(int(n), name == "5LBDRWLST" ? 1 : 0);
  } else if (name == "5LBEXCLST") {
    // A fired item's macro may change or close this very box.
    const std::vector<TGfxListItem> items = b.Items;
    for (size_t i = 1; i < items.size(); ++i)
      if (items[i].Selected) FireGadget(items[i].SendText, items[i].Macro);
  } else if (name == "5LBCLSLST") {
    b = TGfxListBox{};
  } else if (name == "5LBDEACT" || name == "5LBREACT") {
    b.Enabled = name == "5LBREACT";
  } else if (name == "5LBADJLST") {
    ScrollListBox(int(n), IntParam(p, 1, 0), IntParam(p, 2, 1));
  } else if (name == "5LBADJHLT") {
    MoveListCursor(int(n), IntParam(p, 1, 0), IntParam(p, 2, 1));
  } else if (name == "5LBTGLSEL") {
    ToggleListSelection(int(n));
  }
  return true;
}
