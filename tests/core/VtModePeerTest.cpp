// VT mode (SSH and the local shell) against libvterm, an independent VT100
// emulator. Full-screen programs run in a pseudo terminal of 80 x 24 that
// announces vt100, keys are typed at them, and everything they write is fed
// to both emulators: at each point where a key was typed, and at the end,
// the board's cells must agree in character and attributes and the cursor
// must stand in the same place. The bytes depend on this machine's programs;
// comparing two emulators on the same bytes is what makes the test hold.
#include <gtest/gtest.h>
#include <vterm.h>

#include <memory>
#include <string>
#include <vector>

#include "core/uUtf8Cp437.h"
#include "tests/core/AnsiTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PtyRecorder.h"

namespace {

constexpr int kCols = 80;
constexpr int kRows = 24;

// libvterm's screen, fed 8-bit bytes the way a vt100 receives them.
class TReferenceScreen {
 public:
  TReferenceScreen() : FVt(vterm_new(kRows, kCols), vterm_free) {
    vterm_set_utf8(FVt.get(), 0);
    FScreen = vterm_obtain_screen(FVt.get());
    vterm_screen_enable_altscreen(FScreen, 1);
    vterm_screen_reset(FScreen, 1);
  }
  void Feed(const std::string& bytes) { vterm_input_write(FVt.get(), bytes.data(), bytes.size()); }
  VTermScreenCell Cell(int col, int row) const {
    VTermScreenCell cell{};
    vterm_screen_get_cell(FScreen, VTermPos{row, col}, &cell);
    return cell;
  }
  VTermPos Cursor() const {
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(FVt.get()), &pos);
    return pos;
  }

 private:
  std::unique_ptr<VTerm, void (*)(VTerm*)> FVt;
  VTermScreen* FScreen = nullptr;
};

// A cell's character as a code point; blanks and empty cells are spaces.
uint32_t OurGlyph(uint8_t ch) { return ch == 0 ? ' ' : Cp437ToUnicode(ch); }
uint32_t ReferenceGlyph(uint32_t cp) {
  switch (cp) {
    case 0: return ' ';
    case 0x25C6: return 0x2666;  // DEC diamond: CP437 has the card suit
    case 0x23BA:                 // DEC scan lines 1, 3, 7, 9: CP437 has one line
    case 0x23BB:
    case 0x23BC:
    case 0x23BD: return 0x2500;
    default: return cp;
  }
}

std::string Printable(uint32_t cp) { return cp >= 32 && cp < 127 ? std::string(1, char(cp)) : "U+" + std::to_string(cp); }

std::string RowPair(const TAnsiTerm& ours, const TReferenceScreen& ref, int row) {
  std::string a, b;
  for (int c = 0; c < kCols; ++c) {
    const uint32_t o = OurGlyph(ours.Buf.GetCell(c, row).Ch);
    const uint32_t r = ReferenceGlyph(ref.Cell(c, row).chars[0]);
    a += o < 127 ? char(o) : '?';
    b += r < 127 ? char(r) : '?';
  }
  return "\n  ours:     |" + a + "|\n  libvterm: |" + b + "|";
}

// The first difference in the board's rows and the cursor, or empty.
std::string Difference(const TAnsiTerm& ours, const TReferenceScreen& ref) {
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      const TCell o = ours.Buf.GetCell(c, r);
      const VTermScreenCell v = ref.Cell(c, r);
      const uint32_t og = OurGlyph(o.Ch), rg = ReferenceGlyph(v.chars[0]);
      std::string what;
      if (og != rg) what = "character " + Printable(og) + " against " + Printable(rg);
      else if (o.Bold != bool(v.attrs.bold)) what = "bold";
      else if (o.Underline != (v.attrs.underline != 0)) what = "underline";
      else if (o.Reverse != bool(v.attrs.reverse)) what = "reverse";
      else if (o.Blink != bool(v.attrs.blink)) what = "blink";
      if (!what.empty())
        return "row " + std::to_string(r) + " column " + std::to_string(c) + ": " + what + RowPair(ours, ref, r);
    }
  }
  const VTermPos cur = ref.Cursor();
  if (ours.Buf.CursorX != cur.col || ours.Buf.CursorY != cur.row)
    return "cursor at " + std::to_string(ours.Buf.CursorX) + "," + std::to_string(ours.Buf.CursorY) + ", libvterm's at " +
           std::to_string(cur.col) + "," + std::to_string(cur.row);
  return "";
}

// Lines of every length that matters at 80 columns: short, one short of the
// edge, exactly the edge, one past it, two rows' worth, and empty.
std::string NumberedText() {
  std::string text;
  const int lengths[] = {20, 79, 80, 81, 160, 0, 45, 80, 80, 120};
  for (int i = 1; i <= 300; ++i) {
    char head[16];
    std::snprintf(head, sizeof head, "line %03d ", i);
    std::string line = head;
    const int want = lengths[i % 10];
    while (int(line.size()) < want) line += char('a' + line.size() % 26);
    if (want == 0) line.clear();
    text += line.substr(0, size_t(want)) + "\n";
  }
  return text;
}

