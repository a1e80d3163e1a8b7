// The screen reader, seen at the voice: the exact texts the program hands
// to speech for a board's screen, status changes, the reader's keys and a
// popup, and the sound the voice makes of them (a WAV file measured by soxi).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/screens/uDirectoryScreen.h"
#include "app/uScreenText.h"
#include "sound/uSapiSpeech.h"
#include "tests/app/AppFixture.h"
#include "tests/support/PeerProgram.h"

using namespace testsupport;
namespace vk = platform::vk;

namespace {

using TSaid = std::vector<std::pair<std::string, bool>>;  // text, purge; a bare purge is ""

class ScreenReaderTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    WriteWholeFile(Folder.File("korvan_config.ini"), "[Debug]\nRawLog=1\n[Config]\nScreenReaderMode=1\n");
    SetSpeechWaveFile(Folder.File("speech.wav"));
    SetSpeechObserver([this](const std::string& text, bool purge) { Said.emplace_back(text, purge); });
  }
  void TearDown() override {
    AppFixture::TearDown();
    SetSpeechObserver(nullptr);
    SetSpeechWaveFile("");
  }

  // What was handed to the voice since the last call; bare purges are left
  // out unless asked for (the scan purges whenever the voice is still busy).
  TSaid Take(bool withPurges) {
    TSaid out;
    for (const auto& s : Said)
      if (withPurges || !s.first.empty()) out.push_back(s);
    Said.clear();
    return out;
  }

  // Runs the loop until Count texts were said, then two scans more, so a
  // text said twice shows up too.
  TSaid Await(size_t count, bool withPurges) {
    auto texts = [&] {
      size_t n = 0;
      for (const auto& s : Said) n += withPurges || !s.first.empty();
      return n;
    };
    RunUntil([&] { return texts() >= count; }, 15000);
    RunUntil([] { return false; }, 1100);
    return Take(withPurges);
  }

  long WaveSamples() {
    PeerResult r = RunPeer({"soxi", "-s", Folder.File("speech.wav")});
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.ExitCode == 0 ? std::stol(r.Output) : -1;
  }

  TSaid Said;
};

}  // namespace

TEST_F(ScreenReaderTest, TheTextsHandedToTheVoice) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  RunUntil([] { return false; }, 1100);
  Take(true);

  // Each step runs on the screen the steps before it left. "{reason}" stands
  // for the reason the redial popup gives.
  struct Step {
    const char* Name;
    std::function<void()> Do;
    bool WithPurges;
    TSaid Expected;
  };
  const Step steps[] = {
      {"a board's screen: changed rows top to bottom, trailing blanks cut, blank rows skipped",
       [&] { peer->Write(std::string("\x1b[2J\x1b[HWelcome to the Board   \r\n\r\n  Main menu:\r\nCommand? ")); },
       false,
       {{"Welcome to the Board", false}, {"  Main menu:", false}, {"Command?", false}}},
      {"a status change", [&] { Key(vk::Letter('S'), false, false, true); }, false,
       {{"Status bar: OFF (Alt+S to toggle)", true}}},
      {"Alt+T: the cursor row", [&] { Key(vk::Letter('T'), false, false, true); }, false, {{"Command?", true}}},
      {"Alt+V: every row with text", [&] { Key(vk::Letter('V'), false, false, true); }, false,
       {{"Welcome to the Board", true}, {"  Main menu:", false}, {"Command?", false}}},
      {"Alt+T on a blank row", [&] {
         peer->Write(std::string("\x1b[12;1H"));
         RunUntil([] { return false; }, 300);
         Key(vk::Letter('T'), false, false, true);
       }, false, {{"Blank line", true}}},
      {"prompt-only on", [&] { Key(vk::Letter('F'), false, false, true); }, false,
       {{"Screen reader: prompt-only ON (Alt+F to toggle)", true}}},
      {"prompt-only: the cursor row did not change, so the lower changed row",
       [&] { peer->Write(std::string("\x1b[6;1HFirst\x1b[8;1HSecond\x1b[1;1H")); }, false, {{"Second", false}}},
      {"prompt-only: the cursor row changed", [&] { peer->Write(std::string("\x1b[10;1HUpper\x1b[14;1HName: ")); },
       false, {{"Name:", false}}},
      {"prompt-only off (Ctrl+Alt+R)", [&] { Key(vk::Letter('R'), false, true, true); }, false,
       {{"Screen reader: prompt-only OFF (Alt+F to toggle)", true}}},
      {"Scroll Lock pauses the board's output", [&] { Key(vk::Scroll); }, false, {{"Paused", true}}},
      {"and resumes it", [&] { Key(vk::Scroll); }, false, {{"Resumed", true}}},
      {"Ctrl+Space stops the voice", [&] { Key(vk::Space, false, true, false); }, true, {{"", true}}},
      {"rows of box lines and blocks say nothing; CP437 letters reach the voice as UTF-8",
       [&] { peer->Write("\x1b[2J\x1b[H" + std::string(40, '\xc4') + "\r\n\xdb\xb1\xb0 \xcd\r\ncaf\x82 na\x8bve"); },
       false,
       {{"caf\xc3\xa9 na\xc3\xafve", false}}},
      {"a popup: the line drops and a redial is offered",
       [&] {
         RunUntil([] { return false; }, 3100);  // no key in the last 3 s, so a redial is offered
         peer->Abort();
       },
       false,
       {{"Connection lost. {reason}. Redial? Press Y or N.", true}}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.Name);
    step.Do();
    TSaid said = Await(step.Expected.size(), step.WithPurges);
    TSaid expected = step.Expected;
    for (auto& [text, purge] : expected)
      if (size_t at = text.find("{reason}"); at != std::string::npos)
        text.replace(at, 8, App->Popups().Redial.Reason);
    // The drop may first be reported as a status, also said.
    if (std::string(step.Name).rfind("a popup", 0) == 0 && said.size() > 1) said.erase(said.begin(), said.end() - 1);
    EXPECT_EQ(said, expected);
  }
  EXPECT_TRUE(App->Popups().Redial.Open);
}

