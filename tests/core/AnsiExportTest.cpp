// ANSI and text export: exact bytes for small screens and histories.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/uAnsiExport.h"
#include "core/uAnsiParser.h"

namespace {

std::string Str(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

void Write(TTerminalBuffer& b, int col, int row, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) b.WriteCharAt(col + int(i), row, uint8_t(text[i]));
}

TEST(AnsiExportTest, PaletteMatch) {
  EXPECT_EQ(FindStandardPaletteIndex({0xAA, 0x55, 0x00}), 3);
  EXPECT_EQ(FindStandardPaletteIndex({0xAB, 0x55, 0x00}), -1);
  EXPECT_EQ(FindStandardPaletteIndex({0xFF, 0xFF, 0xFF}), 15);
}

TEST(AnsiExportTest, SgrPerCell) {
  struct Row {
    const char* Name;
    TCell Cell;
    const char* Sgr;
  } rows[] = {
      {"bright white on blue", {'x', AnsiPalette[15], AnsiPalette[4]}, "\x1b[0;37;1;44m"},
      {"rgb foreground underlined", {'x', {1, 2, 3}, AnsiPalette[0], false, false, true}, "\x1b[0;38;2;1;2;3;40;4m"},
      {"brown is palette 3", {'x', {0xAA, 0x55, 0}, AnsiPalette[0]}, "\x1b[0;33;40m"},
      {"near brown is rgb", {'x', {0xAB, 0x55, 0}, AnsiPalette[0]}, "\x1b[0;38;2;171;85;0;40m"},
      {"bold on grey", {'x', AnsiPalette[7], AnsiPalette[0], true}, "\x1b[0;37;1;40m"},
      {"bright background", {'x', AnsiPalette[7], AnsiPalette[9]}, "\x1b[0;37;41;5m"},
      {"rgb background blinking reversed",
       {'x', AnsiPalette[7], {9, 8, 7}, false, true, false, true},
       "\x1b[0;37;48;2;9;8;7;7;5m"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TTerminalBuffer b(1, 1);
    b.SetCell(0, 0, r.Cell);
    std::vector<uint8_t> out;
    ExportScreenAnsi(b, out);
    EXPECT_EQ(Str(out), std::string("\x1b[0m") + r.Sgr + "x\x1b[0m");
  }
}

TEST(AnsiExportTest, ScreenRunsAcrossRowsWithoutLineBreaks) {
  TTerminalBuffer b(3, 2);
  Write(b, 0, 0, "ab");
  b.SetCell(2, 0, TCell{0, AnsiPalette[7], AnsiPalette[0]});  // NUL shows as a space
  b.SetCell(0, 1, TCell{'c', AnsiPalette[1], AnsiPalette[0]});
  std::vector<uint8_t> out;
  ExportScreenAnsi(b, out);
  // Full rows wrap by themselves on replay: no CR LF between them.
  EXPECT_EQ(Str(out), "\x1b[0m\x1b[0;37;40mab \x1b[0;31;40mc\x1b[0;37;40m  \x1b[0m");
  // The view is honoured: scrolled back one row, the old row shows on top.
  b.PushScrollback(TCellRow(3, TCell{'o', AnsiPalette[7], AnsiPalette[0]}));
  b.SetScrollbackView(1);
  ExportScreenAnsi(b, out);
  EXPECT_EQ(Str(out), "\x1b[0m\x1b[0;37;40mooo" "ab \x1b[0m");
}

class HistoryTest : public ::testing::Test {
 protected:
  HistoryTest() : B(6, 5) {
    // The creating clear pushed five blank rows into the scrollback.
    Write(B, 0, 1, "hi");
    Write(B, 0, 4, "end");
  }
  TTerminalBuffer B;
};

TEST_F(HistoryTest, TextTrimsAndConverts) {
  int lines = -1;
  std::vector<uint8_t> out;
  B.WriteCharAt(3, 1, 0x82);  // e acute
  B.WriteCharAt(4, 1, 0x07);  // a control character shows as a space
  B.WriteCharAt(5, 1, 'x');
  ExportBufferText(B, false, lines, out);
  EXPECT_EQ(Str(out), "\xEF\xBB\xBFhi \xC3\xA9 x\r\n\r\n\r\nend\r\n");
  EXPECT_EQ(lines, 4);
  ExportBufferText(B, true, lines, out);
  // Row 1 fills its last column: no CR LF after it.
  EXPECT_EQ(Str(out),
            "\x1b[0m\x1b[0;37;40mhi \x82\x07x\x1b[0m"
            "\r\n\r\n\x1b[0;37;40mend\x1b[0m\r\n\x1b[0m");
}

TEST_F(HistoryTest, ColouredBlanksAreKept) {
  // Spaces on red are not blank; trailing spaces on black are cut.
  B.SetCell(3, 2, TCell{' ', AnsiPalette[7], AnsiPalette[1]});
  int lines = -1;
  std::vector<uint8_t> out;
  ExportBufferText(B, false, lines, out);
  EXPECT_EQ(Str(out), "\xEF\xBB\xBFhi\r\n    \r\n\r\nend\r\n");
  EXPECT_EQ(lines, 4);
}

TEST(AnsiExportHistory, EmptyBuffer) {
  TTerminalBuffer b(10, 3);
  int lines = -1;
  std::vector<uint8_t> out;
  ExportBufferText(b, false, lines, out);
  EXPECT_EQ(Str(out), "\xEF\xBB\xBF");
  EXPECT_EQ(lines, 0);
  ExportBufferText(b, true, lines, out);
  EXPECT_EQ(Str(out), "\x1b[0m\x1b[0m");
}

}  // namespace

// ---- Exports replayed through the ANSI-BBS parser give the same screen.

namespace {

void Replay(const std::vector<uint8_t>& bytes, TTerminalBuffer& into) {
  TAnsiParser parser(&into);
  parser.Feed(bytes.data(), bytes.size());
}

// What the eye sees of a cell: a NUL shows as a space; bold and blink are
// carried by the colours they selected.
bool SameLook(const TCell& a, const TCell& b) {
  auto ch = [](uint8_t c) { return c == 0 ? uint8_t(' ') : c; };
  return ch(a.Ch) == ch(b.Ch) && a.Fg == b.Fg && a.Bg == b.Bg && a.Underline == b.Underline && a.Reverse == b.Reverse;
}

TEST(AnsiExportReplay, ScreenExportReplaysIntoTheSameScreen) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    TTerminalBuffer screen(80, 25);
    for (int r = 0; r < 25; ++r)
      for (int c = 0; c < 80; ++c) {
        TCell cell;
        int pick = int(rng() % 10);
        cell.Ch = pick == 0 ? 0 : uint8_t(32 + rng() % 224);  // NUL, ASCII and the upper half
        if (cell.Ch == 127) cell.Ch = 0xB1;
        cell.Fg = pick < 7 ? AnsiPalette[rng() % 16] : TColorRGB{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        cell.Bg = pick < 8 ? AnsiPalette[rng() % 16] : TColorRGB{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        cell.Underline = rng() % 7 == 0;
        cell.Reverse = rng() % 9 == 0;
        screen.SetCell(c, r, cell);
      }
    std::vector<uint8_t> bytes;
    ExportScreenAnsi(screen, bytes);
    TTerminalBuffer replayed(80, 25);
    Replay(bytes, replayed);
    for (int r = 0; r < 25; ++r)
      for (int c = 0; c < 80; ++c)
        ASSERT_TRUE(SameLook(screen.GetCell(c, r), replayed.GetCell(c, r))) << "cell " << c << "," << r;
    // The bottom-right cell was written without scrolling the screen away.
    EXPECT_EQ(replayed.ScrollbackCount, 25);  // only the rows of the creating clear
  }
}

TEST(AnsiExportReplay, HistoryExportKeepsRowsThatFillTheirWidth) {
  TTerminalBuffer b(10, 4);
  Write(b, 0, 0, "full row!!");  // fills the last column
  Write(b, 0, 1, "short");
  Write(b, 0, 3, "0123456789");
  b.SetCell(9, 3, TCell{'9', AnsiPalette[14], AnsiPalette[4]});
  int lines = 0;
  std::vector<uint8_t> bytes;
  ExportBufferText(b, true, lines, bytes);
  EXPECT_EQ(lines, 4);
  TTerminalBuffer replayed(10, 6);
  Replay(bytes, replayed);
  for (int r = 0; r < 4; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(replayed.GetRowText(r), b.GetRowText(r));
    for (int c = 0; c < 10; ++c)
      if (b.GetCell(c, r).Ch != ' ') {
        EXPECT_TRUE(SameLook(b.GetCell(c, r), replayed.GetCell(c, r))) << c;
      }
  }
  EXPECT_EQ(replayed.GetRowText(4), std::string(10, ' '));

  // A row that filled a narrower screen before a resize does not fill the
  // wider one: it keeps its line break.
  TTerminalBuffer resized(6, 2);
  Write(resized, 0, 0, "abcdef");
  resized.ClearScreen(true);
  resized.Resize(10, 2);
  Write(resized, 0, 0, "gh");
  ExportBufferText(resized, true, lines, bytes);
  TTerminalBuffer wide(10, 4);
  Replay(bytes, wide);
  EXPECT_EQ(wide.GetRowText(0), "abcdef    ");
  EXPECT_EQ(wide.GetRowText(1), std::string(10, ' '));
  EXPECT_EQ(wide.GetRowText(2), "gh        ");
}

}  // namespace
