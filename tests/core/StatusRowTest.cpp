// A status row reserved at the bottom of the screen under every text
// emulation: no cursor command of a board reaches it, the board's own rows
// scroll above it into the scrollback, and what it shows is never moved.
// Each row feeds an 80 x 26 screen whose last row is reserved and marked.
#include <gtest/gtest.h>

#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uControlChars.h"
#include "core/uPetsciiParser.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

constexpr int kWidth = 80;
constexpr int kHeight = 26;
constexpr int kBoardBottom = kHeight - 2;  // the board's last row
const std::string kStatus(kWidth, 'S');    // what the status row holds throughout

enum : int { VT52, Avatar, Petscii, Atascii, Ascii, Viewdata };

// PETSCII and ATASCII codes used below.
enum : uint8_t { PDown = 17, PRight = 29, AUp = 28, ADown = 29, ADelLine = 156, AInsLine = 157, AEol = 155 };

std::unique_ptr<TTextEmulation> Make(TTerminalBuffer& B, const TEmulationCase& C) {
  switch (C.Flags) {
    case VT52: return std::make_unique<TVT52Parser>(B);
    case Avatar: return std::make_unique<TAvatarParser>(B);
    case Petscii: return std::make_unique<TPetsciiParser>(B, TPetsciiParser::pmPetscii);
    case Atascii: return std::make_unique<TPetsciiParser>(B, TPetsciiParser::pmAtascii);
    case Ascii: return std::make_unique<TAsciiParser>(B);
    default: return std::make_unique<TViewdataParser>(B);
  }
}

std::string Vt52Goto(int Row, int Col) { return Bytes({cc::ESC, 'Y', Row + 32, Col + 32}); }
std::string AvatarGoto(int Row, int Col) { return Bytes({cc::SYN, cc::BS, Row + 1, Col + 1}); }

// Board rows 0..24 numbered "A".."Y" in column 0, through the emulation's own
// line ends.
std::string NumberedRows(const std::string& LineEnd) {
  std::string s;
  for (int r = 0; r <= kBoardBottom; ++r) {
    s.push_back(char('A' + r));
    if (r < kBoardBottom) s += LineEnd;
  }
  return s;
}

}  // namespace