TEST_F(ScreenReaderTest, MovesInTheScrollbackSayWhatCameIn) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  std::string lines = "\x1b[2J\x1b[H";
  for (int i = 1; i <= 60; ++i) lines += "\r\nline " + std::to_string(i);
  peer->Write(lines);
  ASSERT_TRUE(RunUntil([&] { return TrimText(Row(Probe().Buffer().VisibleRows() - 1)) == "line 60"; }));
  const int rows = Probe().Buffer().VisibleRows();
  RunUntil([] { return false; }, 1100);
  Take(true);

  Key(vk::Letter('B'), false, false, true);
  EXPECT_EQ(Await(1, false), (TSaid{{"Scrollback mode. Page up or up arrow to go back.", true}}));
  Key(vk::Up);
  EXPECT_EQ(Await(1, false), (TSaid{{"line " + std::to_string(60 - rows), true}}));
  // PgUp moves a page (the whole grid) further back: the whole screen is
  // read, its first line cutting off what was still being said.
  const int page = Probe().Buffer().FHeight, back = 1 + page;
  Key(vk::Prior);
  TSaid screen = Await(size_t(rows), false);
  ASSERT_EQ(screen.size(), size_t(rows));
  EXPECT_EQ(screen.front(), std::make_pair("line " + std::to_string(61 - rows - back), true));
  EXPECT_EQ(screen.back(), std::make_pair("line " + std::to_string(60 - back), false));
  for (size_t i = 1; i < screen.size(); ++i) EXPECT_FALSE(screen[i].second) << "only the first line purges";
  Key(vk::Down);
  EXPECT_EQ(Await(1, false), (TSaid{{"line " + std::to_string(61 - back), true}}));
  Key(vk::Escape);
  EXPECT_EQ(Await(1, false), (TSaid{{"Back to live", true}}));
}

TEST_F(ScreenReaderTest, TheVoiceGrowsWithTheRowAndSaysNothingForAnEmptyRow) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  auto quiet = [&] {
    RunUntil([] { return false; }, 1100);
    EXPECT_TRUE(RunUntil([] { return !IsSpeaking(); }, 30000));
    Take(true);
    return WaveSamples();
  };
  const long before = quiet();
  peer->Write(std::string("\x1b[5;1HHi"));
  const long shortRow = quiet();
  peer->Write(std::string("\x1b[6;1HWelcome to the board. Please enter your name, or NEW to apply."));
  const long longRow = quiet();
  peer->Write(std::string("\x1b[5;1H\x1b[2K"));  // the short row is erased
  const long emptied = quiet();
  EXPECT_GT(shortRow - before, 0);
  EXPECT_GT(longRow - shortRow, 4 * (shortRow - before));
  EXPECT_EQ(emptied, longRow);
}

TEST_F(ScreenReaderTest, DirectoryRowsAreSaidAsTheSelectionMoves) {
  WriteWholeFile(Folder.File("korvan.ini"),
                 "[Entry0]\nName=Alpha BBS\nHost=a.example\nPort=23\n"
                 "[Entry1]\nName=   \nHost=bbs.example.org\nPort=2323\n");
  Start();
  ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  if (App->Popups().BackupDue) Probe().AnswerBackupPrompt(false);  // the reminder takes keys first
  Take(true);
  Key(vk::Down);
  EXPECT_EQ(Await(1, false), (TSaid{{"bbs.example.org:2323", true}}));
  Key(vk::Down);  // already the last row: nothing moves, nothing is said
  Key(vk::Up);
  EXPECT_EQ(Await(1, false), (TSaid{{"Alpha BBS", true}}));
}

TEST_F(ScreenReaderTest, WithoutTheLibraryTheProgramRunsOnSilent) {
  std::filesystem::remove(Folder.File("dll"));
  std::filesystem::create_directory(Folder.File("dll"));
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  peer->Write(std::string("Welcome\r\n"));
  Key(vk::Letter('R'), false, false, true);
  Key(vk::Letter('F'), false, false, true);
  ASSERT_TRUE(RunUntil([&] { return App->StatusText() == "Screen reader: prompt-only ON (Alt+F to toggle)"; }));
  Key(vk::Space, false, true, false);
  RunUntil([] { return false; }, 1100);
  EXPECT_TRUE(Said.empty());
  EXPECT_TRUE(App->CallOpen());
  const std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
  EXPECT_NE(log.find("Accessibility: espeak-ng init failed - "), std::string::npos);
  EXPECT_NE(log.find("Accessibility: Alt+R pressed but espeak-ng is unavailable - staying off"), std::string::npos)
      << log;
  const std::string settings = ReadWholeFile(Folder.File("korvan_config.ini"));
  EXPECT_NE(settings.find("ScreenReaderMode=0"), std::string::npos) << settings;
  EXPECT_NE(settings.find("PromptOnlyMode=1"), std::string::npos) << settings;
}
