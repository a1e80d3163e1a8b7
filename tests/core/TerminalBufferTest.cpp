// The cell buffer: writing and wrapping with the deferred scroll, cursor
// clamping, the pen's colour rules, erasing, the scrollback ring and its
// view, margins, line edits, the alternate screen, resizing and the screen
// reader's change detector.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

namespace {

constexpr TColorRGB kRed = {0xAA, 0, 0};
constexpr TColorRGB kBrightRed = {0xFF, 0, 0};
constexpr TColorRGB kBlue = {0, 0, 0xAA};
constexpr TColorRGB kBrightBlue = {0, 0, 0xFF};

void Put(TTerminalBuffer& b, const std::string& text) {
  b.PutChars(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Row text without trailing blanks.
std::string Row(const TTerminalBuffer& b, int r) {
  std::string t = b.GetRowText(r);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// Marks each row with its number so moved rows can be recognised.
void NumberRows(TTerminalBuffer& b) {
  for (int r = 0; r < b.FHeight; ++r) {
    b.WriteCharAt(0, r, uint8_t('A' + r % 26));
  }
}

TEST(TerminalBufferTest, ColourFunctions) {
  struct Case {
    int Index;
    TColorRGB Want;
  };
  const Case cases[] = {{16, {0, 0, 0}},          {21, {0, 0, 0xFF}},       {196, {0xFF, 0, 0}},
                        {231, {0xFF, 0xFF, 0xFF}}, {232, {8, 8, 8}},         {255, {0xEE, 0xEE, 0xEE}},
                        {-5, AnsiPalette[0]},     {9, {0xFF, 0, 0}},        {300, {0xEE, 0xEE, 0xEE}},
                        {3, {0xAA, 0x55, 0}}};
  for (const Case& c : cases) EXPECT_EQ(XtermIndexToRGB(c.Index), c.Want) << "index " << c.Index;
  EXPECT_EQ(DefaultCell(), (TCell{32, AnsiPalette[7], AnsiPalette[0], false, false, false, false}));
}

TEST(TerminalBufferTest, CellCharToText) {
  EXPECT_EQ(CellCharToText(0), " ");
  EXPECT_EQ(CellCharToText(' '), " ");
  EXPECT_EQ(CellCharToText(196), " ");  // box drawing reads as blank
  EXPECT_EQ(CellCharToText('A'), "A");
  EXPECT_EQ(CellCharToText(130), "\xC3\xA9");  // e acute
  EXPECT_EQ(CellCharToText(227), "\xCF\x80");  // pi
}

TEST(TerminalBufferTest, PenColourRules) {
  TTerminalBuffer b(80, 25);
  b.SetBold(true);
  b.SetFgIndex(1);
  EXPECT_EQ(b.Fg, kBrightRed);
  b.SetBold(false);
  EXPECT_EQ(b.Fg, kRed);
  b.SetFgRGB({1, 2, 3});
  b.SetBold(true);
  b.SetBold(false);
  EXPECT_EQ(b.Fg, (TColorRGB{1, 2, 3}));
  b.SetFgPalette(9);
  b.SetBold(false);
  EXPECT_EQ(b.Fg, kBrightRed) << "a palette colour set directly is a direct colour";

  b.SetBgIndex(4);
  b.SetBlink(true);
  EXPECT_EQ(b.Bg, kBrightBlue);
  b.SetIceColors(false);
  EXPECT_EQ(b.Bg, kBlue);
  b.SetBgIndex(99);
  EXPECT_EQ(b.BgIndex, 7);

  TTextAttributes saved;
  b.SaveAttributes(saved);
  b.ResetAttributes();
  EXPECT_EQ(b.Fg, AnsiPalette[7]);
  EXPECT_FALSE(b.IceColors) << "reset leaves iCE colours alone";
  b.RestoreAttributes(saved);
  TTextAttributes again;
  b.SaveAttributes(again);
  EXPECT_EQ(saved, again);
}

TEST(TerminalBufferTest, WrappingIsImmediateAndItsScrollDeferred) {
  TTerminalBuffer b(80, 25);
  b.GotoXY(0, 5);
  Put(b, std::string(80, 'x'));
  EXPECT_EQ(b.CursorX, 0);
  EXPECT_EQ(b.CursorY, 6);
  b.CarriageReturn();
  b.NewLine(false);
  EXPECT_EQ(b.CursorY, 7);

  // The bottom-right cell: no scroll until more output comes.
  b.GotoXY(79, 24);
  b.WriteCharAt(0, 0, 'T');
  Put(b, "Z");
  EXPECT_TRUE(b.ScrollPending);
  EXPECT_EQ(Row(b, 0), "T");
  b.GotoXY(1, 1);
  EXPECT_FALSE(b.ScrollPending) << "an absolute move cancels a wrap's scroll";
  EXPECT_EQ(Row(b, 0), "T");
  EXPECT_EQ(b.GetCell(79, 24).Ch, 'Z');

  b.GotoXY(79, 24);
  Put(b, "Z");
  Put(b, "Q");
  EXPECT_EQ(Row(b, 0), "") << "the screen scrolled one line";
  EXPECT_EQ(b.GetCell(79, 23).Ch, 'Z');
  EXPECT_EQ(b.GetCell(0, 24).Ch, 'Q');
  EXPECT_EQ(b.CursorX, 1);
}

TEST(TerminalBufferTest, PutCharsMatchesPutChar) {
  TTerminalBuffer a(20, 4), b(20, 4);
  a.SetMargins(3, 1, 12, 2);
  b.SetMargins(3, 1, 12, 2);
  a.GotoXY(15, 0);
  b.GotoXY(15, 0);
  std::string text;
  for (int i = 0; i < 97; ++i) text += char('!' + i % 90);
  for (char c : text) a.PutChar(uint8_t(c));
  Put(b, text);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(a.GetRowText(r), b.GetRowText(r)) << "row " << r;
  EXPECT_EQ(a.CursorX, b.CursorX);
  EXPECT_EQ(a.CursorY, b.CursorY);
  EXPECT_EQ(a.ScrollPending, b.ScrollPending);
}

TEST(TerminalBufferTest, MovesPastAnEdgeClampAndKeepTheNextCharacter) {
  TTerminalBuffer b(80, 25);
  b.GotoXY(10, 3);
  b.MoveCursorBy(-255, 0);
  EXPECT_EQ(b.CursorX, 0);
  Put(b, "k");
  EXPECT_EQ(b.GetCell(0, 3).Ch, 'k');
  EXPECT_EQ(b.CursorX, 1);
  b.MoveCursorBy(0x7FFFFFFF, 0x7FFFFFFF);
  EXPECT_EQ(b.CursorX, 79);
  EXPECT_EQ(b.CursorY, 24);
  b.GotoXY(-1, -1);
  EXPECT_EQ(b.CursorX, 0);
  EXPECT_EQ(b.CursorY, 0);
}

TEST(TerminalBufferTest, Erasing) {
  TTerminalBuffer b(10, 3);
  for (int r = 0; r < 3; ++r) b.GotoXY(0, r), Put(b, "abcdefghij");
  b.SetBgIndex(4);
  b.SetUnderline(true);
  b.GotoXY(4, 1);
  b.EraseToEndOfLine();
  EXPECT_EQ(Row(b, 1), "abcd");
  TCell blank = b.GetCell(6, 1);
  EXPECT_EQ(blank.Bg, kBlue);
  EXPECT_FALSE(blank.Underline);
  b.EraseToStartOfScreen();
  EXPECT_EQ(Row(b, 0), "");
  EXPECT_EQ(b.GetRowText(1), "          ");
  EXPECT_EQ(Row(b, 2), "abcdefghij");
  b.GotoXY(7, 2);
  b.EraseToStartOfLine();
  EXPECT_EQ(b.GetRowText(2), "        ij");
  b.GotoXY(9, 0);
  b.EraseToEndOfScreen();
  EXPECT_EQ(b.GetRowText(2), "          ");
  EXPECT_EQ(b.CursorX, 9) << "erasing does not move the cursor";

  b.ClearScreen(false);
  EXPECT_EQ(b.GetCell(6, 1), DefaultCell()) << "a cleared screen is grey on black";
  b.WriteCharAt(2, 2, 'x');
  b.ClearRow(2);
  EXPECT_EQ(b.GetCell(2, 2), DefaultCell());
}

TEST(TerminalBufferTest, ClearScreenEventAndScrollback) {
  TTerminalBuffer b(80, 25);
  EXPECT_EQ(b.ScrollbackCount, 25) << "creation pushes its blank rows";
  int cleared = 0;
  b.OnCleared = [&](TTerminalBuffer* sender) {
    EXPECT_EQ(sender, &b);
    ++cleared;
  };
  b.SetMargins(0, 3, 79, 10);
  b.GotoXY(5, 5);
  b.ClearScreen(false);
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(b.ScrollbackCount, 25);
  EXPECT_EQ(b.MarginY0, 3) << "a clear without saving keeps the margins";
  b.ClearScreen(true);
  EXPECT_EQ(b.ScrollbackCount, 50);
  EXPECT_EQ(b.MarginY0, 0);
  EXPECT_EQ(b.CursorX, 0);
}

TEST(TerminalBufferTest, LineFeedsScrollIntoTheRing) {
  TTerminalBuffer b(80, 25);
  int scrolled = 0;
  b.OnScrolled = [&](int lines) { scrolled += lines; };
  for (int i = 0; i < 30; ++i) b.NewLine(false);
  EXPECT_EQ(b.ScrollbackCount, 25 + 5);
  EXPECT_TRUE(b.ScrollPending);
  EXPECT_EQ(b.PendingScrollLines, 1);
  EXPECT_EQ(b.CursorY, 24);
  EXPECT_EQ(scrolled, 5);
}

// A status row at the bottom is not the board's: the board's rows scroll
// into the scrollback as a screen without it does, the status row stays
// where it is, and no cursor request reaches it.
TEST(TerminalBufferTest, ReservedRowStaysAndTheBoardScrollsIntoTheRing) {
  TTerminalBuffer b(80, 26);
  b.SetReservedRows(1);
  EXPECT_EQ(b.MarginY1, 24);
  EXPECT_TRUE(b.MarginsAreFullGrid());
  NumberRows(b);
  int before = b.ScrollbackCount;
  int scrolled = 0;
  b.OnScrolled = [&](int lines) { scrolled += lines; };
  b.GotoXY(0, 24);
  b.NewLine(false);
  b.NewLine(false);
  b.ResolvePendingScroll();
  EXPECT_EQ(scrolled, 2);
  ASSERT_EQ(b.ScrollbackCount, before + 2);
  EXPECT_EQ(b.GetScrollbackLine(before)[0].Ch, 'A');
  EXPECT_EQ(b.GetScrollbackLine(before + 1)[0].Ch, 'B');
  EXPECT_EQ(b.GetCell(0, 0).Ch, 'C');
  EXPECT_EQ(b.GetCell(0, 22).Ch, 'Y');
  EXPECT_EQ(b.GetCell(0, 23).Ch, ' ');
  EXPECT_EQ(b.GetCell(0, 24).Ch, ' ');
  EXPECT_EQ(b.GetCell(0, 25).Ch, 'Z') << "the status row is not touched";

  // Absolute and relative moves alike stop on the board's last row.
  b.GotoXY(3, 25);
  EXPECT_EQ(b.CursorY, 24);
  b.MoveCursorBy(0, 9);
  EXPECT_EQ(b.CursorY, 24);

  // A region smaller than the board still scrolls in place.
  b.SetMargins(0, 2, 79, 10);
  EXPECT_FALSE(b.MarginsAreFullGrid());
  before = b.ScrollbackCount;
  b.GotoXY(0, 10);
  b.NewLine(false);
  b.ResolvePendingScroll();
  EXPECT_EQ(b.ScrollbackCount, before);
}

// Turning a status row on, or a resize, pulls a cursor on the new status row
// back onto the board.
TEST(TerminalBufferTest, CursorLeavesANewlyReservedRow) {
  TTerminalBuffer b(80, 25);
  b.GotoXY(5, 24);
  b.SetReservedRows(1);
  EXPECT_EQ(b.CursorY, 23);
  b.Resize(80, 20);
  EXPECT_EQ(b.CursorY, 18);
  EXPECT_EQ(b.CursorX, 5);
}

TEST(TerminalBufferTest, Margins) {
  TTerminalBuffer b(80, 25);
  b.SetMargins(0, 5, 79, 3);
  EXPECT_EQ(b.MarginY0, 0);
  EXPECT_EQ(b.MarginY1, 24);
  b.SetMargins(-3, 2, 200, 200);
  EXPECT_EQ(b.MarginX0, 0);
  EXPECT_EQ(b.MarginY0, 2);
  EXPECT_EQ(b.MarginX1, 79);
  EXPECT_EQ(b.MarginY1, 24);
  b.SetReservedRows(2);
  EXPECT_EQ(b.MarginY0, 0);
  EXPECT_EQ(b.MarginY1, 22);
  EXPECT_EQ(b.VisibleRows(), 23);
  b.SetReservedRows(100);
  EXPECT_EQ(b.VisibleRows(), 1);
}

TEST(TerminalBufferTest, LineEdits) {
  struct Case {
    const char* Name;
    int X0, X1;  // left and right margins; rows 5..20
    bool Insert;
    int From, N;
    std::string Column0;  // letters of rows 0..24 in column X0 afterwards
  };
  const std::string all = "ABCDEFGHIJKLMNOPQRSTUVWXY";
  const Case cases[] = {
      {"delete clipped to the margin", 0, 79, false, 10, 100, "ABCDEFGHIJ           VWXY"},
      {"delete from above the margin acts from its top", 0, 79, false, 2, 1, "ABCDEGHIJKLMNOPQRSTU VWXY"},
      {"insert two", 0, 79, true, 7, 2, "ABCDEFG  HIJKLMNOPQRSVWXY"},
      {"delete inside side margins", 3, 9, false, 6, 3, "ABCDEFJKLMNOPQRSTU   VWXY"},
      {"insert inside side margins", 3, 9, true, 19, 5, "ABCDEFGHIJKLMNOPQRS  VWXY"},
      {"nothing below the region", 0, 79, false, 21, 1, "ABCDEFGHIJKLMNOPQRSTUVWXY"},
      {"nothing for zero", 0, 79, true, 6, 0, "ABCDEFGHIJKLMNOPQRSTUVWXY"},
  };
  for (const Case& c : cases) {
    TTerminalBuffer b(80, 25);
    for (int r = 0; r < 25; ++r)
      for (int col = 0; col < 80; ++col) b.WriteCharAt(col, r, uint8_t(all[size_t(r)]));
    b.SetMargins(c.X0, 5, c.X1, 20);
    if (c.Insert)
      b.InsertLines(c.From, c.N);
    else
      b.DeleteLines(c.From, c.N);
    std::string got;
    for (int r = 0; r < 25; ++r) got += char(b.GetCell(c.X0, r).Ch);
    EXPECT_EQ(got, c.Column0) << c.Name;
    if (c.X0 > 0) {
      std::string outside;
      for (int r = 0; r < 25; ++r) outside += char(b.GetCell(c.X0 - 1, r).Ch);
      EXPECT_EQ(outside, all) << c.Name << ": cells left of the margin stay";
    }
  }
}

TEST(TerminalBufferTest, RingKeepsTheNewest2000Rows) {
  TTerminalBuffer b(4, 2);
  b.ClearScreen(false);
  TTerminalBuffer fresh(4, 2);
  int base = b.ScrollbackCount;  // 2 from creation
  for (int i = 0; i < 2500 - base; ++i) {
    TCellRow row(3, DefaultCell());
    row[0].Ch = uint8_t(i % 251);
    b.PushScrollback(row);
  }
  EXPECT_EQ(b.ScrollbackCount, 2000);
  // 2500 rows pushed in all: row 0 of the ring is the 501st.
  EXPECT_EQ(b.GetScrollbackLine(0)[0].Ch, uint8_t((500 - base) % 251));
  EXPECT_EQ(b.GetScrollbackLine(0).size(), 3u) << "rows keep their width";
  EXPECT_TRUE(b.GetScrollbackLine(2000).empty());
  EXPECT_TRUE(b.GetScrollbackLine(-1).empty());
}

TEST(TerminalBufferTest, ScrollbackView) {
  TTerminalBuffer b(80, 25);
  for (int i = 0; i < 30; ++i) {
    Put(b, "line" + std::to_string(i));
    b.CarriageReturn();
    b.NewLine(false);
  }
  b.ResolvePendingScroll();
  // Lines 0..5 went to the ring; live row 0 holds line 6.
  b.SetScrollbackView(3);
  EXPECT_TRUE(b.IsScrolledBack());
  EXPECT_EQ(b.GetDisplayRowText(0).substr(0, 5), "line3");
  EXPECT_EQ(b.GetDisplayRowText(2).substr(0, 5), "line5");
  EXPECT_EQ(b.GetDisplayRowText(3).substr(0, 5), "line6");
  EXPECT_EQ(b.GetDisplayCell(100, 0), DefaultCell());
  b.SetScrollbackView(100000);
  EXPECT_EQ(b.ScrollbackView, b.ScrollbackCount);
  b.Dirty = false;
  b.SetScrollbackView(b.ScrollbackCount);
  EXPECT_FALSE(b.Dirty) << "an unchanged view is no change";
}

TEST(TerminalBufferTest, AlternateScreen) {
  TTerminalBuffer b(80, 25);
  Put(b, "main");
  b.EnterAltScreen();
  EXPECT_EQ(Row(b, 0), "");
  Put(b, "alt");
  b.EnterAltScreen();
  EXPECT_EQ(Row(b, 0), "alt") << "a second enter changes nothing";
  b.LeaveAltScreen();
  EXPECT_EQ(Row(b, 0), "main");
  EXPECT_EQ(b.CursorX, 4);

  b.EnterAltScreen();
  b.Resize(132, 25);
  b.LeaveAltScreen();
  EXPECT_EQ(b.FWidth, 132);
  EXPECT_EQ(Row(b, 0), "");
  EXPECT_EQ(b.CursorX, 0);
}

TEST(TerminalBufferTest, ResizeKeepsTheTopLeft) {
  TTerminalBuffer b(80, 25);
  b.WriteCharAt(39, 9, 'k');
  b.WriteCharAt(40, 9, 'x');
  b.GotoXY(60, 20);
  b.NewLine(false);
  b.Resize(40, 10);
  EXPECT_EQ(b.GetCell(39, 9).Ch, 'k');
  EXPECT_EQ(b.CursorX, 39);
  EXPECT_EQ(b.CursorY, 9);
  EXPECT_EQ(b.MarginX1, 39);
  EXPECT_EQ(b.MarginY1, 9);
  b.Resize(100000, -4);
  EXPECT_EQ(b.FWidth, TTerminalBuffer::MaxWidth);
  EXPECT_EQ(b.FHeight, 1);
}

TEST(TerminalBufferTest, CollectChangedRowsReportsOnceAfterTwoScans) {
  TTerminalBuffer b(80, 25);
  std::vector<std::string> lines, rows;
  b.CollectChangedRows(&lines, &rows);
  EXPECT_TRUE(lines.empty());
  b.GotoXY(2, 4);
  Put(b, "Hello\x01");
  for (int scan = 1; scan <= 3; ++scan) {
    lines.clear();
    rows.clear();
    b.CollectChangedRows(&lines, &rows);
    if (scan == 2) {
      EXPECT_EQ(lines, std::vector<std::string>{"  Hello"});
      EXPECT_EQ(rows, std::vector<std::string>{"4"});
    } else {
      EXPECT_TRUE(lines.empty()) << "scan " << scan;
    }
  }
  b.ClearRow(4);
  for (int scan = 0; scan < 3; ++scan) {
    lines.clear();
    b.CollectChangedRows(&lines, nullptr);
    EXPECT_TRUE(lines.empty()) << "a row that went blank is not spoken";
  }
}

}  // namespace
