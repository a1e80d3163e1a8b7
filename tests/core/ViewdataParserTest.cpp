// Viewdata and Mode 7: serial attributes in their three wire forms (raw
// control bytes, Prestel ESC pairs, Mode 7 high bytes), mosaics, hold,
// conceal, backgrounds, and whole pages as Prestel and BBC boards send them.
#include <gtest/gtest.h>

#include "core/uControlChars.h"
#include "core/uViewdataParser.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

constexpr TColorRGB kBlack = ViewdataPalette[0];
constexpr TColorRGB kRed = ViewdataPalette[1];
constexpr TColorRGB kYellow = ViewdataPalette[3];
constexpr TColorRGB kBlue = ViewdataPalette[4];
constexpr TColorRGB kWhite = ViewdataPalette[7];

// Attribute codes.
enum : uint8_t {
  AlphaRed = 0x01, AlphaYellow = 0x03, AlphaBlue = 0x04, AlphaCyan = 0x06, AlphaWhite = 0x07,
  Flash = 0x08, Steady = 0x09, MosaicRed = 0x11, MosaicGreen = 0x12, MosaicWhite = 0x17,
  Conceal = 0x18, BlackBackground = 0x1C, NewBackground = 0x1D, Hold = 0x1E,
};

constexpr uint8_t kFull = 176 + 43;  // CP437 219, all six sextants

std::unique_ptr<TTextEmulation> MakeViewdata(TTerminalBuffer& B, const TEmulationCase&) {
  return std::make_unique<TViewdataParser>(B);
}

std::string Prestel(uint8_t Code) { return Bytes({cc::ESC, Code + 0x40}); }
std::string Mode7(uint8_t Code) { return Bytes({Code + 0x80}); }

}  // namespace

