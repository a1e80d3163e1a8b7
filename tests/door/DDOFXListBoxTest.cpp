// List boxes: drawing with cursor and selection colours, scrolling, cursor
// moves, selection, item changes, firing, and clicks.
#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXListBox : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    // Blocks for every glyph but the space, so a row shows its foreground
    // where it has text and its background elsewhere.
    std::vector<uint8_t> glyphs = BlockFont();
    std::fill(glyphs.begin() + ' ' * 16, glyphs.begin() + ' ' * 16 + 16, uint8_t(0));
    H.Gfx->SetTextFont(glyphs.data());
    H.Run("LIGMODE");
    H.Advance(30);
  }
  const TGfxListBox& B(int n) const { return H.Gfx->ListBoxes[size_t(n)]; }
  // Box 1: 10 columns x 3 rows at x 100, bottom row 147 (rows at 100, 116, 132).
  void Box(int items, int multi = 0) {
    H.Run("5CLBOX,1,100,147,10,3,15,0,11,4,14,6," + std::to_string(items) + "," + std::to_string(multi));
    H.Run("5LBMODLST,1,0,,,item,send^M,");
    for (int i = 1; i <= items; ++i) H.Run("5LBMODLST,1," + std::to_string(i) + ",,,item" + std::to_string(i) + ",s" + std::to_string(i));
  }
  // Pixel colour index of row R (1-based) of box 1 on page 0: its first
  // character cell and its last (a space in these items).
  int Ink(int r) const { return H.PageAt(0, 101, 100 + (r - 1) * 16 + 5); }
  int Paper(int r) const { return H.PageAt(0, 100 + 9 * 8 + 3, 100 + (r - 1) * 16 + 5); }
};

TEST_F(DDOFXListBox, RowsShowCursorAndSelectionColours) {
  Box(2);
  EXPECT_EQ(H.PageAt(1, 101, 105), 0) << "defining draws nothing";
  H.Run("5LBMODLST,1,2,,1");
  H.Run("5LBADJHLT,1,0,2");  // cursor to row 2
  H.Run("5LBSHWLST,1");
  EXPECT_EQ(Ink(1), 15);
  EXPECT_EQ(Paper(1), 0);
  EXPECT_EQ(Ink(2), 14) << "a selected item keeps its colour under the cursor";
  EXPECT_EQ(Paper(2), 4);
  EXPECT_EQ(Ink(3), 0) << "a row past the list is blank";
  EXPECT_EQ(Paper(3), 0);
  H.Run("5LBMODLST,1,2,,0");
  H.Run("5LBSHWLST,1");
  EXPECT_EQ(Ink(2), 11);
  // Past the end of the list the cursor colours never show.
  H.Run("5CLBOX,2,300,147,10,3,15,0,11,4,14,6,2");
  H.Gfx->ListBoxes[2].CursorRow = 3;
  H.Run("5LBSHWLST,2");
  EXPECT_EQ(H.PageAt(0, 300 + 3, 132 + 5), 0);
  H.Compose();
  EXPECT_EQ(H.At(101, 116 + 5), Rgb(*H.Gfx, 11));
  ASSERT_TRUE(H.WritePng(H.Program.File("listbox.png")));
}

TEST_F(DDOFXListBox, ScrollingAndCursorMoves) {
  Box(10);
  const struct {
    const char* command;
    int top, cursor;
  } steps[] = {
      {"5LBADJLST,1,0,4", 5, 1},   {"5LBADJLST,1,1,1", 8, 1},   {"5LBADJLST,1,2,1", 1, 1},
      {"5LBADJLST,1,2,0", 8, 1},   {"5LBADJLST,1,2,-1", 8, 1},  {"5LBADJLST,1,0,-100", 1, 1},
      {"5LBADJHLT,1,1,1", 1, 3},   {"5LBADJHLT,1,0,5", 2, 3},   {"5LBADJHLT,1,0,-9", 1, 1},
      {"5LBADJLST,1,2,0", 8, 1},   {"5LBADJHLT,1,1,1", 8, 3},   {"5LBADJHLT,1,0,1", 8, 3},
      {"5LBADJLST,1,7,1", 8, 3},
  };
  for (const auto& s : steps) {
    H.Run(s.command);
    EXPECT_EQ(B(1).TopItem, s.top) << s.command;
    EXPECT_EQ(B(1).CursorRow, s.cursor) << s.command;
  }
  H.Run("5LBDEACT,1");
  H.Run("5LBADJLST,1,2,1");
  EXPECT_EQ(B(1).TopItem, 8) << "a disabled box does not scroll";
  H.Run("5LBREACT,1");
  H.Run("5LBADJLST,1,2,1");
  EXPECT_EQ(B(1).TopItem, 1);
}