// A manual page with bold and italic words, long enough to page through.
std::string ManualPage() {
  std::string page = ".TH SAMPLE 1\n.SH NAME\nsample \\- a page for the pager\n.SH DESCRIPTION\n";
  for (int i = 1; i <= 40; ++i)
    page += ".PP\nParagraph " + std::to_string(i) +
            " of the sample page, with \\fBbold words\\fR and \\fIitalic words\\fR, long enough to fill two"
            " lines of an eighty column terminal when it is set.\n";
  return page;
}

struct ProgramCase {
  const char* Name;
  std::vector<std::string> Argv;
  std::vector<testsupport::PtyStep> Steps;
  bool ScrollsBack;  // the program scrolls the screen down with RI
};

// Each key on its own step, typed once the program answered the one before.
std::vector<testsupport::PtyStep> Keys(const std::string& first, const std::vector<std::string>& keys) {
  std::vector<testsupport::PtyStep> steps;
  for (size_t i = 0; i < keys.size(); ++i) steps.push_back({i == 0 ? first : "", keys[i]});
  return steps;
}

class VtModePeerTest : public ::testing::TestWithParam<ProgramCase> {};

void PrintTo(const ProgramCase& c, std::ostream* os) { *os << c.Name; }

TEST_P(VtModePeerTest, ScreensMatchLibvterm) {
  const ProgramCase& c = GetParam();
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("numbers.txt"), NumberedText()));
  ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("sample.1"), ManualPage()));
  testsupport::PtyOptions options;
  options.Cols = kCols;
  options.Rows = kRows;
  options.WorkingDir = dir.Path();
  options.Env = {"PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + dir.Path(), "TERM=vt100", "LC_ALL=C", "LANG=C",
                 "LESSHISTFILE=-", "MANPAGER=less", "PAGER=less"};
  const testsupport::PtyRecording rec = testsupport::RecordInPty(c.Argv, c.Steps, options);
  ASSERT_EQ(rec.Error, "") << c.Argv[0] << " wrote " << rec.Output.size() << " bytes";
  EXPECT_EQ(rec.ExitCode, 0);
  if (c.ScrollsBack) EXPECT_NE(rec.Output.find("\x1bM"), std::string::npos) << "the recording never scrolls back";

  // The board without and with the status row the application reserves
  // below it: its 24 rows must look the same either way.
  for (const int reserved : {0, 1}) {
    SCOPED_TRACE(reserved ? "with a status row" : "without a status row");
    TAnsiTerm ours(kCols, kRows + reserved);
    ours.Buf.SetReservedRows(reserved);
    ours.Parser.VtMode = true;
    TReferenceScreen ref;
    size_t at = 0;
    std::vector<size_t> points = rec.Marks;
    points.push_back(rec.Output.size());
    for (size_t i = 0; i < points.size(); ++i) {
      const std::string piece = rec.Output.substr(at, points[i] - at);
      ours.FeedBytes(piece);  // byte by byte, as the application's receive path does
      ref.Feed(piece);
      at = points[i];
      ASSERT_EQ(Difference(ours, ref), "") << "after " << at << " bytes (point " << i + 1 << " of " << points.size()
                                           << ")";
    }
  }
  // The same bytes as one write (the span path for plain text).
  TAnsiTerm whole(kCols, kRows);
  whole.Parser.VtMode = true;
  whole.Feed(rec.Output);
  TReferenceScreen ref;
  ref.Feed(rec.Output);
  EXPECT_EQ(Difference(whole, ref), "") << "fed in one write";
}

const std::vector<std::string> kLessKeys = {" ", " ", "b", "k", "k", "k", "j", "j", "G", "k", "k", "g", "q"};

INSTANTIATE_TEST_SUITE_P(
    Programs, VtModePeerTest,
    ::testing::Values(
        ProgramCase{"top_batch", {"top", "-b", "-n", "1"}, {}, false},
        ProgramCase{"top_screen", {"top", "-n", "1"}, {}, false},
        ProgramCase{"less", {"less", "numbers.txt"}, Keys("line 001", kLessKeys), true},
        ProgramCase{"vi",
                    {"vim", "-n", "-i", "NONE", "numbers.txt"},
                    Keys("line 001", {"\x06", "\x06", "\x02", "\x19", "\x19", "\x05", "\x05", "50G", "H", "k", "k",
                                      "k", "o" + std::string(100, 'n') + "\x1b", "G", ":q!\r"}),
                    true},
        ProgramCase{"man", {"man", "-l", "sample.1"}, Keys("Paragraph", {" ", " ", "b", "k", "k", "k", "q"}), true}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.Name); });

}  // namespace