TEST(ViewdataParserTest, Table) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "alpha text is white on black",
       .Feeds = {"A"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kWhite, .Bg = kBlack, .Blink = false}}},
      {.Name = "raw mosaic red: shades by lit sextants, capitals blast through",
       .Feeds = {Bytes({MosaicRed, 0x7F, 0x21, 0x23, 0x27, 0x41, 0x20})},
       .Cells = {{.Col = 0, .Row = 0, .Ch = kFull, .Fg = kRed},
                 {.Col = 1, .Row = 0, .Ch = 176},
                 {.Col = 2, .Row = 0, .Ch = 176},
                 {.Col = 3, .Row = 0, .Ch = 177},
                 {.Col = 4, .Row = 0, .Ch = 'A', .Fg = kRed},
                 {.Col = 5, .Row = 0, .Ch = ' '}},
       .CursorX = 6},
      {.Name = "bit 32 is not a sextant", .Feeds = {Bytes({MosaicRed, 0x3F, 0x7E})},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 178}, {.Col = 1, .Row = 0, .Ch = 178}}},
      {.Name = "conceal hides until the next row",
       .Feeds = {Bytes({Conceal}) + "X\nX"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = ' '}, {.Col = 1, .Row = 1, .Ch = 'X'}}},
      {.Name = "new background then black background",
       .Feeds = {Bytes({AlphaRed, NewBackground}) + "A" + Bytes({BlackBackground}) + "B"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kRed, .Bg = kRed},
                 {.Col = 1, .Row = 0, .Ch = 'B', .Fg = kRed, .Bg = kBlack}}},
      {.Name = "hold shows the held mosaic in the attribute's cell",
       .Feeds = {Bytes({MosaicRed, 0x7F, Hold, AlphaYellow}) + "ab"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = kFull, .Fg = kRed},
                 {.Col = 1, .Row = 0, .Ch = kFull, .Fg = kYellow},
                 {.Col = 2, .Row = 0, .Ch = 'a', .Fg = kYellow}}},
      {.Name = "without hold a raw attribute takes no cell",
       .Feeds = {Bytes({MosaicRed, 0x7F, AlphaYellow}) + "ab"},
       .Cells = {{.Col = 1, .Row = 0, .Ch = 'a', .Fg = kYellow}}},
      {.Name = "flash blinks on a black background, steady stops it",
       .Feeds = {Bytes({Flash}) + "F" + Bytes({Steady}) + "S"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'F', .Bg = kBlack, .Blink = true},
                 {.Col = 1, .Row = 0, .Ch = 'S', .Blink = false}}},
      {.Name = "Prestel ESC A is alpha red and takes a cell",
       .Feeds = {Prestel(AlphaRed) + "x"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = ' '}, {.Col = 1, .Row = 0, .Ch = 'x', .Fg = kRed}}},
      {.Name = "Prestel attribute split after ESC",
       .Feeds = {Bytes({cc::ESC}), Bytes({0x41}) + "x"},
       .Cells = {{.Col = 1, .Row = 0, .Ch = 'x', .Fg = kRed}}},
      {.Name = "Mode 7 byte 0x81 is alpha red and takes a cell",
       .Feeds = {Mode7(AlphaRed) + "x"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = ' '}, {.Col = 1, .Row = 0, .Ch = 'x', .Fg = kRed}}},
      {.Name = "Mode 7 characters with bit 7 set show as 7-bit",
       .Feeds = {Bytes({0xC1}) + Mode7(MosaicRed) + Bytes({0xFF})},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A'}, {.Col = 2, .Row = 0, .Ch = kFull, .Fg = kRed}}},
      {.Name = "ESC before a byte outside 0x40..0x5F leaves the byte as it is",
       .Feeds = {Bytes({cc::ESC, 0x60, cc::ESC, 0x3F})},
       .Rows = {{0, "`?"}}},
      {.Name = "a lone ESC under hold shows the held mosaic like any raw attribute",
       .Feeds = {Bytes({MosaicRed, 0x7F, Hold, cc::ESC, 0x60})},
       .Cells = {{.Col = 1, .Row = 0, .Ch = kFull, .Fg = kRed}, {.Col = 2, .Row = 0, .Ch = 176}},
       .CursorX = 3},
      {.Name = "Mode 7 new background is drawn in its own cell",
       .Feeds = {Mode7(AlphaBlue) + Mode7(NewBackground) + Mode7(AlphaWhite) + "W"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = ' ', .Bg = kBlack},
                 {.Col = 1, .Row = 0, .Ch = ' ', .Bg = kBlue},
                 {.Col = 3, .Row = 0, .Ch = 'W', .Fg = kWhite, .Bg = kBlue}}},
      {.Name = "a spacing attribute under hold shows the held mosaic",
       .Feeds = {Prestel(MosaicRed) + Prestel(Hold) + Bytes({0x7F}) + Prestel(AlphaYellow) + "y"},
       .Cells = {{.Col = 1, .Row = 0, .Ch = ' '}, {.Col = 2, .Row = 0, .Ch = kFull},
                 {.Col = 3, .Row = 0, .Ch = kFull, .Fg = kYellow}, {.Col = 4, .Row = 0, .Ch = 'y'}}},
      {.Name = "each row starts white alphanumerics on black",
       .Feeds = {Prestel(MosaicRed) + Prestel(NewBackground) + "\r\n" + "ab"},
       .Cells = {{.Col = 0, .Row = 1, .Ch = 'a', .Fg = kWhite, .Bg = kBlack}}},
      {.Name = "a row entered by wrapping starts from the defaults too",
       .Feeds = {Prestel(MosaicRed) + Times(39, Bytes({0x7F})) + "ab"},
       .Cells = {{.Col = 39, .Row = 0, .Ch = kFull}, {.Col = 0, .Row = 1, .Ch = 'a', .Fg = kWhite}}},
      {.Name = "a return starts the row again",
       .Feeds = {Bytes({AlphaRed}) + "ab\rc"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'c', .Fg = kWhite}, {.Col = 1, .Row = 0, .Ch = 'b', .Fg = kRed}}},
      {.Name = "form feed clears and resets",
       .Feeds = {Bytes({MosaicRed}) + "ab" + Bytes({cc::FF}) + "b"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'b', .Fg = kWhite}},
       .Rows = {{0, "b"}}},
      {.Name = "a stream of 2000 attribute bytes runs off the screen and scrolls",
       .Feeds = {Times(1000, Prestel(AlphaRed)) + Times(1000, Mode7(AlphaYellow)) + "z"},
       .Cells = {{.Col = 0, .Row = 23, .Ch = 'z'}},
       .CursorX = 1, .CursorY = 23},
  };
  RunCases(40, 24, cases, MakeViewdata);
}

