// What a user sees of a call's text screen through the whole application,
// with the status bar on as it is by default: a local shell's full rows are
// not double-spaced, and lines a board scrolls off the screen can be
// scrolled back to with the mouse wheel.
#include <gtest/gtest.h>

#include <string>

#include "app/uApp.h"
#include "data/uPhonebook.h"
#include "tests/app/AppFixture.h"

using namespace testsupport;

using TerminalScreenTest = AppFixture;

namespace {

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

// A program in the local shell writes two rows of exactly 80 columns, each
// followed by a line end, as full-screen programs like top do: on a VT100
// they fill two consecutive rows.
TEST_F(TerminalScreenTest, FullRowsFromALocalShellAreNotDoubleSpaced) {
  Start();
  ASSERT_TRUE(Probe().StatusBar()) << "the status bar is on by default";
  const std::string a(80, 'A'), b(80, 'B');
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = "shell";
  entry->UseShell = true;
  entry->ShellCommand = "/bin/sh -c \"printf '%s\\n' " + a + " " + b + "; printf done; read line\"";
  App->ConnectToEntry(entry, true);
  ASSERT_TRUE(RunUntil([&] { return Row(0) == a && Trimmed(Row(2)).size() >= 4; }))
      << "rows:\n" << Row(0) << "\n" << Row(1) << "\n" << Row(2) << "\n" << Row(3);
  EXPECT_EQ(Row(1), b);
  EXPECT_EQ(Trimmed(Row(2)), "done");
  EXPECT_EQ(App->CallScreen().CursorY, 2);
}

// A board sends more lines than fit above the status bar; the mouse wheel
// then shows the ones that scrolled off, in order.
TEST_F(TerminalScreenTest, LinesScrolledOffAboveTheStatusBarCanBeScrolledBackTo) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  ASSERT_TRUE(Probe().StatusBar());
  const TTerminalBuffer& buffer = App->CallScreen();
  ASSERT_EQ(buffer.VisibleRows(), buffer.FHeight - 1);
  const int pushedBefore = buffer.ScrollbackCount;
  std::string text;
  for (int i = 1; i <= 60; ++i) text += "board line " + std::to_string(i) + "\r\n";
  text += "end";
  peer->Write(text);
  ASSERT_TRUE(RunUntil([&] { return Trimmed(Row(buffer.VisibleRows() - 1)) == "end"; }));
  // 61 rows of text on 24 board rows: the first 37 went into the scrollback.
  EXPECT_EQ(Trimmed(Row(0)), "board line 38");
  ASSERT_GE(buffer.ScrollbackCount, pushedBefore + 37);

  // Three notches up show the 9 rows above the screen at its top.
  platform::Event wheel = platform::Event::Mouse(platform::EventKind::Wheel, 100, 100);
  wheel.WheelDelta = 120;
  for (int i = 0; i < 3; ++i) App->Window().Post(wheel);
  ASSERT_TRUE(RunUntil([&] { return buffer.ScrollbackView == 9; }));
  for (int r = 0; r < 9; ++r)
    EXPECT_EQ(Trimmed(buffer.GetDisplayRowText(r)), "board line " + std::to_string(29 + r)) << "display row " << r;
  EXPECT_EQ(Trimmed(buffer.GetDisplayRowText(9)), "board line 38");
}
