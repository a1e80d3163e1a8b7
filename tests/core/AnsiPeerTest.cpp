// Byte streams made by real programs rather than typed by hand: ncurses'
// tput strings for the terminfo capabilities a board or shell uses, and the
// ANSI art that toilet and img2txt (libcaca) write, checked against the same
// programs' own plain-text and HTML renderings.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/uUtf8Cp437.h"
#include "tests/core/AnsiTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

namespace {

std::string RunOk(const std::vector<std::string>& args) {
  PeerResult r = RunPeer(args);
  EXPECT_EQ(r.ExitCode, 0) << args[0] << ": " << r.Output;
  return r.Output;
}

// A tput string for a terminal type.
std::string Tput(const std::string& term, std::vector<std::string> cap) {
  cap.insert(cap.begin(), {"tput", "-T", term});
  return RunOk(cap);
}

struct TputCase {
  const char* Name;
  std::vector<std::vector<std::string>> Steps;  // {"text"} or {"term", "cap", args...}
  std::vector<std::string> Screen;
  int X, Y;
  bool Vt = false;
  std::string Reply = "";
};

std::string Build(const TputCase& c) {
  std::string bytes;
  for (const auto& step : c.Steps) {
    if (step.size() == 1)
      bytes += step[0];
    else
      bytes += Tput(step[0], std::vector<std::string>(step.begin() + 1, step.end()));
  }
  return bytes;
}

TEST(AnsiPeerTest, TputStrings) {
  const std::string x = "xterm";
  const TputCase cases[] = {
      {"cup", {{x, "cup", "4", "9"}, {"x"}}, {"", "", "", "", "         x"}, 10, 4},
      {"hpa and vpa", {{x, "vpa", "2"}, {x, "hpa", "5"}, {"y"}}, {"", "", "     y"}, 6, 2},
      {"cub and cuf", {{"abcdef"}, {x, "cub", "4"}, {"X"}, {x, "cuf", "2"}, {"Y"}}, {"abXdeY"}, 6, 0},
      {"el", {{"abcdef"}, {x, "cup", "0", "2"}, {x, "el"}}, {"ab"}, 2, 0},
      {"el1", {{"abcdef"}, {x, "cup", "0", "2"}, {x, "el1"}}, {"   def"}, 2, 0},
      {"ed", {{"ab\r\ncd\r\nef"}, {x, "cup", "1", "1"}, {x, "ed"}}, {"ab", "c"}, 1, 1},
      {"clear", {{"ab\r\ncd"}, {x, "clear"}, {"z"}}, {"z"}, 1, 0},
      {"il", {{"1\r\n2\r\n3"}, {x, "cup", "1", "0"}, {x, "il", "2"}}, {"1", "", "", "2", "3"}, 0, 1},
      {"il1", {{"1\r\n2"}, {x, "cup", "0", "0"}, {x, "il1"}}, {"", "1", "2"}, 0, 0},
      {"dl", {{"1\r\n2\r\n3\r\n4"}, {x, "cup", "1", "0"}, {x, "dl", "2"}}, {"1", "4"}, 0, 1},
      {"dl1 in VT mode", {{"1\r\n2"}, {x, "cup", "0", "0"}, {x, "dl1"}}, {"2"}, 0, 0, true},
      {"ich, dch and ech",
       {{"abcdef"}, {x, "cup", "0", "1"}, {x, "ich", "2"}, {x, "cup", "0", "4"}, {x, "dch", "1"}, {x, "ech", "1"}},
       {"a  b ef"}, 4, 0},
      {"csr scrolls the region only",
       {{"top"}, {x, "csr", "1", "2"}, {x, "cup", "1", "0"}, {"a\r\nb\r\nc"}}, {"top", "b", "c"}, 1, 2},
      {"rep", {{x, "rep", "65", "5"}}, {"AAAAA"}, 5, 0},
      {"tab and cbt", {{"a"}, {x, "ht"}, {x, "ht"}, {x, "cbt"}, {"b"}}, {"a       b"}, 9, 0},
      {"smcup and rmcup", {{"main"}, {x, "smcup"}, {"alt"}, {x, "rmcup"}}, {"main"}, 4, 0},
      {"sc and rc in VT mode", {{x, "cup", "3", "3"}, {x, "sc"}, {x, "home"}, {x, "rc"}, {"q"}},
       {"", "", "", "   q"}, 4, 3, true},
      {"u7 asks for the cursor", {{x, "cup", "2", "6"}, {x, "u7"}}, {}, 6, 2, false, "\x1b[3;7R"},
      {"smacs line drawing in VT mode", {{x, "smacs"}, {"f~"}, {x, "rmacs"}, {"f"}},
       {"\xc2\xb0\xc2\xb7" "f"}, 3, 0, true},
  };
  for (const TputCase& c : cases) {
    TAnsiTerm t;
    t.Parser.VtMode = c.Vt;
    t.Feed(Build(c));
    EXPECT_EQ(t.Screen(), c.Screen) << c.Name;
    EXPECT_EQ(t.Buf.CursorX, c.X) << c.Name;
    EXPECT_EQ(t.Buf.CursorY, c.Y) << c.Name;
    EXPECT_EQ(t.Replies, c.Reply) << c.Name;
  }
}

TEST(AnsiPeerTest, TputColours) {
  struct Case {
    const char* Name;
    std::string Term;
    std::vector<std::string> Cap;
    TColorRGB Fg, Bg;
  };
  const TColorRGB grey = AnsiPalette[7], black = AnsiPalette[0];
  const Case cases[] = {
      {"setaf 3", "xterm", {"setaf", "3"}, AnsiPalette[3], black},
      {"setab 4", "xterm", {"setab", "4"}, grey, AnsiPalette[4]},
      {"setaf 9 is bright red", "xterm-16color", {"setaf", "9"}, {0xFF, 0, 0}, black},
      {"setaf 196 of 256", "xterm-256color", {"setaf", "196"}, {0xFF, 0, 0}, black},
      {"setab 21 of 256", "xterm-256color", {"setab", "21"}, grey, {0, 0, 0xFF}},
      {"setaf 244 grey ramp", "xterm-256color", {"setaf", "244"}, {0x80, 0x80, 0x80}, black},
      // xterm-direct writes direct colours with ":" sub-parameters, which
      // this emulation does not speak: the sequence is swallowed whole.
      {"direct setaf with colons", "xterm-direct", {"setaf", "1193046"}, grey, black},
      {"direct setab with colons", "xterm-direct", {"setab", "66051"}, grey, black},
      {"direct low index", "xterm-direct", {"setaf", "2"}, AnsiPalette[2], black},
  };
  for (const Case& c : cases) {
    TAnsiTerm t;
    t.Feed(Tput(c.Term, c.Cap) + "x");
    EXPECT_EQ(t.Screen(), std::vector<std::string>{"x"}) << c.Name;
    EXPECT_EQ(t.Buf.GetCell(0, 0).Fg, c.Fg) << c.Name;
    EXPECT_EQ(t.Buf.GetCell(0, 0).Bg, c.Bg) << c.Name;
  }
  // sgr0 after bold and colours (xterm's sgr0 also picks the ASCII set,
  // which only VT mode understands).
  TAnsiTerm t;
  t.Parser.VtMode = true;
  t.Feed(Tput("xterm", {"bold"}) + Tput("xterm", {"setaf", "1"}) + "a" + Tput("xterm", {"sgr0"}) + "b");
  EXPECT_EQ(t.Buf.GetCell(0, 0).Fg, (TColorRGB{0xFF, 0, 0}));
  EXPECT_TRUE(t.Buf.GetCell(0, 0).Bold);
  EXPECT_EQ(t.Buf.GetCell(1, 0), (TCell{'b', grey, black, false, false, false, false}));
}

// toilet's block letters in CP437 ("ansi" export) against the same letters
// as toilet prints them in UTF-8 without colours.
TEST(AnsiPeerTest, ToiletBlockLetters) {
  const std::string ansi = RunOk({"toilet", "-f", "mono9", "-E", "ansi", "--gay", "KORVAN"});
  const std::string plain = RunOk({"env", "LC_ALL=C.UTF-8", "toilet", "-f", "mono9", "KORVAN"});
  TAnsiTerm t;
  t.Feed(ansi);
  TUtf8ToCp437Decoder decoder;
  int row = 0, col = 0, inked = 0;
  uint8_t out[2];
  for (unsigned char b : plain) {
    if (b == '\n') {
      ++row;
      col = 0;
      continue;
    }
    int n = decoder.Decode(b, out);
    for (int i = 0; i < n; ++i, ++col) {
      const TCell cell = t.Buf.GetCell(col, row);
      ASSERT_EQ(cell.Ch, out[i]) << "row " << row << " column " << col;
      if (out[i] != ' ') {
        ++inked;
        EXPECT_TRUE(cell.Bold) << "row " << row << " column " << col;
        EXPECT_NE(cell.Fg, AnsiPalette[7]) << "the rainbow filter colours every letter cell";
      }
    }
  }
  EXPECT_GT(row, 4);
  EXPECT_GT(inked, 50);
}

// img2txt's "ansi" picture against its "html3" rendering of the same picture,
// which spells out each cell's character and VGA colours.
TEST(AnsiPeerTest, Img2txtPictureMatchesItsHtmlRendering) {
  testsupport::TempDir dir;
  std::string ppm = "P6 64 32 255\n";
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) ppm += {char(x * 4), char(y * 8), char((x * y) % 256)};
  ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("picture.ppm"), ppm));
  const std::vector<std::string> base = {"img2txt", "-W", "60", "-H", "20", "-d", "none"};
  auto with = [&](const char* format) {
    std::vector<std::string> a = base;
    a.insert(a.end(), {"-f", format, dir.File("picture.ppm")});
    return RunOk(a);
  };
  const std::string ansi = with("ansi");
  const std::string html = with("html3");

  // VGA colours as libcaca writes them, in ANSI order.
  const std::map<std::string, int> vga = {
      {"000000", 0}, {"aa0000", 1}, {"00aa00", 2},  {"aa5500", 3},  {"0000aa", 4},  {"aa00aa", 5},
      {"00aaaa", 6}, {"aaaaaa", 7}, {"555555", 8},  {"ff5555", 9},  {"55ff55", 10}, {"ffff55", 11},
      {"5555ff", 12}, {"ff55ff", 13}, {"55ffff", 14}, {"ffffff", 15}};
  TAnsiTerm t;
  t.Feed(ansi);

  // The text between Open and Close from Pos on; Pos moves past Close.
  auto between = [](const std::string& s, size_t& pos, const std::string& open, const std::string& close,
                    std::string& out) {
    size_t a = s.find(open, pos);
    if (a == std::string::npos) return false;
    size_t b = s.find(close, a + open.size());
    if (b == std::string::npos) return false;
    out = s.substr(a + open.size(), b - a - open.size());
    pos = b + close.size();
    return true;
  };
  auto decode = [](const std::string& text) {
    std::string chars;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '&') {
        chars += text[i];
        continue;
      }
      size_t semi = text.find(';', i);
      const std::string entity = text.substr(i + 1, semi - i - 1);
      chars += entity == "lt" ? '<' : entity == "gt" ? '>' : entity == "amp" ? '&' : entity == "quot" ? '"'
               : entity == "#160" ? ' ' : char(std::stoi(entity.substr(1)));
      i = semi;
    }
    return chars;
  };
  int row = 0, checked = 0;
  size_t rowPos = 0;
  std::string rowText;
  for (; between(html, rowPos, "<tr>", "</tr>", rowText); ++row) {
    int col = 0;
    size_t cellPos = 0;
    std::string cellText;
    while (between(rowText, cellPos, "<td bgcolor=\"#", "</td>", cellText)) {
      const int bg = vga.at(cellText.substr(0, 6));
      // Runs of <font color="#rrggbb">text</font>, and bare blanks, whose
      // foreground does not show.
      std::string inner = cellText.substr(cellText.find("<tt>") + 4);
      inner = inner.substr(0, inner.rfind("</tt>"));
      size_t pos = 0;
      while (pos < inner.size()) {
        int fg = -1;
        std::string text;
        if (inner.compare(pos, 14, "<font color=\"#") == 0) {
          fg = vga.at(inner.substr(pos + 14, 6));
          size_t close = inner.find("</font>", pos);
          text = inner.substr(pos + 22, close - pos - 22);
          pos = close + 7;
        } else {
          size_t next = inner.find('<', pos);
          text = inner.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
          pos = next == std::string::npos ? inner.size() : next;
        }
        for (char ch : decode(text)) {
          const TCell cell = t.Buf.GetCell(col, row);
          ASSERT_EQ(cell.Ch, uint8_t(ch)) << "row " << row << " column " << col;
          if (fg >= 0) EXPECT_EQ(cell.Fg, AnsiPalette[fg]) << "row " << row << " column " << col;
          EXPECT_EQ(cell.Bg, AnsiPalette[bg]) << "row " << row << " column " << col;
          ++col;
          ++checked;
        }
      }
    }
  }
  EXPECT_EQ(row, 20);
  EXPECT_EQ(checked, 60 * 20);
}

}  // namespace