namespace {

// A teletext page as its 7-bit cell codes: 24 rows of 40, attribute codes
// below 32 in the cell they occupy.
struct TPage {
  std::vector<std::string> Rows;
  void Add(const std::string& Cells) { Rows.push_back((Cells + std::string(40, ' ')).substr(0, 40)); }
};

TPage SamplePage() {
  TPage p;
  p.Add(" P100   KORVAN Viewdata    Thu 10 Dec");
  p.Add(Bytes({AlphaRed}) + "Red text" + Bytes({AlphaYellow}) + "Yellow");
  p.Add(Bytes({MosaicGreen}) + std::string(10, 0x7F) + Bytes({AlphaCyan}) + "Gfx");
  p.Add(Bytes({AlphaBlue, NewBackground, AlphaWhite}) + "On blue");
  p.Add("plain");
  p.Add(Bytes({Flash}) + "Flash" + Bytes({Steady}) + "Steady");
  p.Add(Bytes({MosaicRed, Hold}) + Bytes({0x7F, AlphaYellow}) + "Y");
  p.Add(Bytes({Conceal}) + "secret");
  p.Add(Bytes({MosaicWhite}) + "ABC" + Bytes({0x35}));
  while (p.Rows.size() < 24) p.Add("");
  return p;
}

// Prestel: each attribute as ESC and the code plus 0x40.
std::string PrestelForm(const TPage& P) {
  std::string s = Bytes({cc::FF});
  for (const std::string& row : P.Rows)
    for (char c : row) s += uint8_t(c) < 0x20 ? Prestel(uint8_t(c)) : std::string(1, c);
  return s;
}

// Mode 7 screen bytes: attributes plus 0x80, and the mosaic-range bytes of
// graphics rows with bit 7 set as a BBC editor stores them.
std::string Mode7Form(const TPage& P) {
  std::string s = Bytes({cc::FF});
  for (const std::string& row : P.Rows) {
    bool mosaic = false;
    for (char ch : row) {
      const uint8_t c = uint8_t(ch);
      if (c < 0x20) {
        mosaic = c >= 0x10 && c <= 0x17 ? true : (c <= 0x07 ? false : mosaic);
        s += Mode7(c);
      } else {
        s.push_back(char(mosaic ? c | 0x80 : c));
      }
    }
  }
  return s;
}

void CheckSamplePage(const TTerminalBuffer& b, int CursorRow) {
  EXPECT_EQ(RawRow(b, 0), " P100   KORVAN Viewdata    Thu 10 Dec");
  EXPECT_EQ(RawRow(b, 1), " Red text Yellow");
  EXPECT_EQ(b.GetCell(1, 1).Fg, kRed);
  EXPECT_EQ(b.GetCell(10, 1).Fg, kYellow);
  EXPECT_EQ(RawRow(b, 2), " " + std::string(10, char(kFull)) + " Gfx");
  EXPECT_EQ(b.GetCell(1, 2).Fg, ViewdataPalette[2]);
  EXPECT_EQ(b.GetCell(12, 2).Fg, ViewdataPalette[6]);
  EXPECT_EQ(RawRow(b, 3), "   On blue");
  EXPECT_EQ(b.GetCell(3, 3).Fg, kWhite);
  EXPECT_EQ(b.GetCell(3, 3).Bg, kBlue);
  EXPECT_EQ(b.GetCell(39, 3).Bg, kBlue);
  EXPECT_EQ(RawRow(b, 4), "plain");
  EXPECT_EQ(b.GetCell(0, 4).Bg, kBlack);
  EXPECT_TRUE(b.GetCell(1, 5).Blink);
  EXPECT_FALSE(b.GetCell(7, 5).Blink);
  EXPECT_EQ(b.GetCell(7, 5).Ch, 'S');
  EXPECT_EQ(b.GetCell(3, 6).Ch, kFull);  // the held mosaic fills the attribute cell
  EXPECT_EQ(b.GetCell(4, 6).Ch, 'Y');
  EXPECT_EQ(RawRow(b, 7), "");
  EXPECT_EQ(RawRow(b, 8), " ABC" + Bytes({177}));
  EXPECT_EQ(RawRow(b, 9), "");
  EXPECT_EQ(b.CursorX, 0);  // 24 full rows wrap onto the row below the last
  EXPECT_EQ(b.CursorY, CursorRow);
}

}  // namespace

TEST(ViewdataParserTest, PrestelPage) {
  TTerminalBuffer b(40, 24);
  TViewdataParser p(b);
  FeedAll(p, PrestelForm(SamplePage()));
  CheckSamplePage(b, 23);  // on 24 rows the scroll waits for the next write
}

TEST(ViewdataParserTest, Mode7Page) {
  TTerminalBuffer b(40, 25);
  TViewdataParser p(b);
  FeedAll(p, Mode7Form(SamplePage()));
  CheckSamplePage(b, 24);
}

TEST(ViewdataParserTest, BothWireFormsDrawTheSameCells) {
  TTerminalBuffer prestel(40, 24), mode7(40, 24);
  TViewdataParser a(prestel), m(mode7);
  FeedAll(a, PrestelForm(SamplePage()));
  FeedAll(m, Mode7Form(SamplePage()));
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 40; ++c) EXPECT_EQ(prestel.GetCell(c, r), mode7.GetCell(c, r)) << c << "," << r;
}
