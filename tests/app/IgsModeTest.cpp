// The IGS mode of a call: the online screen's picture (the IGS canvas with
// the text cells over it, blank black cells showing the graphics, the
// default grey taking the IGS text colour, the overlays drawn in), clicks in
// mouse zones, and the backlog that makes the call stop handing it bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/modes/uIgsMode.h"
#include "app/screens/uPopupLayer.h"
#include "data/uPhonebook.h"
#include "graphics/uIGSParser.h"
#include "platform/Surface.h"
#include "platform/Tick.h"
#include "tests/app/FakeCallServices.h"

namespace {

using testsupport::FakeCall;

struct IgsCall {
  FakeCall Call;
  TIgsMode Mode{Call};

  IgsCall() {
    TPhonebookEntry entry;
    entry.TermType = "Atari ST IGS";
    Mode.Open(entry);
  }
  void Receive(const std::string& bytes) {
    std::vector<uint8_t> out;
    for (char c : bytes) {
      out.clear();
      Mode.TakeByte(uint8_t(c), out);
      Call.FeedText(out.data(), out.size());
    }
    Mode.EndChunk();
  }
};

uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

TEST(IgsModeTest, ZoneTextControlCodes) {
  const struct {
    std::string Text, Sent;
  } cases[] = {
      {"GO^M", "GO\r"},
      {"^m^j", "\r\n"},
      {"^[[A", "\x1b[A"},
      {"^@x", std::string(1, '\0') + "x"},
      {"^^", "\x1e"},
      {"^", "^"},
      {"a^1b", "a^1b"},
      {"^^M", "\x1eM"},  // scanning goes on after the new byte
  };
  for (const auto& c : cases) EXPECT_EQ(IgsZoneTextToSend(c.Text), c.Sent) << c.Text;
}

TEST(IgsModeTest, OnlyAnIgsTerminalTypeEngagesAndTheCanvasShowsAfterACommand) {
  IgsCall igs;
  EXPECT_TRUE(igs.Mode.Engaged());
  EXPECT_FALSE(igs.Mode.ReplacesFrame()) << "text only so far";
  igs.Receive("Hello G#?0:");
  EXPECT_EQ(igs.Call.Text, "Hello ");
  EXPECT_EQ(igs.Call.Sent, std::vector<std::string>{"2.19"});
  EXPECT_TRUE(igs.Mode.ReplacesFrame());
  igs.Call.Online = false;
  EXPECT_FALSE(igs.Mode.ReplacesFrame()) << "another screen is shown";

  TPhonebookEntry ansi;
  igs.Mode.Open(ansi);
  EXPECT_FALSE(igs.Mode.Engaged());
  TPhonebookEntry lower;
  lower.TermType = "my igs board";
  igs.Mode.Open(lower);
  EXPECT_TRUE(igs.Mode.Engaged()) << "any case";
}

TEST(IgsModeTest, TheTextCellsLieOverThePicture) {
  IgsCall igs;
  // A red picture (colour 2 is register 1), the text colour blue (colour 1
  // is register 15).
  igs.Receive("G#S2,7,0,0:S1,0,0,7:C2,2:Z0,0,319,199:\n");
  TTerminalBuffer& grid = igs.Call.Buffer();
  grid.CursorVisible = false;
  auto put = [&](int col, TCell cell) { grid.Rows[0][size_t(col)] = cell; };
  TCell a;
  a.Ch = 'A';
  put(0, a);  // grey on black
  TCell blank;
  put(1, blank);  // blank on black
  TCell reverse;
  reverse.Reverse = true;
  put(2, reverse);  // a reverse blank
  TCell onGreen;
  onGreen.Bg = TColorRGB{0, 170, 0};
  put(3, onGreen);
  TCell yellow;
  yellow.Ch = 219;
  yellow.Fg = TColorRGB{255, 255, 85};
  put(4, yellow);  // a colour of its own stays

  TPopupLayer overlays;
  overlays.Reset(80, 25);
  overlays.PutCell(0, 24, 219, TColorRGB{255, 255, 255}, TColorRGB{0, 0, 170});
  platform::Surface target(640, 350);
  TModeFrame frame{target, "", true, &overlays};
  igs.Mode.PaintFrame(frame);
  EXPECT_TRUE(frame.OverlaysDrawn);

  const uint32_t red = Rgb(238, 0, 0), blue = Rgb(0, 0, 238);
  // Cells are 8 x 14 picture pixels.
  int glyph = 0, behind = 0;
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint32_t p = target.Pixel(x, y);
      glyph += p == blue;
      behind += p == red;
      EXPECT_TRUE(p == blue || p == red) << x << "," << y;
    }
  EXPECT_GT(glyph, 10) << "the A in the IGS text colour";
  EXPECT_GT(behind, 40) << "the picture around it";
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(target.Pixel(8 + x, y), red) << "a blank on black leaves the picture";
      EXPECT_EQ(target.Pixel(16 + x, y), blue) << "a reverse blank is a solid cell";
      EXPECT_EQ(target.Pixel(24 + x, y), Rgb(0, 170, 0)) << "a background of its own";
      EXPECT_EQ(target.Pixel(32 + x, y), Rgb(255, 255, 85)) << "a colour of its own";
      EXPECT_EQ(target.Pixel(x, 24 * 14 + y), Rgb(255, 255, 255)) << "the overlay cell";
    }
  EXPECT_EQ(target.Pixel(320, 100), red);
}

