// Local scripts from a pack the test builds: text to the terminal line by
// line, commands run, command-only lines leave no empty line, and scripts
// that run themselves end.
#include <algorithm>

#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

class DDOFXScripts : public DDOFXBench {
 protected:
  void Pack(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries) {
    ASSERT_TRUE(testsupport::WriteWholeFile(Assets.File(file), MakePack(entries)));
  }
};

TEST_F(DDOFXScripts, TextReachesTheTerminalAndCommandsRun) {
  TTerminalBuffer buffer(80, 25);
  TAnsiParser ansi(&buffer);
  TDDOFXParser parser(&ansi, std::make_unique<TRecordingEngine>());
  parser.SetAssetDir(Assets.Path());
  Pack("DOORM", {{"HELLO", "Hello\r\n" + Cmd("2v,X.PCX") + "\r\n\x1b[1mBold\r\n{2v,Y}\r\n{a b}\r\n\r\nEnd"}});
  for (char c : Cmd("2fDOOR") + Cmd("*HELLO")) parser.FilterByte(uint8_t(c));
  const auto& engine = static_cast<const TRecordingEngine&>(parser.Gfx());
  EXPECT_NE(std::find(engine.Commands.begin(), engine.Commands.end(), "2v,X.PCX"), engine.Commands.end());
  std::vector<std::string> rows;
  for (int r = 0; r < 6; ++r) {
    std::string text = buffer.GetRowText(r);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    rows.push_back(text);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"Hello", "Bold", "{a b}", "", "End", ""}))
      << "no line for the command, none for a bare brace token, one for the empty line";
}

TEST_F(DDOFXScripts, AnOpenTextWindowGetsTheText) {
  Engine->WindowOpen = true;
  Pack("DOORM", {{"W", "one\r\ntwo\x1a" "three"}});
  Run("2fDOOR");
  Run("*W");
  EXPECT_EQ(Engine->Window, "one\r\ntwo") << "bytes after 0x1A are ignored";
  EXPECT_EQ(LogCount("DDOFX: RUN LOCAL SCRIPT {*W} - 14 bytes from \"DOORM\""), 1u);
}

TEST_F(DDOFXScripts, WithoutAPackNameAnyMPackOfTheFolderServes) {
  Engine->WindowOpen = true;
  Pack("aaa.s", {{"X", "wrong kind"}});
  Pack("first.m", {{"OTHER", "o"}});
  Pack("second.M", {{"X", "found"}});
  Run("*X");
  EXPECT_EQ(Engine->Window, "found");
  Run("*NOPE");
  EXPECT_EQ(LogCount("DDOFX: RUN LOCAL SCRIPT {*NOPE} - not found in resource file \"M\" (asset dir \"" +
                     Assets.Path() + "\")"),
            1u);
}

TEST_F(DDOFXScripts, AScriptThatRunsItselfStopsAtTheEighthLevel) {
  Engine->WindowOpen = true;
  Pack("DOORM", {{"SELF", "<" + Cmd("*SELF") + ">"}});
  Run("2fDOOR");
  Run("*SELF");
  // A line is shown when it ends, so the deepest level's line comes first.
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += "<>";
  EXPECT_EQ(Engine->Window, eight) << "every level finishes its line";
  EXPECT_EQ(LogCount("DDOFX: local script nesting too deep, skipping {*SELF}"), 1u);
}

TEST_F(DDOFXScripts, AScriptEndingInsideACommandLeavesNothingBehind) {
  Pack("DOORM", {{"CUT", "\x1d{dVCA"}});
  Run("2fDOOR");
  Run("*CUT");
  EXPECT_EQ(Feed("RD}x"), "RD}x");
  EXPECT_EQ(TakeSent(), "");
}

TEST_F(DDOFXScripts, AScriptThatFansOutIsStoppedByTheBudget) {
  // Every level runs the next twenty times: twenty to the eighth runs
  // without a budget.
  std::string body;
  for (int i = 0; i < 20; ++i) body += Cmd("*FAN");
  Pack("DOORM", {{"FAN", body + Cmd("2aF")}});
  Run("2fDOOR");
  Run("*FAN");
  EXPECT_LE(EngineCount("2aF"), size_t(TDDOFXParser::kReplayBudget));
  EXPECT_EQ(LogCount("replays in one command - skipping"), 1u);
}

}  // namespace
