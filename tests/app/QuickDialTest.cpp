// The one-line input boxes: how the typed host[:port] is read, how a box
// and its text window are drawn, and the quick dial box in the running
// program, from Alt+Q to the board that receives the call.
#include <gtest/gtest.h>

#include <string>

#include "app/screens/uQuickDial.h"
#include "app/uScreenText.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"

namespace vk = platform::vk;
using namespace testsupport;

namespace {

TEST(QuickDialTextTest, TheNumberAfterTheLastColonIsThePortWhenItIsOne) {
  struct Row {
    const char* Text;
    bool Dials;
    const char* Host;
    uint16_t Port;
  };
  const Row rows[] = {
      {"bbs.example.org:2323", true, "bbs.example.org", 2323},
      {"  bbs.example.org  ", true, "bbs.example.org", 23},
      {"bbs.example.org : 2323 ", true, "bbs.example.org : 2323", 23},  // " 2323" is not a number
      {"bbs.example.org:99999", true, "bbs.example.org:99999", 23},
      {"bbs.example.org:0", true, "bbs.example.org:0", 23},
      {"bbs.example.org:telnet", true, "bbs.example.org:telnet", 23},
      {"bbs.example.org:", true, "bbs.example.org:", 23},
      {"a:b:65535", true, "a:b", 65535},
      {"", false, "", 23},
      {"   ", false, "", 23},
      {" :23", false, "", 23},
  };
  for (const Row& r : rows) {
    std::string host;
    uint16_t port = 0;
    EXPECT_EQ(ParseQuickDial(r.Text, host, port), r.Dials) << r.Text;
    if (!r.Dials) continue;
    EXPECT_EQ(host, r.Host) << r.Text;
    EXPECT_EQ(port, r.Port) << r.Text;
  }
}

class InputBoxTest : public ::testing::Test {
 protected:
  void Type(TQuickDialBox& box, const std::string& text) {
    for (char c : text) box.Char(uint8_t(c));
  }
  std::string Row(int y, int from, int n) const {
    std::string s;
    for (int x = from; x < from + n; ++x) s += Layer.At(x, y) ? char(Layer.At(x, y)->Cell.Ch) : '.';
    return s;
  }
  testsupport::TempDir Dir;
  TTestServices Services{Dir.Path()};
  TPopupLayer Layer;
};

TEST_F(InputBoxTest, QuickDialBoxKeepsTheCaretInItsTextWindow) {
  TQuickDialBox box(Services);
  box.Open();
  std::string text;
  for (int i = 0; i < 70; ++i) text += char('A' + i % 26);
  Type(box, text);
  ASSERT_EQ(box.Line().Text, text.substr(0, 60)) << "at most 60 characters";
  for (int i = 0; i < 15; ++i) box.Key(TKeyEvent{vk::Left});
  ASSERT_EQ(box.Line().Caret, 45);
  Layer.Reset(80, 25);
  box.Draw(Layer);
  // A 46 x 6 box at column 17, row 9; its field from column 19 on row 12.
  const int x0 = 17, y0 = 9, field = 19;
  EXPECT_EQ(Row(y0, x0 - 1, 48), "\xdd\xda" + std::string(44, '\xc4') + "\xbf\xde");
  EXPECT_EQ(Row(y0 + 5, x0, 46), "\xc0" + std::string(44, '\xc4') + "\xd9");
  EXPECT_EQ(Row(y0 + 1, x0 + 18, 10), "QUICK DIAL");
  EXPECT_COLOUR(Layer.At(x0 + 18, y0 + 1)->Cell.Fg, 255, 255, 85);
  EXPECT_EQ(Row(y0 + 2, field, 36), "Host[:Port], e.g. bbs.example.org:23");
  EXPECT_COLOUR(Layer.At(field, y0 + 2)->Cell.Fg, 170, 170, 255);
  EXPECT_EQ(Row(y0 + 4, x0 + 9, 28), "Enter: Connect   Esc: Cancel");
  // The field shows characters 7 to 46; the caret sits on the window's last
  // column, on the character after it; the two cells past the window stay blank.
  EXPECT_EQ(Row(y0 + 3, field, 42), text.substr(6, 40) + "  ");
  for (int i = 0; i < 42; ++i) {
    const TCell& c = Layer.At(field + i, y0 + 3)->Cell;
    const bool caret = i == 39;
    const uint8_t fg = caret ? 0 : 255, bg = caret ? 255 : 0;
    EXPECT_COLOUR(c.Fg, fg, fg, fg);
    EXPECT_COLOUR(c.Bg, bg, bg, bg);
  }
  EXPECT_EQ(Layer.At(field + 39, y0 + 3)->Cell.Ch, uint8_t(text[45]));
}

TEST_F(InputBoxTest, AnEmptyBoxAndANarrowGrid) {
  TQuickDialBox box(Services);
  box.Open();
  Layer.Reset(80, 25);
  box.Draw(Layer);
  EXPECT_EQ(Row(12, 19, 42), std::string(42, ' '));
  EXPECT_COLOUR(Layer.At(19, 12)->Cell.Bg, 255, 255, 255) << "the caret on the field's first cell";
  EXPECT_COLOUR(Layer.At(20, 12)->Cell.Bg, 0, 0, 0);

  // On a grid narrower than the box only what fits is drawn.
  Type(box, "hostname.example");
  Layer.Reset(30, 4);
  box.Draw(Layer);
  EXPECT_EQ(Row(2, 0, 30), "me.example" + std::string(20, ' ')) << "the field starts 6 columns left of the grid";
  EXPECT_COLOUR(Layer.At(10, 2)->Cell.Bg, 255, 255, 255) << "the caret after the text";
  EXPECT_EQ(Row(0, 10, 10), "QUICK DIAL");
  EXPECT_EQ(Row(3, 1, 28), "Enter: Connect   Esc: Cancel");
}

// The quick dial box in the program: on the online screen without a call.
class QuickDialTest : public ScreenFixture {
 protected:
  void OpenOnline() {
    Start();
    Key(vk::Escape);
    Pump();
    ASSERT_EQ(App->ScreenMode(), smOnline);
    ASSERT_FALSE(App->CallOpen());
  }
  void Dial(const std::string& text) {
    Key(vk::Letter('Q'), false, false, true);
    Type(text);
    Key(vk::Return);
  }
  bool BoxShown() {
    Paint();
    return PopupRow(10).find("QUICK DIAL") != std::string::npos;
  }
};

TEST_F(QuickDialTest, AltQThenHostAndPortCallsTheBoard) {
  LoopbackListener board;
  OpenOnline();
  const int listed = App->ActivePhonebook()->Count();
  Key(vk::Letter('Q'), false, false, true);
  Pump();
  ASSERT_TRUE(BoxShown());
  // Typing and the editing keys; keys do nothing else while the box is open.
  Type("127.0.0.2");
  Key(vk::Back);
  Type("1:" + std::to_string(board.Port()) + "x");
  Key(vk::Back);
  Key(vk::Home);
  Key(vk::Delete);
  Type("1");
  Key(vk::Letter('X'), false, false, true);
  Pump();
  ASSERT_TRUE(App->Running()) << "Alt+X went to the box";
  Key(vk::Return);
  auto peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  EXPECT_FALSE(BoxShown());
  ASSERT_TRUE(App->CallEntry());
  EXPECT_EQ(App->CallEntry()->Host, "127.0.0.1");
  EXPECT_EQ(App->CallEntry()->Port, board.Port());
  EXPECT_EQ(App->CallEntry()->TermType, "ANSI-BBS");
  EXPECT_EQ(App->ActivePhonebook()->Count(), listed) << "the entry is the call's own";
  // With a call open Alt+Q opens nothing.
  Key(vk::Letter('Q'), false, false, true);
  Pump();
  EXPECT_FALSE(BoxShown());
}

TEST_F(QuickDialTest, EscEmptyTextAndAPortOutOfRange) {
  OpenOnline();
  Dial("   ");
  Pump();
  EXPECT_TRUE(BoxShown()) << "a blank line does nothing and stays open";
  Key(vk::Escape);
  Pump();
  EXPECT_FALSE(BoxShown());
  EXPECT_FALSE(App->CallEntry());
  // A port past 65535 makes the whole line the host, on port 23; no such
  // host can be found and the call says so.
  Dial("127.0.0.1:99999");
  EXPECT_TRUE(RunUntil([&] {
    return App->StatusText() == "Connection terminated: Connection failed: could not resolve 127.0.0.1:99999";
  }, 60000)) << App->StatusText();
  EXPECT_FALSE(App->CallOpen());

}

}  // namespace
