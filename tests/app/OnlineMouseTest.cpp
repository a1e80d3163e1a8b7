// The mouse on the online screen: the bytes of each mouse-report encoding,
// the links found in a screen row, the text a selection copies and the
// bytes a paste sends; then in the running program with a board on
// loopback: reports in every tracking mode the board switches on, a drag
// that selects and copies, Ctrl+C and the screen copies, pastes by key and
// by the right button, and a link under the pointer.
#include <gtest/gtest.h>

#include <string>

#include "app/uClipboardText.h"
#include "app/uMouseReport.h"
#include "app/uScreenLinks.h"
#include "core/uTerminalBuffer.h"
#include "platform/Keys.h"
#include "tests/app/ScreenFixture.h"

namespace vk = platform::vk;
using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";

TEST(MouseReportTest, BytesOfEachEncoding) {
  struct Row {
    const char* Name;
    int Tracking;
    bool Sgr;
    int Code, Col, Row;
    bool Release;
    std::string Bytes;
  };
  const Row rows[] = {
      {"SGR press at 1,1", mtNormal, true, 0, 0, 0, false, kEsc + "[<0;1;1M"},
      {"SGR release keeps its code", mtNormal, true, 0, 0, 0, true, kEsc + "[<0;1;1m"},
      {"SGR press with Ctrl", mtNormal, true, 16, 0, 0, false, kEsc + "[<16;1;1M"},
      {"SGR past column 223", mtNormal, true, 2, 299, 9, false, kEsc + "[<2;300;10M"},
      {"classic press", mtNormal, false, 0, 0, 0, false, kEsc + "[M\x20\x21\x21"},
      {"classic release is 3", mtNormal, false, 0, 0, 0, true, kEsc + "[M\x23\x21\x21"},
      {"classic release keeps Shift", mtNormal, false, 4, 0, 0, true, kEsc + "[M\x27\x21\x21"},
      {"classic column 300 caps at 255", mtNormal, false, 0, 299, 0, false, kEsc + "[M\x20\xff\x21"},
      {"X10 drops the modifiers", mtX10, false, 16 + 8 + 4, 2, 3, false, kEsc + "[M\x20\x23\x24"},
      {"wheel down", mtNormal, false, 65, 0, 0, false, kEsc + "[M\x61\x21\x21"},
      {"motion with the left button", mtButtonEvent, true, 32, 4, 0, false, kEsc + "[<32;5;1M"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(MouseReportBytes(r.Tracking, r.Sgr, r.Code, r.Col, r.Row, r.Release), r.Bytes) << r.Name;
  EXPECT_EQ(MouseModifierBits(true, true, true), 28);
}

TEST(ScreenLinksTest, LinksEndAtABlankAndKeepTheirPunctuation) {
  struct Row {
    const char* Text;
    size_t From;
    const char* Url;  // empty: none
    int Start, End;
  };
  const Row rows[] = {
      {"see http://a.example/x, then", 0, "http://a.example/x,", 4, 22},
      {"https://b.example", 0, "https://b.example", 0, 16},
      {"HTTP://upper.example http:/ nothing", 0, "", 0, 0},
      {"one http://a two https://b", 5, "https://b", 17, 25},
      {"a http://x\x7fy", 0, "http://x", 2, 9},  // DEL and above end a link
      {"q='http://x/$(id);\"y\"'", 0, "http://x/$(id);\"y\"'", 3, 21},
  };
  for (const Row& r : rows) {
    TLinkSpan link;
    EXPECT_EQ(FindUrlInText(r.Text, r.From, link), *r.Url != 0) << r.Text;
    EXPECT_EQ(link.Url, r.Url) << r.Text;
    EXPECT_EQ(link.Start, r.Start) << r.Text;
    EXPECT_EQ(link.End, r.End) << r.Text;
  }

  // On the screen: the row's second link is found under its own columns, a
  // blank between two links is no link, NUL cells read as blanks.
  TTerminalBuffer screen(80, 25);
  const std::string row = "http://one.example http://two.example";
  for (size_t i = 0; i < row.size(); ++i) screen.WriteCharAt(int(i) + 2, 3, uint8_t(row[i]));
  TLinkSpan link;
  ASSERT_TRUE(UrlAtCell(screen, 3, 25, link));
  EXPECT_EQ(link.Url, "http://two.example");
  EXPECT_EQ(link.Start, 21);
  EXPECT_FALSE(UrlAtCell(screen, 3, 20, link));
  EXPECT_FALSE(UrlAtCell(screen, 4, 25, link));
  EXPECT_FALSE(UrlAtCell(screen, 25, 0, link)) << "a row below the screen";
}

TEST(ClipboardTextTest, SelectionTextIsUtf8RowsJoinedByCrLf) {
  TTerminalBuffer screen(10, 4);
  auto put = [&](int row, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) screen.WriteCharAt(int(i), row, uint8_t(text[i]));
  };
  put(0, "\xda\xc4\xc4\xbf  ");  // a box's top: corner, two lines, corner
  put(1, "\xb3\x01" "A\xb3");    // its side with a smiley in it
  put(2, "end");
  screen.SetCell(5, 1, TCell{0});  // a NUL cell between text reads as a blank
  screen.WriteCharAt(6, 1, 'z');
  const std::string boxTop = "\xe2\x94\x8c\xe2\x94\x80\xe2\x94\x80\xe2\x94\x90";
  const std::string side = "\xe2\x94\x82";
  EXPECT_EQ(SelectionText(screen, {0, 0}, {9, 2}), boxTop + "\r\n" + side + "\xe2\x98\xba" "A" + side + "  z\r\nend");
  EXPECT_EQ(SelectionText(screen, {2, 1}, {1, 2}), "A" + side + "  z\r\nen") << "from a column to a column";
  EXPECT_EQ(SelectionText(screen, {0, 3}, {9, 3}), "") << "a blank row";
  EXPECT_EQ(SelectionText(screen, {0, 2}, {9, 3}), "end\r\n") << "a blank last row still ends its line";
}

TEST(ClipboardTextTest, PasteSendsOneCrPerLineEnd) {
  struct Row {
    const char* Name;
    std::string Clipboard;
    bool Utf8Mode;
    std::string Sent;
  };
  const Row rows[] = {
      {"CR LF, lone LF and lone CR", "a\r\nb\nc\rd", false, "a\rb\rc\rd"},
      {"CR LF at the end", "line\r\n", false, "line\r"},
      {"two line ends in a row", "a\n\nb", false, "a\r\rb"},
      {"Unicode becomes CP437", "caf\xc3\xa9 \xe2\x94\x80", false, "caf\x82 \xc4"},
      {"UTF-8 mode keeps it", "caf\xc3\xa9\r\n", true, "caf\xc3\xa9\r"},
  };
  for (const Row& r : rows) EXPECT_EQ(PasteBytes(r.Clipboard, r.Utf8Mode), r.Sent) << r.Name;
}

// The online screen of the running program with a board on loopback.
class OnlineMouseTest : public ScreenFixture {
 protected:
  // Calls a board that draws Text, and waits until the screen shows it.
  void CallBoardShowing(const std::string& text, const std::string& shown) {
    WritePhonebook({"Board|127.0.0.1|" + std::to_string(Board.Port()) + "|ANSI-BBS"});
    Start();
    Key(vk::Return);
    Peer = AwaitCall(Board);
    ASSERT_TRUE(Peer);
    Peer->ReadFor(100);  // the Telnet negotiation
    ASSERT_TRUE(Peer->Write(text));
    ASSERT_TRUE(RunUntil([&] {
      Paint();
      return Row(0).find(shown) != std::string::npos;
    })) << Row(0);
  }
  // A board switches mouse tracking on (or anything else) and the program
  // has read it.
  void BoardSends(const std::string& bytes) {
    const char mark = char('A' + FMarks++ % 26);
    ASSERT_TRUE(Peer->Write(bytes + "\x1b[1;80H" + mark));
    ASSERT_TRUE(RunUntil([&] { return App->CallScreen().GetCell(79, 0).Ch == uint8_t(mark); }));
  }
  // The pixel in the middle of a cell of the call's screen.
  int PixelX(int col) const { return col * App->Window().ClientWidth() / App->CallScreen().FWidth + 2; }
  int PixelY(int row) const { return row * App->Window().ClientHeight() / App->CallScreen().FHeight + 4; }
  platform::Event Mouse(platform::EventKind kind, int col, int row, int button = 0, bool ctrl = false,
                        bool shift = false) const {
    platform::Event e = platform::Event::Mouse(kind, PixelX(col), PixelY(row), button);
    e.Ctrl = ctrl;
    e.Shift = shift;
    return e;
  }
  void Post(const platform::Event& e) { App->Window().Post(e); }
  void Drag(int fromCol, int fromRow, int toCol, int toRow) {
    Post(Mouse(platform::EventKind::MouseDown, fromCol, fromRow, 1));
    Post(Mouse(platform::EventKind::MouseMove, toCol, toRow, 0));
    Post(Mouse(platform::EventKind::MouseUp, toCol, toRow, 1));
    Pump();
  }
  // What the board received within Ms (Telnet commands left out).
  std::string Received(uint32_t ms = 300) {
    std::string got;
    RunUntil([&] {
      got += WithoutTelnetCommands(Peer->ReadFor(5));
      return false;
    }, ms);
    return got;
  }

  LoopbackListener Board;
  std::unique_ptr<LoopbackPeer> Peer;
  int FMarks = 0;
};

TEST_F(OnlineMouseTest, ReportsInEveryModeTheBoardAsksFor) {
  CallBoardShowing("\x1b[2J\x1b[HREADY", "READY");
  using K = platform::EventKind;
  struct Step {
    K Kind;
    int Col, Row, Button;
    bool Ctrl = false, Shift = false;
  };
  struct Case {
    const char* Name;
    std::string ModeOn;
    std::vector<Step> Steps;
    std::string Bytes;
  };
  const std::string off = "\x1b[?9l\x1b[?1000l\x1b[?1002l\x1b[?1003l\x1b[?1006l";
  const Case cases[] = {
      {"X10: presses only, without modifiers",
       "\x1b[?9h",
       {{K::MouseDown, 0, 0, 1, true}, {K::MouseUp, 0, 0, 1}, {K::MouseMove, 3, 0, 0}},
       kEsc + "[M\x20\x21\x21"},
      {"normal, SGR: press, release, Ctrl+press",
       "\x1b[?1000h\x1b[?1006h",
       {{K::MouseDown, 0, 0, 1}, {K::MouseUp, 0, 0, 1}, {K::MouseDown, 0, 0, 1, true}, {K::MouseUp, 0, 0, 1, true}},
       kEsc + "[<0;1;1M" + kEsc + "[<0;1;1m" + kEsc + "[<16;1;1M" + kEsc + "[<16;1;1m"},
      {"normal, classic: a release is button 3; no motion",
       "\x1b[?1000h",
       {{K::MouseDown, 0, 0, 1}, {K::MouseMove, 2, 0, 0}, {K::MouseUp, 2, 0, 1}},
       kEsc + "[M\x20\x21\x21" + kEsc + "[M\x23\x23\x21"},
      {"button-event: a drag over three cells, then a move without a button",
       "\x1b[?1002h\x1b[?1006h",
       {{K::MouseDown, 0, 1, 1},
        {K::MouseMove, 1, 1, 0},
        {K::MouseMove, 1, 1, 0},
        {K::MouseMove, 2, 1, 0},
        {K::MouseMove, 3, 1, 0},
        {K::MouseUp, 3, 1, 1},
        {K::MouseMove, 5, 1, 0}},
       kEsc + "[<0;1;2M" + kEsc + "[<32;2;2M" + kEsc + "[<32;3;2M" + kEsc + "[<32;4;2M" + kEsc + "[<0;4;2m"},
      {"any-event: motion without a button",
       "\x1b[?1003h\x1b[?1006h",
       {{K::MouseMove, 6, 2, 0}},
       kEsc + "[<35;7;3M"},
      {"right and middle buttons",
       "\x1b[?1000h\x1b[?1006h",
       {{K::MouseDown, 1, 0, 2}, {K::MouseUp, 1, 0, 2}, {K::MouseDown, 1, 0, 4}, {K::MouseUp, 1, 0, 4}},
       kEsc + "[<2;2;1M" + kEsc + "[<2;2;1m" + kEsc + "[<1;2;1M" + kEsc + "[<1;2;1m"},
      {"the second press of a double click is a press",
       "\x1b[?1000h\x1b[?1006h",
       {{K::MouseDown, 0, 0, 1}, {K::MouseUp, 0, 0, 1}, {K::MouseDouble, 0, 0, 1}, {K::MouseUp, 0, 0, 1}},
       kEsc + "[<0;1;1M" + kEsc + "[<0;1;1m" + kEsc + "[<0;1;1M" + kEsc + "[<0;1;1m"},
      {"Shift selects instead of reporting",
       "\x1b[?1000h\x1b[?1006h",
       {{K::MouseDown, 0, 0, 1, false, true}, {K::MouseMove, 3, 0, 0, false, true}, {K::MouseUp, 3, 0, 1, false, true}},
       ""},
  };
  for (const Case& c : cases) {
    BoardSends(off + c.ModeOn);
    for (const Step& s : c.Steps) Post(Mouse(s.Kind, s.Col, s.Row, s.Button, s.Ctrl, s.Shift));
    EXPECT_EQ(Received(), c.Bytes) << c.Name;
  }

  // The wheel reports while the board tracks the mouse, and browses the
  // scrollback once it stops.
  BoardSends(off + "\x1b[?1000h\x1b[?1006h");
  platform::Event wheel = Mouse(platform::EventKind::Wheel, 4, 2);
  wheel.WheelDelta = 120;
  Post(wheel);
  wheel.WheelDelta = -120;
  Post(wheel);
  EXPECT_EQ(Received(), kEsc + "[<64;5;3M" + kEsc + "[<65;5;3M");
  BoardSends(off);
  Post(wheel);
  EXPECT_EQ(Received(), "");
}

TEST_F(OnlineMouseTest, ADragSelectsAndCopiesWhatTheScreenShows) {
  CallBoardShowing("\x1b[2J\x1b[H\xda\xc4\xc4\xbf BOX\r\n\xc0\xc4\xc4\xd9", "BOX");
  App->Window().SetClipboardText("before");
  Drag(1, 0, 1, 1);
  EXPECT_EQ(App->Window().ClipboardText(), "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x90 BOX\r\n\xe2\x94\x94\xe2\x94\x80");
  EXPECT_EQ(App->StatusText(), "Copied selection to clipboard.");
  // The selection is shown reversed over the cells, from its first cell to
  // its last in reading order.
  Paint();
  const TPopupCell* first = App->LastFramePopups().At(1, 0);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->Cell.Reverse);
  EXPECT_EQ(first->Cell.Ch, 0xc4);
  EXPECT_TRUE(App->LastFramePopups().At(79, 0)) << "the first row to its end";
  EXPECT_FALSE(App->LastFramePopups().At(0, 0));
  EXPECT_FALSE(App->LastFramePopups().At(2, 1));

  // Ctrl+C copies the selection again and sends nothing; a plain click ends
  // the selection, and Ctrl+C then goes to the board.
  App->Window().SetClipboardText("");
  Key(vk::Letter('C'), false, true);
  Pump();
  EXPECT_EQ(App->Window().ClipboardText(), "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x90 BOX\r\n\xe2\x94\x94\xe2\x94\x80");
  EXPECT_EQ(Received(), "");
  Drag(5, 0, 5, 0);
  Key(vk::Letter('C'), false, true);
  EXPECT_EQ(Received(), "\x03");

  // The whole screen, by Ctrl+Shift+C and by Alt+T: every row with its
  // trailing blanks removed, the status bar's row too.
  for (const bool altT : {false, true}) {
    App->Window().SetClipboardText("");
    if (altT)
      Key(vk::Letter('T'), false, false, true);
    else
      Key(vk::Letter('C'), true, true);
    Pump();
    std::string blankRows;
    for (int row = 2; row < App->CallScreen().FHeight; ++row) blankRows += "\r\n";
    EXPECT_EQ(App->Window().ClipboardText(),
              "\xe2\x94\x8c\xe2\x94\x80\xe2\x94\x80\xe2\x94\x90 BOX\r\n\xe2\x94\x94\xe2\x94\x80\xe2\x94\x80\xe2\x94\x98" +
                  blankRows)
        << (altT ? "Alt+T" : "Ctrl+Shift+C");
    EXPECT_EQ(App->StatusText(), "Copied screen to clipboard.");
  }
}