TEST(StatusRowTest, EveryEmulationKeepsTheBoardAboveIt) {
  const std::string crlf = "\r\n";
  const std::string petsciiReturn = Bytes({cc::CR});
  const std::string atasciiEol = Bytes({AEol});
  const std::vector<TEmulationCase> cases = {
      {.Name = "VT52 ESC Y onto the status row stops above it",
       .Feeds = {Vt52Goto(kHeight - 1, 3) + "X"},
       .Cells = {{.Col = 3, .Row = kBoardBottom, .Ch = 'X'}},
       .CursorY = kBoardBottom,
       .Flags = VT52},
      {.Name = "VT52 ESC Y far below, then a line feed scrolls the board once",
       .Feeds = {NumberedRows(crlf) + Vt52Goto(90, 0) + "#\nZ"},
       .Rows = {{0, "B"}, {kBoardBottom - 2, "X"}, {kBoardBottom - 1, "#"}, {kBoardBottom, " Z"}},
       .CursorY = kBoardBottom,
       .Flags = VT52},
      {.Name = "VT52 ESC B repeated stops on the board's last row",
       .Feeds = {Vt52Goto(20, 0) + Bytes({cc::ESC, 'B', cc::ESC, 'B', cc::ESC, 'B', cc::ESC, 'B', cc::ESC, 'B',
                                          cc::ESC, 'B'}) + "X"},
       .Cells = {{.Col = 0, .Row = kBoardBottom, .Ch = 'X'}},
       .Flags = VT52},
      {.Name = "Avatar goto onto the status row stops above it",
       .Feeds = {AvatarGoto(kHeight - 1, 5) + "X"},
       .Cells = {{.Col = 5, .Row = kBoardBottom, .Ch = 'X'}},
       .CursorY = kBoardBottom,
       .Flags = Avatar},
      {.Name = "Avatar cursor down stops on the board's last row",
       .Feeds = {AvatarGoto(kBoardBottom - 1, 0) + Times(4, Bytes({cc::SYN, cc::EOT})) + "X"},
       .Cells = {{.Col = 0, .Row = kBoardBottom, .Ch = 'X'}},
       .Flags = Avatar},
      {.Name = "PETSCII cursor down on the board's last row scrolls the board",
       .Feeds = {NumberedRows(petsciiReturn) + Bytes({PDown}) + "Z"},
       .Rows = {{0, "B"}, {kBoardBottom - 1, "Y"}, {kBoardBottom, " Z"}},
       .CursorY = kBoardBottom,
       .Flags = Petscii},
      {.Name = "PETSCII cursor right off the board's bottom-right cell scrolls the board",
       .Feeds = {NumberedRows(petsciiReturn) + std::string(kWidth - 2, ' ') + Bytes({PRight}) + "Z"},
       .Rows = {{0, "B"}, {kBoardBottom - 1, "Y"}, {kBoardBottom, "Z"}},
       .CursorX = 1,
       .CursorY = kBoardBottom,
       .Flags = Petscii},
      {.Name = "ATASCII up from the top row wraps to the board's last row",
       .Feeds = {Bytes({AUp}) + "X"},
       .Cells = {{.Col = 0, .Row = kBoardBottom, .Ch = 'X'}},
       .CursorY = kBoardBottom,
       .Flags = Atascii},
      {.Name = "ATASCII down from the board's last row wraps to the top",
       .Feeds = {Bytes({AUp, ADown}) + "X"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'X'}},
       .CursorY = 0,
       .Flags = Atascii},
      {.Name = "ATASCII delete line pulls up the board's rows only",
       .Feeds = {NumberedRows(atasciiEol) + Bytes({AUp, AUp, ADelLine})},
       .Rows = {{kBoardBottom - 2, "X"}, {kBoardBottom - 1, "Y"}, {kBoardBottom, ""}},
       .Flags = Atascii},
      {.Name = "ATASCII insert line pushes down the board's rows only",
       .Feeds = {NumberedRows(atasciiEol) + Bytes({AUp, AInsLine})},
       .Rows = {{kBoardBottom - 1, ""}, {kBoardBottom, "X"}},
       .Flags = Atascii},
      {.Name = "ASCII line feeds at the bottom scroll the board",
       .Feeds = {NumberedRows(crlf) + "\r\nZ"},
       .Rows = {{0, "B"}, {kBoardBottom, "Z"}},
       .CursorY = kBoardBottom,
       .Flags = Ascii},
      {.Name = "Viewdata line feeds at the bottom scroll the board",
       .Feeds = {NumberedRows(crlf) + "\r\nZ"},
       .Rows = {{0, "B"}, {kBoardBottom, "Z"}},
       .CursorY = kBoardBottom,
       .Flags = Viewdata},
  };
  for (const TEmulationCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTerminalBuffer buffer(kWidth, kHeight);
    buffer.SetReservedRows(1);
    for (int col = 0; col < kWidth; ++col) buffer.WriteCharAt(col, kHeight - 1, 'S');
    std::unique_ptr<TTextEmulation> emulation = Make(buffer, c);
    const int pushedBefore = buffer.ScrollbackCount;
    for (const std::string& chunk : c.Feeds) FeedAll(*emulation, chunk);
    CheckCase(buffer, c);
    EXPECT_LT(buffer.CursorY, kHeight - 1) << "the cursor is on the status row";
    EXPECT_EQ(RawRow(buffer, kHeight - 1), kStatus) << "the status row changed";
    // Rows the board scrolled away are kept in the scrollback.
    if (!c.Rows.empty() && c.Rows.front() == std::pair<int, std::string>{0, "B"}) {
      ASSERT_EQ(buffer.ScrollbackCount, pushedBefore + 1);
      EXPECT_EQ(buffer.GetScrollbackLine(pushedBefore)[0].Ch, 'A');
    }
  }
}