TEST(IgsModeTest, AClickInAZoneSendsItsText) {
  const struct {
    const char* Name;
    int X, Y;  // window pixels of a 640 x 400 window over a 320 x 200 picture
    int MouseMode;
    bool Shift;
    int Button;
    std::vector<std::string> Sent;
  } cases[] = {
      {"InTheZone", 30, 30, 0, false, 1, {"Hi\r"}},
      {"OnItsBorder", 20, 20, 0, false, 1, {"Hi\r"}},
      {"OutsideIt", 19, 30, 0, false, 1, {}},
      {"TheLaterZoneWinsTheOverlap", 42, 42, 0, false, 1, {"two"}},
      {"ReportedToABoardThatTracks", 30, 30, 1, false, 1, {}},
      {"ShiftClicksTheZoneAnyway", 30, 30, 1, true, 1, {"Hi\r"}},
      {"OnlyTheLeftButton", 30, 30, 0, false, 2, {}},
  };
  for (const auto& c : cases) {
    IgsCall igs;
    igs.Receive("G#X4,1,10,10,30,30,0,Hi^M:X4,2,20,20,40,40,0,two:\n");
    igs.Call.AnsiParser().MouseMode = c.MouseMode;
    const TModeMouse m{TMouseKind::Down, c.Button, c.X, c.Y, 640, 400, c.Shift};
    EXPECT_EQ(igs.Mode.Mouse(m), !c.Sent.empty()) << c.Name;
    EXPECT_EQ(igs.Call.Sent, c.Sent) << c.Name;
  }
}

TEST(IgsModeTest, ABacklogHoldsTheCallUntilTheReplayHasWorkedItDown) {
  IgsCall igs;
  // A wait of a sixtieth of a second, then more text than the interpreter
  // keeps without holding the call.
  const std::string flood(TIGSParser::kQueueHoldBack + 4096, 'x');
  igs.Receive("G#q1:\n" + flood);
  EXPECT_TRUE(igs.Mode.HoldsInput());
  EXPECT_TRUE(igs.Call.TimerOn);
  EXPECT_EQ(igs.Call.Text, "");
  const uint64_t until = platform::TickMs() + 5000;
  while (igs.Call.TimerOn && platform::TickMs() < until) igs.Mode.TimerTick();
  EXPECT_FALSE(igs.Mode.HoldsInput());
  EXPECT_FALSE(igs.Call.TimerOn);
  EXPECT_EQ(igs.Call.Resumes, 1);
  EXPECT_EQ(igs.Call.Text, flood);
}

}  // namespace