TEST_F(OnlineMouseTest, PastesSendOneCrPerLineAndLeaveTheScrollbackView) {
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "line\r\n";
  CallBoardShowing(lines + "\x1b[HREADY", "READY");
  App->Window().SetClipboardText("one\r\ntwo\nthr\xc3\xa9" "e");
  Key(vk::Letter('V'), false, true);
  EXPECT_EQ(Received(), "one\rtwo\rthr\x82" "e");
  // The right button pastes too, and a paste leaves the scrollback view.
  platform::Event wheel = Mouse(platform::EventKind::Wheel, 0, 0);
  wheel.WheelDelta = 120;
  Post(wheel);
  Pump();
  ASSERT_GT(App->CallScreen().ScrollbackView, 0);
  Post(Mouse(platform::EventKind::MouseDown, 10, 10, 2));
  Post(Mouse(platform::EventKind::MouseUp, 10, 10, 2));
  EXPECT_EQ(Received(), "one\rtwo\rthr\x82" "e");
  EXPECT_EQ(App->CallScreen().ScrollbackView, 0);
  // The middle button never pastes.
  Post(Mouse(platform::EventKind::MouseDown, 10, 10, 4));
  Post(Mouse(platform::EventKind::MouseUp, 10, 10, 4));
  EXPECT_EQ(Received(), "");
  // Nothing is pasted on the directory.
  Key(vk::Letter('D'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smDirectory);
  Post(Mouse(platform::EventKind::MouseDown, 10, 10, 2));
  Key(vk::Letter('V'), false, true);
  EXPECT_EQ(Received(), "");
}

TEST_F(OnlineMouseTest, ALinkUnderThePointerIsUnderlinedAndOpensOnAClick) {
  const std::string url = "http://example.com/a?q=$(id);'x'\"y\"";
  CallBoardShowing("\x1b[2J\x1b[Hsee " + url + " now", "now");
  const int first = 4, last = 4 + int(url.size()) - 1;
  Post(Mouse(platform::EventKind::MouseMove, first + 3, 0));
  Pump();
  EXPECT_EQ(App->Window().Cursor(), platform::CursorKind::Hand);
  Paint();
  for (int col : {first, last}) {
    const TPopupCell* cell = App->LastFramePopups().At(col, 0);
    ASSERT_TRUE(cell) << col;
    EXPECT_TRUE(cell->Cell.Underline) << col;
  }
  EXPECT_FALSE(App->LastFramePopups().At(last + 1, 0));
  Post(Mouse(platform::EventKind::MouseMove, last + 2, 0));
  Pump();
  EXPECT_EQ(App->Window().Cursor(), platform::CursorKind::Arrow);

  // A click opens it, a Ctrl+click too; a drag over it selects instead.
  Drag(first, 0, first, 0);
  Post(Mouse(platform::EventKind::MouseDown, last, 0, 1, true));
  Post(Mouse(platform::EventKind::MouseUp, last, 0, 1, true));
  Pump();
  Drag(first, 0, last, 0);
  // The plain click offered the link to the audio stream player, which
  // cannot reach the host and hands it to the browser.
  RunUntil([&] { return App->Window().UrlsOpened().size() >= 2; });
  EXPECT_EQ(App->Window().UrlsOpened(), (std::vector<std::string>{url, url}));
  EXPECT_EQ(App->Window().ClipboardText(), url);
}

}  // namespace