TEST_F(DDOFXListBox, SelectionAndFiring) {
  Box(4);
  H.Run("5LBTGLSEL,1");
  H.Run("5LBADJHLT,1,0,1");
  H.Run("5LBTGLSEL,1");
  EXPECT_FALSE(B(1).Items[1].Selected) << "single select clears the others";
  EXPECT_TRUE(B(1).Items[2].Selected);
  H.Run("5LBTGLSEL,1");
  EXPECT_FALSE(B(1).Items[2].Selected);
  // Several at once in a multi-select box; firing sends every selected
  // item, disabled or not.
  Box(4, 1);
  H.Run("5LBMODLST,1,1,,1");
  H.Run("5LBMODLST,1,3,,1");
  H.Run("5LBMODLST,1,3,0");
  H.Run("5LBADJHLT,1,0,2");
  H.Run("5LBTGLSEL,1");
  EXPECT_TRUE(B(1).Items[3].Selected) << "a disabled item cannot be toggled";
  H.Run("5LBEXCLST,1");
  EXPECT_EQ(H.Sent, "s1s3");
  H.Run("5LBMODLST,1,9,1,1");  // no such item
  H.Run("5LBFOO,1");            // swallowed
  H.Run("5LBCLSLST,1");
  H.Sent.clear();
  H.Run("5LBEXCLST,1");
  EXPECT_EQ(H.Sent, "");
  EXPECT_FALSE(B(1).Active);
}

TEST_F(DDOFXListBox, ClicksMoveTheCursorAndASecondQuickClickToggles) {
  Box(2);
  H.Gfx->MouseDown(110, 120, 1);  // row 2
  EXPECT_EQ(B(1).CursorRow, 2);
  EXPECT_FALSE(B(1).Items[2].Selected);
  H.Advance(480);
  H.Gfx->Now = H.Gfx->LastListClickAt + 499;
  H.Gfx->MouseDown(110, 120, 1);
  EXPECT_TRUE(B(1).Items[2].Selected);
  H.Gfx->MouseDown(110, 120, 1);
  H.Gfx->Now += 500;
  H.Gfx->MouseDown(110, 120, 1);
  EXPECT_TRUE(B(1).Items[2].Selected) << "500 ms apart is two single clicks";
  // A click past the end of the list is taken but changes nothing.
  EXPECT_TRUE(H.Gfx->MouseDown(110, 140, 1));
  EXPECT_EQ(B(1).CursorRow, 2);
  EXPECT_TRUE(H.Gfx->IsOverHotspot(110, 140));
  EXPECT_FALSE(H.Gfx->MouseDown(110, 140, 2)) << "list boxes take the left button only";
  H.Run("5LBDEACT,1");
  EXPECT_FALSE(H.Gfx->MouseDown(110, 120, 1));
}

TEST_F(DDOFXListBox, SizesAreClamped) {
  H.Run("5CLBOX,1,0,479,999,-5,15,0,11,4,14,6,100000");
  EXPECT_EQ(B(1).Columns, 40);
  EXPECT_EQ(B(1).Rows, 1);
  EXPECT_EQ(B(1).Items.size(), 101u);
  H.Run("5CLBOX,2,-2147483648,2147483647");
  H.Run("5LBSHWLST,2");
  H.Run("5CLBOX,0");
  EXPECT_FALSE(B(1).Active);
  EXPECT_FALSE(B(2).Active);
}

}  // namespace
